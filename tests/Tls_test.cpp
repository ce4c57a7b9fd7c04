// Links inside mutually authenticated TLS, over real loopback connections:
// good peers, peers that cannot authenticate, stalled handshakes, settings
// that cannot be used. Certificates are made for the run.

#include <gtest/gtest.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "messages/XQBaseMessage.h"
#include "support/ChildProcess.h"
#include "support/QueueTestSupport.h"
#include "support/RawFrame.h"
#include "support/TestCerts.h"
#include "transport/XQMessageQ.h"
#include "transport/XQSocket.h"
#include "transport/XQTls.h"

namespace {
XQSTRING wide(const std::string& s) { return XQSTRING(s.begin(), s.end()); }

struct Pki {
    TempDir temp;
    std::string dir = temp.path();
    TestCert ca, host, otherCa, foreign, expired, elsewhere;
    Pki() {
        TestPki pki(dir);
        ca = pki.authority("ca");
        host = pki.host("host", "DNS:localhost,IP:127.0.0.1", ca);
        otherCa = pki.authority("other-ca");
        foreign = pki.host("foreign", "DNS:localhost,IP:127.0.0.1", otherCa);
        expired = pki.host("expired", "DNS:localhost,IP:127.0.0.1", ca, -30, -1);
        elsewhere = pki.host("elsewhere", "DNS:elsewhere.example", ca);
    }
};

const Pki& pki() {
    static Pki* p = new Pki();
    return *p;
}

XQRC useCert(const TestCert& c) { return xqTlsConfigure(wide(pki().ca.cert), wide(c.cert), wide(c.key)); }

// A TLS client without any certificate: completes what it can of a
// handshake and writes a frame.
void certificateLessClient(unsigned int port) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(ctx, pki().ca.cert.c_str(), nullptr);
    const int fd = rawConnect(port);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_connect(ssl) == 1) {
        const unsigned char frame[] = {0, 0, 0, 4, 0, 'X', 0, 'Q'};
        SSL_write(ssl, frame, sizeof frame);
        char c;
        SSL_read(ssl, &c, 1);
    }
    ERR_clear_error();
    SSL_free(ssl);
    close(fd);
    SSL_CTX_free(ctx);
}

class Tls : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(useCert(pki().host).code, 0); }
    void TearDown() override { xqTlsConfigure(L"", L"", L""); }
};

}  // namespace

TEST_F(Tls, FramesArriveAndLaterHandshakesResume) {
    TestQueue queue(5000);
    const unsigned long full = xqTlsFullHandshakes(), resumed = xqTlsResumedHandshakes();
    for (int i = 0; i < 5; ++i) expectPromptDelivery(queue.q, L"tls " + std::to_wstring(i));
    EXPECT_EQ(xqTlsFullHandshakes() - full, 1u);
    EXPECT_EQ(xqTlsResumedHandshakes() - resumed, 4u);
}

TEST_F(Tls, PeersThatCannotAuthenticateQueueNothing) {
    struct Peer {
        const char* what;
        const TestCert* cert;  // null: plain or certificate-less client below
    };
    const std::vector<Peer> peers = {
        {"certificate of another authority", &pki().foreign},
        {"expired certificate", &pki().expired},
        {"no certificate", nullptr},
        {"garbage instead of a ClientHello", nullptr},
    };
    TestQueue queue(5000);
    std::uint64_t refused = 0;
    for (const Peer& p : peers) {
        SCOPED_TRACE(p.what);
        if (p.cert != nullptr) {
            ASSERT_EQ(useCert(*p.cert).code, 0);
            const XQRC rc = addressed(queue.port(), L"from a bad peer").Send();
            EXPECT_EQ(rc.code, 6123) << "the sender learns why";
            ASSERT_EQ(useCert(pki().host).code, 0);
        } else if (std::string(p.what) == "no certificate") {
            certificateLessClient(queue.port());
        } else {
            const std::string get = "GET / HTTP/1.0\r\n\r\n";
            HeldFds().connectPeers(queue.port(), 1,
                                   std::vector<unsigned char>(get.begin(), get.end()));
        }
        expectCountedThenPrompt(queue.q, &XQReceiveStats::droppedHandshake, ++refused);
    }
    EXPECT_EQ(queue.q.GetReceiveStats().framesQueued, peers.size());
}

TEST_F(Tls, ADestinationWithAnotherHostsCertificateIsRefused) {
    ASSERT_EQ(useCert(pki().elsewhere).code, 0);
    TestQueue queue(5000);
    ASSERT_EQ(useCert(pki().host).code, 0);
    const XQRC rc = addressed(queue.port(), L"to the wrong host").Send();
    EXPECT_EQ(rc.code, 6123);
    EXPECT_EQ(rc.messageToken1, L"127.0.0.1");
    EXPECT_NE(rc.messageToken3.find(L"mismatch"), XQSTRING::npos) << rc.messageToken3;
}

TEST_F(Tls, StalledHandshakesDelayNoGoodSender) {
    TestQueue queue(1000);
    HeldFds held;
    // The first bytes of a ClientHello record, then nothing.
    ASSERT_TRUE(held.connectPeers(queue.port(), 200, {0x16, 0x03, 0x01, 0x02, 0x00, 0x01}));
    expectPromptDelivery(queue.q, L"past the stalled handshakes");
    EXPECT_TRUE(eventually([&] { return queue.q.GetReceiveStats().droppedHandshake == 200; }));
}

TEST_F(Tls, SettingsThatCannotBeUsedFailQueuesAndSends) {
    const Pki& p = pki();
    struct Case {
        const char* what;
        std::string ca, cert, key;
        int code;
    };
    const std::vector<Case> cases = {
        {"no key", p.ca.cert, p.host.cert, "", 6120},
        {"a key for a certificate", p.ca.cert, p.host.key, p.host.key, 6121},
        {"key of another certificate", p.ca.cert, p.host.cert, p.foreign.key, 6122},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(xqTlsConfigure(wide(c.ca), wide(c.cert), wide(c.key)).code, c.code);
        XQMessageQ q;
        EXPECT_EQ(q.Create(0, 8).code, c.code);
        EXPECT_EQ(addressed(unusedLoopbackPort(), L"never").Send().code, c.code);
        EXPECT_FALSE(xqTlsEnabled());
    }
}

#include "transport/XQTls.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "transport/SocketIo.h"
#include "transport/XQTlsLink.h"

namespace {

std::atomic<unsigned long> resumedHandshakes{0};
std::atomic<unsigned long> fullHandshakes{0};

// Sessions kept per destination ("host:port") so that one frame per
// connection costs no full handshake after the first.
class SessionCache {
public:
    ~SessionCache() {
        for (auto& s : sessions_) SSL_SESSION_free(s.second);
    }
    // A reference the caller frees, or null.
    SSL_SESSION* get(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sessions_.find(key);
        if (it == sessions_.end()) return nullptr;
        SSL_SESSION_up_ref(it->second);
        return it->second;
    }
    // Takes the reference.
    void put(const std::string& key, SSL_SESSION* session) {
        std::lock_guard<std::mutex> lock(mutex_);
        SSL_SESSION*& slot = sessions_[key];
        if (slot != nullptr) SSL_SESSION_free(slot);
        slot = session;
    }
    // Sessions carry the identity they were made with: new settings start afresh.
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& s : sessions_) SSL_SESSION_free(s.second);
        sessions_.clear();
    }
    void drop(const std::string& key) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = sessions_.find(key);
        if (it == sessions_.end()) return;
        SSL_SESSION_free(it->second);
        sessions_.erase(it);
    }

private:
    std::mutex mutex_;
    std::map<std::string, SSL_SESSION*> sessions_;
};

SessionCache& sessionCache() {
    static SessionCache* cache = new SessionCache();  // lives as long as the process
    return *cache;
}

int sessionKeyIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// A new session (a TLS 1.3 ticket) from a destination: kept for the next frame.
int keepSession(SSL* ssl, SSL_SESSION* session) {
    const std::string* key = static_cast<const std::string*>(SSL_get_ex_data(ssl, sessionKeyIndex()));
    if (key == nullptr) return 0;
    sessionCache().put(*key, session);
    return 1;
}

std::string lastError() {
    const unsigned long e = ERR_peek_last_error();
    char text[256] = {};
    if (e != 0) ERR_error_string_n(e, text, sizeof text);
    ERR_clear_error();
    return text;
}

// Loads the settings into a context; returns false and fills the failure.
bool load(XQTlsContext& c, const std::string& ca, const std::string& cert, const std::string& key) {
    auto fail = [&c](unsigned int code, const std::string& t1, const std::string& t2, const std::string& t3) {
        c.mode = XQTlsContext::Broken;
        c.code = code;
        c.token1 = t1;
        c.token2 = t2;
        c.token3 = t3;
        return false;
    };
    for (const auto& f : {std::make_pair("TCORE_TLS_CA", ca), std::make_pair("TCORE_TLS_CERT", cert),
                          std::make_pair("TCORE_TLS_KEY", key)})
        if (access(f.second.c_str(), R_OK) != 0) return fail(6121, f.first, f.second, std::strerror(errno));
    c.client = SSL_CTX_new(TLS_client_method());
    c.server = SSL_CTX_new(TLS_server_method());
    if (c.client == nullptr || c.server == nullptr) return fail(6121, "TLS", "", lastError());
    for (SSL_CTX* ctx : {c.client, c.server}) {
        SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
        if (SSL_CTX_load_verify_locations(ctx, ca.c_str(), nullptr) != 1)
            return fail(6121, "TCORE_TLS_CA", ca, lastError());
        if (SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()) != 1)
            return fail(6121, "TCORE_TLS_CERT", cert, lastError());
        if (SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) != 1) {
            const bool mismatch = ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH;
            if (mismatch) return fail(6122, cert, key, lastError());
            return fail(6121, "TCORE_TLS_KEY", key, lastError());
        }
        if (SSL_CTX_check_private_key(ctx) != 1) return fail(6122, cert, key, lastError());
    }
    SSL_CTX_set_verify(c.client, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_session_cache_mode(c.client, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(c.client, keepSession);
    SSL_CTX_set_verify(c.server, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    // Resumed sessions keep the client's verified certificate.
    static const unsigned char context[] = "tcore";
    SSL_CTX_set_session_id_context(c.server, context, sizeof context - 1);
    STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(ca.c_str());
    if (names != nullptr) SSL_CTX_set_client_CA_list(c.server, names);
    c.mode = XQTlsContext::Tls;
    return true;
}

std::shared_ptr<const XQTlsContext> make(const char* ca, const char* cert, const char* key) {
    auto c = std::make_shared<XQTlsContext>();
    const bool any = (ca && *ca) || (cert && *cert) || (key && *key);
    const bool all = (ca && *ca) && (cert && *cert) && (key && *key);
    if (!any) return c;
    if (!all) {
        std::string missing;
        if (!(ca && *ca)) missing += " TCORE_TLS_CA";
        if (!(cert && *cert)) missing += " TCORE_TLS_CERT";
        if (!(key && *key)) missing += " TCORE_TLS_KEY";
        c->mode = XQTlsContext::Broken;
        c->code = 6120;
        c->token1 = missing.substr(1);
        return c;
    }
    load(*c, ca, cert, key);
    return c;
}

std::mutex currentLock;
std::shared_ptr<const XQTlsContext>& currentSlot() {
    static std::shared_ptr<const XQTlsContext>* slot = new std::shared_ptr<const XQTlsContext>(
        make(std::getenv("TCORE_TLS_CA"), std::getenv("TCORE_TLS_CERT"), std::getenv("TCORE_TLS_KEY")));
    return *slot;
}

// Runs one TLS step until it is done or the deadline passes.
template <class Step>
int drive(SSL* ssl, int fd, const XQDeadline& deadline, Step step, int& result) {
    for (;;) {
        result = step();
        if (result > 0) return 0;
        const int e = SSL_get_error(ssl, result);
        int err = 0;
        if (e == SSL_ERROR_WANT_READ) {
            err = waitReady(fd, POLLIN, deadline);
        } else if (e == SSL_ERROR_WANT_WRITE) {
            err = waitReady(fd, POLLOUT, deadline);
        } else {
            return e == SSL_ERROR_ZERO_RETURN ? ECONNRESET : EPROTO;
        }
        if (err != 0) return err;
    }
}

}  // namespace

XQTlsContext::~XQTlsContext() {
    SSL_CTX_free(client);
    SSL_CTX_free(server);
}

std::shared_ptr<const XQTlsContext> xqTlsCurrent() {
    std::lock_guard<std::mutex> lock(currentLock);
    return currentSlot();
}

std::string xqTlsReason(SSL* ssl) {
    std::string reason;
    if (ssl != nullptr) {
        const long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK) reason = X509_verify_cert_error_string(verify);
    }
    const std::string library = lastError();
    if (!library.empty()) reason += (reason.empty() ? "" : "; ") + library;
    return reason.empty() ? "connection closed during the handshake" : reason;
}

void xqTlsCountHandshake(bool resumed) { (resumed ? resumedHandshakes : fullHandshakes).fetch_add(1); }

int xqTlsSendFrame(const XQTlsContext& tls, int fd, const std::string& host, unsigned int port,
                   const unsigned char* frame, std::size_t bytes, const XQDeadline& deadline, bool& handshake,
                   std::string& reason) {
    handshake = true;
    // A handshake is several small writes in a row: Nagle's wait for each
    // acknowledgement would cost milliseconds per frame.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return errno;
    XQUniqueSsl ssl(SSL_new(tls.client));
    if (!ssl || SSL_set_fd(ssl.get(), fd) != 1) {
        reason = lastError();
        return EPROTO;
    }
    // The destination must prove the name or the address it was sent to.
    in_addr numeric{};
    if (inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), host.c_str());
    } else {
        SSL_set1_host(ssl.get(), host.c_str());
        SSL_set_tlsext_host_name(ssl.get(), host.c_str());
    }
    const std::string key = host + ":" + std::to_string(port);
    SSL_set_ex_data(ssl.get(), sessionKeyIndex(), const_cast<std::string*>(&key));
    if (SSL_SESSION* kept = sessionCache().get(key)) {
        SSL_set_session(ssl.get(), kept);
        SSL_SESSION_free(kept);
    }
    int result = 0;
    int err = drive(ssl.get(), fd, deadline, [&] { return SSL_connect(ssl.get()); }, result);
    if (err != 0) {
        reason = err == ETIMEDOUT ? "handshake not finished within the timeout" : xqTlsReason(ssl.get());
        // A session the destination refused is not offered again.
        sessionCache().drop(key);
        return err;
    }
    xqTlsCountHandshake(SSL_session_reused(ssl.get()) == 1);
    handshake = false;
    std::size_t sent = 0;
    while (sent < bytes) {
        err = drive(ssl.get(), fd, deadline,
                    [&] { return SSL_write(ssl.get(), frame + sent, static_cast<int>(bytes - sent)); }, result);
        if (err == EPROTO) {
            handshake = true;
            reason = xqTlsReason(ssl.get());
            sessionCache().drop(key);
        }
        if (err != 0) return err;
        sent += static_cast<std::size_t>(result);
    }
    // Confirmed when the receiver, having read the whole frame, ends the
    // link; tickets for the next frame come on the way.
    unsigned char scratch[256];
    for (;;) {
        result = SSL_read(ssl.get(), scratch, sizeof scratch);
        if (result > 0) continue;
        const int e = SSL_get_error(ssl.get(), result);
        if (e == SSL_ERROR_ZERO_RETURN) break;
        if (e == SSL_ERROR_SYSCALL && result == 0 && ERR_peek_error() == 0) break;  // closed without close_notify
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            err = waitReady(fd, e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline);
            if (err != 0) return err;
            continue;
        }
        if (e == SSL_ERROR_SSL) {
            // An alert after our side finished: the destination did not
            // accept this host's certificate.
            handshake = true;
            reason = xqTlsReason(ssl.get());
            sessionCache().drop(key);
            return EPROTO;
        }
        ERR_clear_error();
        return ECONNRESET;
    }
    // The link ended as agreed: its session stays good for the next frame
    // (freeing a link that was not shut down would spoil it). Nothing more is
    // sent: the receiver has gone.
    SSL_set_shutdown(ssl.get(), SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    int pending = 0;
    if (ioctl(fd, SIOCOUTQ, &pending) == 0 && pending != 0) return ECONNRESET;
    return 0;
}

XQRC xqTlsConfigure(const XQSTRING& caFile, const XQSTRING& certFile, const XQSTRING& keyFile) {
    const std::string ca = xqToMultibyte(caFile), cert = xqToMultibyte(certFile), key = xqToMultibyte(keyFile);
    std::shared_ptr<const XQTlsContext> made = make(ca.c_str(), cert.c_str(), key.c_str());
    XQRC rc(static_cast<int>(made->code), 0, XQRC::WhsSrv);
    if (made->code != 0) {
        const XQSTRING none;
        rc.SetXQMessage(xqFromMultibyte(made->token1), xqFromMultibyte(made->token2), xqFromMultibyte(made->token3),
                        none, none, none, none, none, none, none);
        rc.methodName = L"xqTlsConfigure";
    }
    std::lock_guard<std::mutex> lock(currentLock);
    currentSlot() = made;
    sessionCache().clear();
    return rc;
}

bool xqTlsEnabled() { return xqTlsCurrent()->mode == XQTlsContext::Tls; }

unsigned long xqTlsResumedHandshakes() { return resumedHandshakes.load(); }

unsigned long xqTlsFullHandshakes() { return fullHandshakes.load(); }

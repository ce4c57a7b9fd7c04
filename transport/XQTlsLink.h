#ifndef TCORE_TRANSPORT_XQTLSLINK_H
#define TCORE_TRANSPORT_XQTLSLINK_H

// Internal to the transport: the TLS contexts of the process and the
// sender's side of a TLS link. Only sources include this header.

#include <openssl/ssl.h>

#include <cstddef>
#include <memory>
#include <string>

class XQDeadline;

struct XQSslFree {
    void operator()(SSL* s) const { SSL_free(s); }
};
using XQUniqueSsl = std::unique_ptr<SSL, XQSslFree>;

// One set of TLS settings, fixed once made.
class XQTlsContext {
public:
    enum Mode { Plain, Tls, Broken };
    XQTlsContext() = default;
    ~XQTlsContext();
    XQTlsContext(const XQTlsContext&) = delete;
    XQTlsContext& operator=(const XQTlsContext&) = delete;

    Mode mode = Plain;
    // Why the settings cannot be used (mode Broken): the code and its tokens.
    unsigned int code = 0;
    std::string token1, token2, token3;
    SSL_CTX* client = nullptr;
    SSL_CTX* server = nullptr;
};

// The settings in force; made from the environment at first use.
std::shared_ptr<const XQTlsContext> xqTlsCurrent();

// The last OpenSSL error of this thread (or of a verification) as text.
std::string xqTlsReason(SSL* ssl);
void xqTlsCountHandshake(bool resumed);

// The sender's side of one frame over a connected socket: handshake (with
// the session last kept for host:port when there is one), the whole frame,
// and the receiver's close. Returns 0, or the system error; handshake is
// set when the handshake itself failed, with reason telling why.
int xqTlsSendFrame(const XQTlsContext& tls, int fd, const std::string& host, unsigned int port,
                   const unsigned char* frame, std::size_t bytes, const XQDeadline& deadline, bool& handshake,
                   std::string& reason);

#endif

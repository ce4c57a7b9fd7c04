#include "transport/XQSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "foundation/Conversion.h"
#include "foundation/ProcessInfo.h"
#include "foundation/TimeStamp.h"
#include "foundation/Trace.h"
#include "foundation/UniqueFd.h"
#include "transport/SocketIo.h"
#include "transport/XQReceiveCounters.h"
#include "transport/XQPeerFilter.h"
#include "transport/XQReceiveLoop.h"
#include "transport/XQTlsLink.h"

std::atomic<int> FireWallStatus{0};
std::atomic<unsigned int> FireWallMinPort{0};
std::atomic<unsigned int> FireWallMaxPort{0};
std::atomic<unsigned int> FireWallNPorts{0};
std::atomic<unsigned int> FireWallLastPort{0};

namespace {

const wchar_t* const kConstructor = L"XQSocket::XQSocket";
const wchar_t* const kDestructor = L"XQSocket::~XQSocket";
const wchar_t* const kInitializeReceive = L"XQSocket::InitializeReceive";
const wchar_t* const kGetReceivePort = L"XQSocket::GetReceivePort";
const wchar_t* const kReceive = L"XQSocket::Receive";
const wchar_t* const kHaltReceive = L"XQSocket::HaltReceive";
const wchar_t* const kInitializeSend = L"XQSocket::InitializeSend";
const wchar_t* const kSend = L"XQSocket::Send";
const wchar_t* const kGetHostName = L"XQSocket::GetHostName";
const wchar_t* const kGetInetAddr = L"XQSocket::GetInetAddr";
const wchar_t* const kGetPortByName = L"XQSocket::GetPortByName";
const wchar_t* const kCloseSocket = L"XQSocket::xqCloseSocket";

const int kConnectAttempts = 5;
const int kRefusedDelayMs = 1000;
const int kResolverBuffer = 4096;

std::atomic<unsigned int> defaultTimeoutMs{30000};

// Sending sockets block only in connect, bounded by the deadline; every
// other call on them does not wait. Listening sockets never block.
int newStreamSocket(bool nonBlocking = false) {
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}

XQSTRING num(long v) { return xqNumber(v); }

// The first IPv4 address of a name through the re-entrant resolver.
// Returns 0, or the resolver's error.
int resolveName(const std::string& name, in_addr& out) {
    hostent entry;
    hostent* result = nullptr;
    int herr = 0;
    std::vector<char> work(kResolverBuffer);
    int rc = gethostbyname_r(name.c_str(), &entry, work.data(), work.size(), &result, &herr);
    if (rc != 0) return rc;
    if (result == nullptr || result->h_addr_list == nullptr || result->h_addr_list[0] == nullptr ||
        result->h_addrtype != AF_INET)
        return herr != 0 ? herr : HOST_NOT_FOUND;
    std::memcpy(&out, result->h_addr_list[0], sizeof out);
    return 0;
}

// The local address, looked up until a look-up succeeds and then kept for
// the life of the process: one resolver hiccup must not stay for good.
struct LocalAddress {
    std::mutex lock;
    bool known = false;
    XQSTRING text;  // dotted
    in_addr_t raw = INADDR_NONE;
};

LocalAddress& localAddress() {
    static LocalAddress a;
    return a;
}

std::once_flag hostNameTraceOnce;
std::once_flag firewallOnce;

// Wide text of a received or sent payload for the level-3 summaries.
XQSTRING wideText(const unsigned char* p, size_t bytes) {
    XQSTRING s;
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        wchar_t c;
        std::memcpy(&c, p + i, 4);
        if (c == L'\0') break;
        s += c;
    }
    return s;
}

}  // namespace

int WSAStartup(unsigned short, int* data) {
    if (data != nullptr) *data = 0;
    return 0;
}

int WSACleanup() { return 0; }

int WSAGetLastError() { return errno; }

int closesocket(unsigned int s) {
    int fd = static_cast<int>(s);
    int rc = shutdown(fd, SHUT_RDWR);
    if (rc != 0 && traceOn(4)) {
        int err = errno;
        XQ_TRACE(4, "Shutdown socket iRC=" << rc);
        XQ_TRACE(4, "Shutdown socket errno=" << err);
        XQ_TRACE(4, "Ignore");
    }
    rc = close(fd);
    if (rc != 0 && traceOn(4)) {
        int err = errno;
        XQ_TRACE(4, "Shutdown was successful");
        XQ_TRACE(4, "close socket iRC=" << rc);
        XQ_TRACE(4, "close socket errno=" << err);
        XQ_TRACE(4, "Ignore");
    }
    return 0;
}

void Sleep(int ms) {
    if (ms <= 0) {
        usleep(0);
        return;
    }
    timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

void XQSocket::SetDefaultTimeout(unsigned int ms) { defaultTimeoutMs.store(ms, std::memory_order_relaxed); }

unsigned int XQSocket::GetDefaultTimeout() { return defaultTimeoutMs.load(std::memory_order_relaxed); }

XQSocket::XQSocket()
    : lastSocketError(0),
      setupError(0, 0, XQRC::WhsSrv),
      socketStartupData(0),
      receivePort(XQ_NONE),
      localInetAddress(INADDR_NONE),
      receiveAddress(),
      listenSocket(XQ_NONE),
      sendByteCount(0),
      gpMyRecvByteBuffer(nullptr),
      recvByteCount(0),
      timeoutMs(defaultTimeoutMs.load(std::memory_order_relaxed)),
      sendDeadline_(nullptr),
      counters_(std::make_shared<XQReceiveCounters>()) {
    XQ_TRACE_METHOD("XQSocket::XQSocket()");
    int rc = WSAStartup(0x101, &socketStartupData);
    if (rc != 0) {
        lastSocketError = WSAGetLastError();
        FormatXQRC(setupError, kConstructor, lastSocketError, 6100);
        XQ_TRACE(4, "\t WSASTARTUP failed; rc = " << rc);
        WSACleanup();
        return;
    }
    XQ_TRACE(4, "\tSocket Startup OK; rc = " << rc);
    XQSTRING address;
    // Written once, before the look-up that succeeded here returned.
    if (GetInetAddr(address).code == 0) localInetAddress = localAddress().raw;

    std::call_once(firewallOnce, [this] {
        unsigned int minPort = 0;
        unsigned int maxPort = 0;
        bool found = GetPortByName(L"ORX_MIN", minPort).code == 0 && GetPortByName(L"ORX_MAX", maxPort).code == 0;
        if (!found) {
            FireWallStatus.store(2);
            XQ_TRACE(4, "\tNo FireWall ");
            return;
        }
        FireWallMinPort.store(minPort);
        FireWallMaxPort.store(maxPort);
        FireWallLastPort.store(minPort);
        FireWallNPorts.store(maxPort >= minPort ? maxPort - minPort + 1 : 0);
        FireWallStatus.store(1);
        XQ_TRACE(4, "\tFireWall MinPort = " << minPort);
        XQ_TRACE(4, "\tFireWall MaxPort = " << maxPort);
    });
    if (FireWallStatus.load() == 1) XQ_TRACE(4, "\tFireWall Enable");
}

XQSocket::~XQSocket() {
    XQ_TRACE_METHOD("XQSocket::~XQSocket()");
    gpMySendByteBuffer.reset();
    listenSocket.store(XQ_NONE);
    loop_.reset();
    if (WSACleanup() != 0) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        FormatXQRC(rc, kDestructor, WSAGetLastError(), 6101);
    }
}

XQRC XQSocket::GetSetupError() { return setupError; }

void XQSocket::FormatXQRC(XQRC& rc, const XQSTRING& method, int socketError, unsigned int messageNumber,
                          const XQSTRING& token1, const XQSTRING& token2, const XQSTRING& token3,
                          const XQSTRING& token4) {
    // The socket errors begin at ENOTSOCK (88 here, 95 where the codes were
    // first numbered).
    XQRC::domainType domain =
        socketError == 0 ? XQRC::WhsSrv : socketError < ENOTSOCK ? XQRC::Windows : XQRC::Sockets;
    rc = XQRC(static_cast<int>(messageNumber), socketError, domain);
    const XQSTRING none;
    rc.SetXQMessage(token1, token2, token3, token4, none, none, none, none, none, none);
    rc.methodName = method;
    rc.executableName = GetCommandLine();
    // The cached name directly: a failing GetHostName must not recurse here.
    XQSTRING host;
    if (xqLocalHostName(host) == 0) rc.hostName = host;
    XQ_TRACE(4, "\tsocket error code = " << messageNumber);
    XQ_TRACE(4, "\tsocket error = " << socketError);
}

XQRC XQSocket::xqCloseSocket(unsigned int& s) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (s == XQ_NONE) return rc;
    int r = closesocket(s);
    s = XQ_NONE;
    if (r != 0) FormatXQRC(rc, kCloseSocket, r, 6111);
    return rc;
}

bool XQSocket::tlsUsable(XQRC& rc, const wchar_t* method, const XQTlsContext& tls) {
    if (tls.mode != XQTlsContext::Broken) return true;
    FormatXQRC(rc, method, 0, tls.code, xqFromMultibyte(tls.token1), xqFromMultibyte(tls.token2),
               xqFromMultibyte(tls.token3));
    XQ_TRACE(3, "\tTLS settings cannot be used; rc = " << rc.code);
    return false;
}

void XQSocket::closeTraced(unsigned int& s, const char* why) {
    if (s == XQ_NONE) return;
    XQRC rc = xqCloseSocket(s);
    XQ_TRACE(4, why << rc.code);
}

namespace {

// Closes a connection the way xqCloseSocket does, with its traced reason.
void closeConnection(XQSocket& owner, UniqueFd& fd, const char* why) {
    if (!fd.valid()) return;
    unsigned int s = static_cast<unsigned int>(fd.release());
    XQRC rc = owner.xqCloseSocket(s);
    XQ_TRACE(4, why << rc.code);
}

}  // namespace

void XQSocket::LogOutOfSocket() {
    XQSTRING dir = setupLogDir();
    std::string path = xqToMultibyte(dir) + "ORV2LOGC.LOG";
    FILE* f = std::fopen(path.c_str(), "a+");
    if (f == nullptr) return;
    TimeStamp now;
    std::fprintf(f, "Time=%s\n", xqToMultibyte(now.toString()).c_str());
    std::fprintf(f, ">>>> vsbase:: FireWall enable\n");
    std::fprintf(f, ">>>> vsbase:: ORX_MIN=%d\n", static_cast<int>(FireWallMinPort.load()));
    std::fprintf(f, ">>>> vsbase:: ORX_MAX=%d\n", static_cast<int>(FireWallMaxPort.load()));
    std::fprintf(f, ">>>> vsbase:: Out Of Socket\n");
    std::fclose(f);
}

XQRC XQSocket::GetHostName(XQSTRING& name) {
    XQ_TRACE_METHOD("XQSocket::GetHostName()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    int err = xqLocalHostName(name);
    if (err != 0) {
        FormatXQRC(rc, kGetHostName, err, 6114);
        XQ_TRACE(4, "\tgethostbyname rc" << rc.code);
        return rc;
    }
    std::call_once(hostNameTraceOnce, [&name] {
        if (std::getenv("NVHOSTNAME") != nullptr) XQ_TRACE(4, "XQSocket::GetHostName, NVHostName=" << name);
    });
    return rc;
}

XQRC XQSocket::GetInetAddr(XQSTRING& address) {
    XQ_TRACE_METHOD("XQSocket::GetInetAddr()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    LocalAddress& a = localAddress();
    std::lock_guard<std::mutex> lock(a.lock);
    if (!a.known) {
        XQSTRING host;
        rc = GetHostName(host);
        if (rc.code != 0) return rc;
        in_addr addr{};
        const int error = resolveName(xqToMultibyte(host), addr);
        if (error != 0) {
            FormatXQRC(rc, kGetInetAddr, error, 6113, host);
            XQ_TRACE(4, "\tgethostbyname rc=" << error);
            return rc;
        }
        char text[INET_ADDRSTRLEN] = {};
        if (inet_ntop(AF_INET, &addr, text, sizeof text) == nullptr) {
            const int textError = errno != 0 ? errno : EINVAL;
            FormatXQRC(rc, kGetInetAddr, textError, 6116);
            XQ_TRACE(4, "\tinet_ntoa rc=" << textError);
            return rc;
        }
        a.text = xqFromMultibyte(text);
        a.raw = addr.s_addr;
        a.known = true;
    }
    address = a.text;
    return rc;
}

XQRC XQSocket::GetPortByName(const XQSTRING& service, unsigned int& port) {
    XQ_TRACE_METHOD("XQSocket::GetPortByName()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    std::string name = xqToMultibyte(service);
    XQ_TRACE(4, "\tServiceName" << name);
    servent entry;
    servent* result = nullptr;
    std::vector<char> work(kResolverBuffer);
    int r = getservbyname_r(name.c_str(), nullptr, &entry, work.data(), work.size(), &result);
    XQ_TRACE(4, "\tgetservbyname rc=" << r);
    if (r != 0 || result == nullptr) {
        FormatXQRC(rc, kGetPortByName, 0, 6115, service);
        return rc;
    }
    port = ntohs(static_cast<uint16_t>(result->s_port));
    XQ_TRACE(4, "\tservice name=" << result->s_name);
    XQ_TRACE(4, "\tPort" << port);
    return rc;
}

XQRC XQSocket::GetReceivePort(unsigned int& port) {
    XQ_TRACE_METHOD("XQSocket::GetReceivePort()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (receivePort == XQ_NONE) {
        FormatXQRC(rc, kGetReceivePort, 0, 6001);
        return rc;
    }
    port = receivePort;
    return rc;
}

XQRC XQSocket::InitializeSend(unsigned char** data, const int size) {
    XQ_TRACE_METHOD("XQSocket::InitializeSend()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (size < 0 || static_cast<unsigned int>(size) > XQ_MAX_FRAME_PAYLOAD) {
        FormatXQRC(rc, kInitializeSend, 0, 6005, num(XQ_MAX_FRAME_PAYLOAD), num(size));
        XQ_TRACE(4, "Send Byte count is greater than limit, rc=" << rc.code);
        return rc;
    }
    size_t total = static_cast<size_t>(size) + 4;
    // Zero-filled: bytes past the packed data travel as zeros.
    unsigned char* frame = new (std::nothrow) unsigned char[total]();
    if (frame == nullptr) {
        FormatXQRC(rc, kInitializeSend, ENOMEM, 6002, L"gpMySendByteBuffer", num(static_cast<long>(total)));
        XQ_TRACE(4, "\tAllocate send message buffer, rc=" << rc.code);
        return rc;
    }
    gpMySendByteBuffer.reset(frame);
    uint32_t count = static_cast<uint32_t>(size);
    frame[0] = static_cast<unsigned char>(count >> 24);
    frame[1] = static_cast<unsigned char>(count >> 16);
    frame[2] = static_cast<unsigned char>(count >> 8);
    frame[3] = static_cast<unsigned char>(count);
    if (data != nullptr) *data = frame + 4;
    sendByteCount = static_cast<int>(total);
    XQ_TRACE(4, "XQSocket::InitializeSend: Total buffer size = " << sendByteCount);
    return rc;
}

int XQSocket::bindAndConnect(unsigned int& s, sockaddr_in* destination, int& error) {
    XQ_TRACE_METHOD("XQSocket::bindAndConnect()");
    int result = -1;
    const unsigned int nPorts = FireWallNPorts.load();
    if (nPorts != 0) {
        unsigned int candidate = FireWallLastPort.load() + 1;
        unsigned int tries = 1;
        for (;;) {
            if (candidate > FireWallMaxPort.load()) candidate = FireWallMinPort.load();
            error = 0;
            if (s == XQ_NONE) {
                int fd = newStreamSocket();
                if (fd < 0) {
                    error = errno;
                    XQ_TRACE(4, "Create stream socket failed");
                    break;
                }
                s = static_cast<unsigned int>(fd);
            }
            sockaddr_in local{};
            local.sin_family = AF_INET;
            local.sin_addr.s_addr = htonl(INADDR_ANY);
            local.sin_port = htons(static_cast<uint16_t>(candidate));
            XQ_TRACE(4, "bind for connect, socket=" << s);
            XQ_TRACE(4, "bind for connect, port=" << candidate);
            result = bind(static_cast<int>(s), reinterpret_cast<sockaddr*>(&local), sizeof local);
            if (result != 0) {
                error = errno;
                if (error != EADDRINUSE && error != EADDRNOTAVAIL) {
                    XQ_TRACE(4, "\tFailed to bind port #" << candidate);
                    XQ_TRACE(4, "\tBind stream socket WSAGetLastError=" << error);
                    closeTraced(s, "Closing send socket because bind failed; xqCloseSocket rc=");
                    return -1;
                }
            } else {
                const XQDeadline never(XQ_NONE);
                error = connectBy(static_cast<int>(s), *destination, sendDeadline_ != nullptr ? *sendDeadline_ : never, true);
                result = error == 0 ? 0 : -1;
                if (result == 0) {
                    FireWallLastPort.store(candidate);
                    break;
                }
                if (error != EADDRINUSE && error != EADDRNOTAVAIL) {
                    XQ_TRACE(4, "connect to socket rc = " << result);
                    XQ_TRACE(4, "connect to socket WSAGetLastError=" << error);
                    closeTraced(s, "Closing send socket because connect failed; xqCloseSocket rc=");
                    return -1;
                }
            }
            // The port is in use: try the next one of the range.
            xqCloseSocket(s);
            ++tries;
            ++candidate;
            if (tries > nPorts) break;
        }
    }
    if (error == EADDRINUSE || error == EADDRNOTAVAIL) {
        LogOutOfSocket();
        XQ_TRACE(4, "Out Of Socket WSAGetLastError=" << error);
    }
    XQ_TRACE(4, "bindAndConnect to socket rc = " << result);
    XQ_TRACE(4, "bindAndConnect to socket WSAGetLastError=" << error);
    return result;
}

XQRC XQSocket::Send(const XQSTRING& host, const unsigned int port) {
    XQ_TRACE_METHOD("XQSocket::Send()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (sendByteCount == 0 || !gpMySendByteBuffer) {
        FormatXQRC(rc, kSend, 0, 6003);
        return rc;
    }
    const std::shared_ptr<const XQTlsContext> tls = xqTlsCurrent();
    if (!tlsUsable(rc, kSend, *tls)) return rc;
    const std::string hostText = xqToMultibyte(host);
    // Everything from the first connect to the receiver's confirmation
    // happens within the timeout.
    const XQDeadline deadline(timeoutMs);
    sendDeadline_ = &deadline;
    struct Forget {
        const XQDeadline*& d;
        ~Forget() { d = nullptr; }
    } forget{sendDeadline_};
    int attempts = 0;
    UniqueFd s;
    for (;;) {
        s.reset(newStreamSocket());
        if (!s.valid()) {
            FormatXQRC(rc, kSend, errno, 6102);
            return rc;
        }
        // A dotted quad needs no look-up; the resolver reads the other
        // numeric forms ("127.1", hexadecimal) as inet_aton does.
        in_addr parsed{};
        in_addr_t address = inet_pton(AF_INET, hostText.c_str(), &parsed) == 1 ? parsed.s_addr : INADDR_NONE;
        XQ_TRACE(4, "vsbase::Send Converted Inet Address = " << static_cast<unsigned long>(address));
        if (address == INADDR_NONE) {
            in_addr resolved{};
            int err = resolveName(hostText, resolved);
            if (err != 0) {
                FormatXQRC(rc, kSend, err, 6113, host);
                XQ_TRACE(4, "\tgethostbyname rc" << rc.code);
                closeConnection(*this, s, "Closing send socket because gethostbyname failed; xqCloseSocket rc=");
                return rc;
            }
            address = resolved.s_addr;
        }
        sockaddr_in destination{};
        destination.sin_family = AF_INET;
        destination.sin_port = htons(static_cast<uint16_t>(port));
        destination.sin_addr.s_addr = address;

        int retrySetting = connectRetryCount;
        if (retrySetting >= 0) XQ_TRACE(4, "\tConnect retry count has been reset to " << retrySetting);
        XQ_TRACE(4, "vsbase::send connect Sockdesc/SockAddrIn/Size " << s.get() << "/"
                                                                      << static_cast<unsigned long>(address) << "/"
                                                                      << static_cast<int>(sizeof destination));
        int err = 0;
        int result;
        if (FireWallStatus.load() == 1) {
            unsigned int raw = static_cast<unsigned int>(s.release());
            result = bindAndConnect(raw, &destination, err);
            s.reset(raw == XQ_NONE ? -1 : static_cast<int>(raw));
        } else {
            err = connectBy(s.get(), destination, deadline, true);
            result = err == 0 ? 0 : -1;
        }
        if (result == 0) break;

        FormatXQRC(rc, kSend, err, 6105, num(static_cast<long>(port)), num(attempts), L"1000");
        XQ_TRACE(4, "vsbase::send connect iRc=" << result << " WSAGetLastError=" << err);
        if (err == ECONNREFUSED) {
            // No time left for the pause and another attempt: the retries end here.
            const int left = deadline.remaining();
            if (left >= 0 && left <= kRefusedDelayMs) {
                attempts = kConnectAttempts;
            } else {
                Sleep(kRefusedDelayMs);
                ++attempts;
            }
            closeConnection(*this, s, "Closing send socket because socket connect failed; xqCloseSocket rc=");
            XQ_TRACE(4, "vsbase::Send Retried connection, # of attempts=" << attempts);
        } else {
            closeConnection(*this, s, "Closing send socket because socket connect failed; xqCloseSocket rc=");
            if (err != ENOTSOCK) return rc;
            ++attempts;
        }
        if (attempts >= kConnectAttempts) {
            FormatXQRC(rc, kSend, err, 6106, num(static_cast<long>(port)), num(attempts), L"1000");
            XQ_TRACE(4, "vsbase::Send Connect retry rc" << rc.code);
            closeConnection(*this, s,
                            "Closing send socket because socket connect retry count has exceeded; xqCloseSocket rc=");
            return rc;
        }
    }
    rc.Reset();

    unsigned char* frame = gpMySendByteBuffer.get();
    unsigned char* payload = frame + 4;
    const unsigned int payloadBytes = static_cast<unsigned int>(sendByteCount - 4);
    // The level-3 summary shows the text as packed, before conversion.
    XQSTRING summary;
    if (traceOn(3) && sendByteCount > 200) summary = wideText(payload, 196);

    XQRC converted = ConvertWideToUnicode(reinterpret_cast<wchar_t*>(payload), payloadBytes);
    if (converted.code != 0) {
        closeConnection(*this, s, "Closing send socket because conversion failed; xqCloseSocket rc=");
        if (traceOn(4))
            hexTrace(reinterpret_cast<const char*>(payload), payloadBytes, "Message sent in error", nullptr);
        return converted;
    }
    if (traceOn(4))
        hexTrace(reinterpret_cast<const char*>(payload), payloadBytes, " Sending message in unicode", nullptr);

    size_t sent = 0;
    int err = 0;
    if (tls->mode == XQTlsContext::Tls) {
        bool handshake = false;
        std::string reason;
        err = xqTlsSendFrame(*tls, s.get(), hostText, port, frame, static_cast<size_t>(sendByteCount), deadline,
                             handshake, reason);
        if (err != 0 && handshake) {
            // A refused certificate is no system error: only a timeout is one.
            FormatXQRC(rc, kSend, err == EPROTO ? 0 : err, 6123, host, num(static_cast<long>(port)),
                       xqFromMultibyte(reason));
            XQ_TRACE(3, "\tTLS handshake with the destination failed: " << reason.c_str());
            closeConnection(*this, s, "Closing send socket because the TLS handshake failed; xqCloseSocket rc=");
            return rc;
        }
    } else {
        err = writeFull(s.get(), frame, static_cast<size_t>(sendByteCount), deadline, sent);
        XQ_TRACE(4, "Send socket iRC = " << static_cast<unsigned long>(sent));
        if (err == 0) err = awaitReceiverClose(s.get(), deadline);
    }
    if (err != 0) {
        FormatXQRC(rc, kSend, err, 6110, num(static_cast<long>(port)), num(sendByteCount));
        XQ_TRACE(4, "Send socket xqrc = " << rc.code);
        closeConnection(*this, s, "Closing send socket because send failed; xqCloseSocket rc=");
        return rc;
    }
    // The receiver has closed already: a plain close ends the connection
    // (no shutdown first, it would only cost a call).
    s.reset();
    XQ_TRACE(4, "vsbase::Send Close socket rc" << 0);
    if (rc.code == 0 && traceOn(3) && sendByteCount > 200)
        XQ_TRACE(3, "XQSocket::Send (" << 200 << ") Message: " << summary);
    XQ_TRACE(3, "Deleting send buffer");
    gpMySendByteBuffer.reset();
    sendByteCount = 0;
    XQ_TRACE(3, "Deleted send buffer");
    return rc;
}

XQRC XQSocket::InitializeReceive(const unsigned int port, unsigned int backlog) {
    XQ_TRACE_METHOD("XQSocket::InitializeReceive()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    listenSocket.store(XQ_NONE);
    setLoop(nullptr);
    const std::shared_ptr<const XQTlsContext> tls = xqTlsCurrent();
    if (!tlsUsable(rc, kInitializeReceive, *tls)) return rc;
    bool peersOk = true;
    std::string badPeer;
    const XQPeerFilter& peers = XQPeerFilter::fromEnvironment(peersOk, badPeer);
    if (!peersOk) {
        FormatXQRC(rc, kInitializeReceive, 0, 6124, L"TCORE_ALLOW_PEERS", xqFromMultibyte(badPeer));
        return rc;
    }
    UniqueFd listener;
    std::memset(&receiveAddress, 0, sizeof receiveAddress);
    receiveAddress.sin_family = AF_INET;
    receiveAddress.sin_addr.s_addr = htonl(INADDR_ANY);
    receiveAddress.sin_port = htons(static_cast<uint16_t>(port));

    const bool firewall = FireWallStatus.load() == 1 && port == 0;
    const unsigned int planned = firewall ? FireWallNPorts.load() : 1;
    unsigned int candidate = firewall ? FireWallLastPort.load() + 1 : port;
    const XQSTRING backlogText = num(static_cast<long>(backlog));
    int failures = 0;
    int lastError = 0;
    bool listening = false;

    for (unsigned int tries = 1; tries <= planned && !listening; ++tries, ++candidate) {
        if (firewall && candidate > FireWallMaxPort.load()) candidate = FireWallMinPort.load();
        int busy = 0;
        for (;;) {
            UniqueFd ls(newStreamSocket(true));
            if (!ls.valid()) {
                FormatXQRC(rc, kInitializeReceive, errno, 6102);
                XQ_TRACE(4, "Create stream socket rc=" << rc.code);
                return rc;
            }
            // TIME_WAIT connections stay with the receiver; they must not
            // keep a restarted queue from its port.
            int on = 1;
            setsockopt(ls.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            receiveAddress.sin_port = htons(static_cast<uint16_t>(candidate));
            XQ_TRACE(4, "bind for listen, socket=" << ls.get());
            XQ_TRACE(4, "bind for listen, port=" << candidate);
            if (bind(ls.get(), reinterpret_cast<sockaddr*>(&receiveAddress), sizeof receiveAddress) != 0) {
                lastError = errno;
                if (lastError == EADDRINUSE || lastError == EADDRNOTAVAIL) {
                    ls.reset();
                    if (++busy < 10 && failures < 5) continue;
                    break;  // this port stays busy: try the next
                }
                FormatXQRC(rc, kInitializeReceive, lastError, 6103, num(static_cast<long>(candidate)));
                XQ_TRACE(4, "\tFailed to bind port #" << candidate);
                XQ_TRACE(4, "\tBind stream socket rc=" << -1);
                XQ_TRACE(4, "\tBind stream socket WSAGetLastError=" << lastError);
                closeConnection(*this, ls, "Closing server socket due to bind failure; xqCloseSocket rc=");
                if (++failures >= 5) {
                    XQ_TRACE(4, "vsbase::Listen or Bind socket retry rc" << rc.code);
                    XQ_TRACE(4, "Closing server socket due to bind or listen failure; xqCloseSocket rc=" << 0);
                    return rc;
                }
                continue;
            }
            Sleep(0);
            if (listen(ls.get(), static_cast<int>(backlog)) == 0) {
                listenSocket.store(static_cast<unsigned int>(ls.get()));
                listening = true;
                listener = std::move(ls);
                break;
            }
            lastError = errno;
            if (lastError == EADDRINUSE || lastError == EADDRNOTAVAIL) {
                ls.reset();
                if (++busy < 10 && failures < 5) continue;
                break;
            }
            FormatXQRC(rc, kInitializeReceive, lastError, 6104, backlogText);
            XQ_TRACE(4, "\tListen stream socket rc=" << -1);
            XQ_TRACE(4, "\tListen stream socket WSAGetLastError=" << lastError);
            closeConnection(*this, ls, "Closing server socket due to listen failure; xqCloseSocket rc=");
            if (++failures >= 5) {
                XQ_TRACE(4, "vsbase::Listen or Bind socket retry rc" << rc.code);
                XQ_TRACE(4, "Closing server socket due to bind or listen failure; xqCloseSocket rc=" << 0);
                return rc;
            }
        }
        if (listening) break;
    }

    if (listening) {
        if (FireWallStatus.load() == 1) FireWallLastPort.store(candidate);
        std::unique_ptr<XQReceiveLoop> loop(new (std::nothrow)
                                                XQReceiveLoop(std::move(listener), counters_, tls, &peers));
        const int err = loop == nullptr ? ENOMEM : loop->open();
        if (err != 0) {
            // Without its loop the socket cannot receive: as good as no listen.
            listenSocket.store(XQ_NONE);
            FormatXQRC(rc, kInitializeReceive, err, 6104, backlogText);
            XQ_TRACE(4, "\tListen stream socket rc=" << -1);
            XQ_TRACE(4, "\tListen stream socket WSAGetLastError=" << err);
            return rc;
        }
        setLoop(std::move(loop));
    } else if (lastError == EADDRINUSE || lastError == EADDRNOTAVAIL) {
        LogOutOfSocket();
        FormatXQRC(rc, kInitializeReceive, lastError, 6104, backlogText);
        XQ_TRACE(4, "\tListen stream socket rc=" << -1);
        XQ_TRACE(4, "\tOut Of Socket, rc=" << rc.code);
        XQ_TRACE(4, "Closing server socket due to out of socket; xqCloseSocket rc=" << 0);
        return rc;
    }

    if (port == 0) {
        int failed = 0;
        for (;;) {
            socklen_t len = sizeof receiveAddress;
            int fd = static_cast<int>(listenSocket.load());
            if (getsockname(fd, reinterpret_cast<sockaddr*>(&receiveAddress), &len) == 0) break;
            FormatXQRC(rc, kInitializeReceive, errno, 6112);
            XQ_TRACE(4, "\tGet socket name rc=" << rc.code);
            XQ_TRACE(4, "vsbase::Get socket name retry rc" << rc.code);
            if (++failed >= 5) {
                listenSocket.store(XQ_NONE);
                setLoop(nullptr);
                XQ_TRACE(4, "Closing server socket due to getsockname error; xqCloseSocket rc=" << 0);
                return rc;
            }
        }
        receivePort = ntohs(receiveAddress.sin_port);
    } else {
        receivePort = port;
    }
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQSocket::HaltReceive() {
    XQ_TRACE_METHOD("XQSocket::HaltReceive()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (receivePort == XQ_NONE) {
        FormatXQRC(rc, kHaltReceive, 0, 6001);
        return rc;
    }
    // The loop refuses new connections at once and wakes a waiting Receive;
    // the descriptor goes with the loop, so no Receive can meet its number
    // reused.
    listenSocket.store(XQ_NONE);
    std::lock_guard<std::mutex> lock(loopMutex_);
    if (loop_) loop_->halt();
    return rc;
}

void XQSocket::setLoop(std::unique_ptr<XQReceiveLoop> loop) {
    std::lock_guard<std::mutex> lock(loopMutex_);
    loop_ = std::move(loop);
}

void XQSocket::SetReceiveLimits(const XQReceiveLimits& limits) { counters_->setLimits(limits); }

XQReceiveLimits XQSocket::GetReceiveLimits() const { return counters_->limits(); }

XQReceiveStats XQSocket::GetReceiveStats() const { return counters_->snapshot(); }

void XQSocket::ShareReceiveCounters(std::shared_ptr<XQReceiveCounters> counters) {
    if (counters) counters_ = std::move(counters);
}

namespace {

// The trace lines and codes of one connection's failure.
struct FaultText {
    const char* trace;
    const char* closing;
};

FaultText faultText(const XQReceiveOutcome& o) {
    if (o.code == 6108)
        return {"\tReceive Socket message length failed with rc=", "Closing client socket due to recv error; xqCloseSocket rc="};
    if (o.error == EMSGSIZE)
        return {"\tReceive XQ TCPIP message length rc=",
                "Closing client socket because recvByteCount is too large; xqCloseSocket rc="};
    if (o.error == ENOBUFS)
        return {"\tReceive XQ TCPIP message length rc=",
                "Closing client socket because the bound of held bytes is reached; xqCloseSocket rc="};
    if (o.count == 0 && o.error == 0)
        return {"\tReceive XQ TCPIP message length rc=",
                "Closing client socket because recvByteCount is zero; xqCloseSocket rc="};
    return {"\tReceive XQ TCPIP Message data rc=", "Closing client socket due to no data received; xqCloseSocket rc="};
}

}  // namespace

XQRC XQSocket::Receive(unsigned char** data, int* size) {
    bool idle = false;
    for (;;) {
        XQRC rc = ReceiveFor(data, size, XQ_NONE, true, idle);
        if (!idle) return rc;
    }
}

void XQSocket::InterruptReceive() {
    std::lock_guard<std::mutex> lock(loopMutex_);
    if (loop_) loop_->interrupt();
}

XQRC XQSocket::ReceiveFor(unsigned char** data, int* size, unsigned int waitMs, bool cancellable, bool& idle) {
    XQ_TRACE_METHOD("XQSocket::Receive()");
    XQRC rc(0, 0, XQRC::WhsSrv);
    idle = false;
    if (receivePort == XQ_NONE) {
        FormatXQRC(rc, kReceive, 0, 6001);
        XQ_TRACE(4, "\tPort initialization rc=" << rc.code);
        XQ_TRACE(4, "\tFailing port = " << receivePort);
        return rc;
    }
    gpMyRecvByteBuffer = nullptr;
    recvByteCount = 0;
    XQReceiveOutcome o;
    if (loop_) {
        o = loop_->next(timeoutMs, waitMs, cancellable);
    } else {
        o.kind = XQReceiveOutcome::Halted;
    }
    if (o.kind == XQReceiveOutcome::Idle) {
        idle = true;
        if (data != nullptr) *data = nullptr;
        if (size != nullptr) *size = 0;
        return rc;
    }

    if (o.kind == XQReceiveOutcome::Halted || o.kind == XQReceiveOutcome::ListenerFailed) {
        FormatXQRC(rc, kReceive, o.kind == XQReceiveOutcome::Halted ? EBADF : o.error, 6107);
        XQ_TRACE(4, "\tAccept Socket rc=" << rc.code);
        XQ_TRACE(4, "Cannot create client socket due to server socket accept error; xqCloseSocket rc=" << 0);
        listenSocket.store(XQ_NONE);
        return rc;
    }
    if (o.kind == XQReceiveOutcome::Fault) {
        const FaultText text = faultText(o);
        if (o.code == 6108)
            FormatXQRC(rc, kReceive, o.error, 6108, L"4");
        else if (o.code == 6123)
            FormatXQRC(rc, kReceive, o.error, 6123, L"", L"", xqFromMultibyte(o.reason));
        else
            FormatXQRC(rc, kReceive, o.error, 6109, num(static_cast<long>(o.count)));
        XQ_TRACE(4, text.trace << rc.code);
        XQ_TRACE(4, text.closing << 0);
        return rc;
    }

    recvByteCount = static_cast<int>(o.count);
    XQ_TRACE(4, "\tXQSocket::Receive - receive msg length = " << o.count);
    if (traceOn(4))
        hexTrace(reinterpret_cast<const char*>(o.payload.get()), o.count,
                 "Block of unicode data received from socket:", nullptr);
    XQ_TRACE(3, "XQSocket::Recieve MsgLen = " << o.count << " " << static_cast<unsigned long>(o.got));
    gpMyRecvByteBuffer = o.payload.release();
    XQRC converted = ConvertUnicodeToWide(gpMyRecvByteBuffer, recvByteCount);
    // The frame leaves the socket's keeping here: a queue counts it again
    // while it holds it.
    o.held.reset();
    if (converted.code != 0) {
        counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
        XQ_TRACE(4, "Closing client socket because conversion failed; xqCloseSocket rc=" << 0);
        if (traceOn(4))
            hexTrace(reinterpret_cast<const char*>(gpMyRecvByteBuffer), o.count, static_cast<int>(getpid()),
                     "Message received in error");
        std::free(gpMyRecvByteBuffer);
        gpMyRecvByteBuffer = nullptr;
        return converted;
    }
    if (size != nullptr) *size = recvByteCount;
    if (data != nullptr) {
        *data = gpMyRecvByteBuffer;
    } else {
        std::free(gpMyRecvByteBuffer);  // nobody to hand it to
        gpMyRecvByteBuffer = nullptr;
    }
    if (traceOn(3) && gpMyRecvByteBuffer != nullptr) {
        size_t n = recvByteCount < 200 ? static_cast<size_t>(recvByteCount) : 200;
        XQ_TRACE(3, "XQSocket::Receive (" << static_cast<unsigned long>(n)
                                          << ") Message: " << wideText(gpMyRecvByteBuffer, n));
        XQ_TRACE(3, "XQSocket::Receive returning rc = " << rc.code);
    }
    return rc;
}

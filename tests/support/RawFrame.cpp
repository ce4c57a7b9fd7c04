#include "support/RawFrame.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "transport/XQSocket.h"

std::vector<unsigned char> ucs2be(const std::wstring& text) {
    std::vector<unsigned char> out;
    out.reserve(text.size() * 2);
    for (wchar_t c : text) {
        out.push_back(static_cast<unsigned char>((static_cast<unsigned>(c) >> 8) & 0xFF));
        out.push_back(static_cast<unsigned char>(static_cast<unsigned>(c) & 0xFF));
    }
    return out;
}

static sockaddr_in loopback(unsigned int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

bool rawWrite(int fd, const void* data, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (n > 0) {
        const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

int connectLoopback(int fd, unsigned int port) {
    sockaddr_in a = loopback(port);
    return connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
}

int rawConnect(unsigned int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || connectLoopback(fd, port) == 0) return fd;
    close(fd);
    return -1;
}

int rawListen(unsigned int& port, int backlog) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof(a);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return -1;
    }
    port = ntohs(a.sin_port);
    return fd;
}

std::vector<unsigned char> frameCount(uint32_t count, const std::vector<unsigned char>& tail) {
    std::vector<unsigned char> out(4 + tail.size());
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(count >> (24 - 8 * i));
    std::copy(tail.begin(), tail.end(), out.begin() + 4);
    return out;
}

bool sendRawFrame(unsigned int port, const std::vector<unsigned char>& payload) {
    const int fd = rawConnect(port);
    if (fd < 0) return false;
    const std::vector<unsigned char> frame =
        frameCount(static_cast<uint32_t>(payload.size()), payload);
    const bool ok = rawWrite(fd, frame.data(), frame.size());
    if (ok) {
        shutdown(fd, SHUT_WR);
        pollfd p{fd, POLLIN, 0};
        char c;
        while (poll(&p, 1, 5000) > 0 && recv(fd, &c, 1, 0) > 0) {
        }
    }
    close(fd);
    return ok;
}

unsigned int unusedLoopbackPort() {
    unsigned int port = 0;
    close(rawListen(port));
    return port;
}

void HeldFds::add(int fd) {
    if (fd >= 0) fds.push_back(fd);
}

void HeldFds::closeAll() {
    for (int fd : fds) close(fd);
    fds.clear();
}

bool HeldFds::connectPeers(unsigned int port, int n, const std::vector<unsigned char>& bytes) {
    for (int i = 0; i < n; ++i) {
        const int fd = rawConnect(port);
        if (fd < 0 || !rawWrite(fd, bytes.data(), bytes.size())) return false;
        add(fd);
    }
    return true;
}

XQRC socketSend(unsigned int port, const void* bytes, size_t n, unsigned int timeoutMs,
                const std::wstring& host) {
    XQSocket s;
    s.SetTimeout(timeoutMs);
    unsigned char* data = nullptr;
    XQRC rc = s.InitializeSend(&data, static_cast<int>(n));
    if (rc.code != 0) return rc;
    std::memcpy(data, bytes, n);
    return s.Send(host, port);
}

const std::vector<RawFault>& rawFaults() {
    const std::vector<unsigned char> tenOf100 =
        frameCount(100, std::vector<unsigned char>(10, '0'));
    static const std::vector<RawFault> faults = {
        {"count 0", frameCount(0), false, 6109, -1, L"0", &XQReceiveStats::droppedMalformed},
        {"one byte above the limit", frameCount(XQ_MAX_FRAME_PAYLOAD + 1), false, 6109, EMSGSIZE,
         nullptr, &XQReceiveStats::droppedOversize},
        {"fewer bytes than announced", tenOf100, false, 6109, -1, L"100",
         &XQReceiveStats::droppedMalformed},
        {"reset mid-frame", tenOf100, true, 6109, ECONNRESET, L"100",
         &XQReceiveStats::droppedMalformed},
        {"half a count", {0, 0}, false, 6108, -1, nullptr, &XQReceiveStats::droppedMalformed},
        {"odd count, no UCS-2", frameCount(3, {0, 'X', 0}), false, 8461, -1, nullptr,
         &XQReceiveStats::droppedMalformed},
    };
    return faults;
}

void sendRawFault(unsigned int port, const RawFault& f) {
    const int fd = rawConnect(port);
    rawWrite(fd, f.bytes.data(), f.bytes.size());
    if (f.reset) {
        linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    } else {
        shutdown(fd, SHUT_WR);
    }
    close(fd);
}

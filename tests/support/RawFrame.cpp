#include "support/RawFrame.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

std::vector<unsigned char> ucs2be(const std::wstring& text) {
    std::vector<unsigned char> out;
    out.reserve(text.size() * 2);
    for (wchar_t c : text) {
        out.push_back(static_cast<unsigned char>((static_cast<unsigned>(c) >> 8) & 0xFF));
        out.push_back(static_cast<unsigned char>(static_cast<unsigned>(c) & 0xFF));
    }
    return out;
}

namespace {

sockaddr_in loopback(unsigned int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

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

int rawConnect(unsigned int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in a = loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::vector<unsigned char> frameCount(uint32_t count) {
    return {static_cast<unsigned char>(count >> 24), static_cast<unsigned char>(count >> 16),
            static_cast<unsigned char>(count >> 8), static_cast<unsigned char>(count)};
}

bool sendRawFrame(unsigned int port, const std::vector<unsigned char>& payload, bool waitForClose) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in a = loopback(port);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    if (ok) {
        const uint32_t n = htonl(static_cast<uint32_t>(payload.size()));
        ok = rawWrite(fd, &n, 4) && rawWrite(fd, payload.data(), payload.size());
    }
    if (ok && waitForClose) {
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
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

struct FrameSink::Impl {
    int listenFd = -1;
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::vector<std::pair<long, std::vector<unsigned char>>> frames;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::thread reader;

    void run() {
        while (!stop.load()) {
            pollfd p{listenFd, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            const int c = accept(listenFd, nullptr, nullptr);
            if (c < 0) continue;
            unsigned char head[4];
            size_t got = 0;
            std::vector<unsigned char> payload;
            bool ok = true;
            while (ok && got < 4) {
                const ssize_t r = recv(c, head + got, 4 - got, 0);
                ok = r > 0;
                if (ok) got += static_cast<size_t>(r);
            }
            if (ok) {
                const uint32_t n = (uint32_t(head[0]) << 24) | (uint32_t(head[1]) << 16) | (uint32_t(head[2]) << 8) | head[3];
                payload.resize(n);
                got = 0;
                while (ok && got < n) {
                    const ssize_t r = recv(c, payload.data() + got, n - got, 0);
                    ok = r > 0;
                    if (ok) got += static_cast<size_t>(r);
                }
            }
            close(c);
            if (ok) {
                const long ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      std::chrono::steady_clock::now() - start)
                                                      .count());
                std::lock_guard<std::mutex> g(lock);
                frames.emplace_back(ms, std::move(payload));
            }
        }
    }
};

FrameSink::FrameSink() : impl_(new Impl), port_(0) {
    impl_->listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(0);
    bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(impl_->listenFd, 16);
    socklen_t len = sizeof(a);
    getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    impl_->reader = std::thread([this] { impl_->run(); });
}

FrameSink::~FrameSink() {
    impl_->stop.store(true);
    impl_->reader.join();
    close(impl_->listenFd);
    delete impl_;
}

std::vector<std::pair<long, std::vector<unsigned char>>> FrameSink::frames() {
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->frames;
}

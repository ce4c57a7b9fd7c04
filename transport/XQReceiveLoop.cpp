#include "transport/XQReceiveLoop.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "foundation/Trace.h"
#include "os/XQNTThread.h"
#include "transport/XQPeerFilter.h"
#include "transport/XQReceiveCounters.h"

namespace {

const std::uint64_t kListenId = 0;
const std::uint64_t kWakeId = 1;
const int kEventsPerWait = 64;
// Connections taken from the backlog in one turn (the level-triggered set
// reports a backlog that is not empty again at once, so one spares the
// accept that would only say "empty"), and bytes read from one connection in
// one turn: enough to keep up, small enough that no peer starves the others.
const int kAcceptsPerTurn = 1;
const std::size_t kBytesPerTurn = std::size_t(1) << 20;
// Pause of the accepting side when the system has no room for a connection.
const int kAcceptBackoffMs = 100;

int openSpare() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

}  // namespace

XQReceiveLoop::XQReceiveLoop(UniqueFd listenFd, std::shared_ptr<XQReceiveCounters> counters,
                             std::shared_ptr<const XQTlsContext> tls, const XQPeerFilter* defaultPeers)
    : listen_(std::move(listenFd)),
      counters_(std::move(counters)),
      tls_(tls && tls->mode == XQTlsContext::Tls ? std::move(tls) : nullptr),
      defaultPeers_(defaultPeers) {}

XQReceiveLoop::~XQReceiveLoop() {
    // The frames not handed out give their bytes back as they go.
    ready_.clear();
    connections_.clear();
}

int XQReceiveLoop::open() {
    epoll_.reset(epoll_create1(EPOLL_CLOEXEC));
    if (!epoll_.valid()) return errno;
    wake_.reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake_.valid()) return errno;
    spare_.reset(openSpare());
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeId;
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, wake_.get(), &ev) != 0) return errno;
    ev.data.u64 = kListenId;
    if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, listen_.get(), &ev) != 0) return errno;
    return 0;
}

void XQReceiveLoop::halt() {
    if (halted_.exchange(true)) return;
    // New connections are refused from here on; the descriptor itself is
    // closed with the loop, so its number cannot be reused under next().
    if (listen_.valid()) ::shutdown(listen_.get(), SHUT_RDWR);
    wake();
}

void XQReceiveLoop::interrupt() {
    interrupted_.store(true);
    wake();
}

void XQReceiveLoop::wake() {
    if (wake_.valid()) {
        const std::uint64_t one = 1;
        ssize_t w = ::write(wake_.get(), &one, sizeof one);
        (void)w;
    }
}

int XQReceiveLoop::waitMs(Clock::time_point bound) const {
    Clock::time_point next = bound;
    if (!deadlines_.empty()) next = std::min(next, deadlines_.begin()->first);
    if (acceptPaused_) next = std::min(next, acceptResumes_);
    if (next == Clock::time_point::max()) return -1;
    const auto now = Clock::now();
    if (next <= now) return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count() + 1;
    return ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

XQReceiveOutcome XQReceiveLoop::next(unsigned int timeoutMs, unsigned int boundMs, bool cancellable) {
    // A forced end of the calling thread lands only in the wait, where
    // every connection is in a state its destructor can clean up.
    XQCancelScope closed(false);
    const Clock::time_point bound =
        boundMs == 0xFFFFFFFFu ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(boundMs);
    bool polled = false;
    for (;;) {
        if (halted_.load()) {
            connections_.clear();
            idleOrder_.clear();
            deadlines_.clear();
            ready_.clear();
            XQReceiveOutcome o;
            o.kind = XQReceiveOutcome::Halted;
            return o;
        }
        if (!ready_.empty()) {
            XQReceiveOutcome o = std::move(ready_.front());
            ready_.pop_front();
            return o;
        }
        if (listenFailed_) {
            XQReceiveOutcome o;
            o.kind = XQReceiveOutcome::ListenerFailed;
            o.error = listenError_;
            return o;
        }
        // A bound that has passed still leaves one round that does not wait:
        // a reader polling with no time to wait keeps the loop served.
        if (interrupted_.exchange(false) || (polled && bound != Clock::time_point::max() && Clock::now() >= bound)) {
            XQReceiveOutcome o;
            o.kind = XQReceiveOutcome::Idle;
            return o;
        }
        epoll_event events[kEventsPerWait];
        int n;
        {
            XQCancelScope open(cancellable);
            n = epoll_wait(epoll_.get(), events, kEventsPerWait, waitMs(bound));
        }
        polled = true;
        if (n < 0) {
            if (errno == EINTR) continue;
            listenFailed_ = true;
            listenError_ = errno;
            continue;
        }
        for (int i = 0; i < n; ++i) {
            const std::uint64_t id = events[i].data.u64;
            if (id == kWakeId) {
                std::uint64_t value = 0;
                ssize_t r = ::read(wake_.get(), &value, sizeof value);
                (void)r;
            } else if (id == kListenId) {
                if (!halted_.load()) acceptPending(timeoutMs);
            } else {
                readFrom(id);
            }
        }
        if (acceptPaused_ && Clock::now() >= acceptResumes_) {
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = kListenId;
            epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, listen_.get(), &ev);
            acceptPaused_ = false;
        }
        expire();
    }
}

void XQReceiveLoop::pauseAccepting(int ms) {
    if (acceptPaused_) return;
    epoll_event ev{};
    ev.events = 0;
    ev.data.u64 = kListenId;
    epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, listen_.get(), &ev);
    acceptPaused_ = true;
    acceptResumes_ = Clock::now() + std::chrono::milliseconds(ms);
}

void XQReceiveLoop::acceptPending(unsigned int timeoutMs) {
    for (int i = 0; i < kAcceptsPerTurn && !acceptPaused_ && !listenFailed_; ++i)
        if (!acceptOne(timeoutMs)) break;
}

bool XQReceiveLoop::acceptOne(unsigned int timeoutMs) {
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    int fd = accept4(listen_.get(), reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        switch (err) {
            case EAGAIN:
#if EWOULDBLOCK != EAGAIN
            case EWOULDBLOCK:
#endif
                return false;
            case EINTR:
            case ECONNABORTED:
            case EPROTO:
                return true;
            case EMFILE:
            case ENFILE:
                fd = takeAtLimit(peer);
                if (fd == -2) return false;  // nothing pending, or no room even for the spare
                if (fd < 0) return true;     // taken and refused
                break;
            case ENOBUFS:
            case ENOMEM:
            case EPERM:
                XQ_TRACE(3, "\tAccept failed for now; errno = " << err);
                pauseAccepting(kAcceptBackoffMs);
                return false;
            default:
                if (!halted_.load()) {
                    listenFailed_ = true;
                    listenError_ = err;
                }
                return false;
        }
    }
    counters_->connectionsAccepted.fetch_add(1, std::memory_order_relaxed);
    // A peer off the allowed list is closed before a byte of it is read.
    const std::shared_ptr<const XQPeerFilter> own = counters_->peers();
    const XQPeerFilter* peers = own ? own.get() : defaultPeers_;
    if (peers != nullptr && !peers->empty() &&
        (peer.sin_family != AF_INET || !peers->allows(peer.sin_addr.s_addr))) {
        ::close(fd);
        counters_->connectionsNotAllowed.fetch_add(1, std::memory_order_relaxed);
        XQ_TRACE(3, "\tConnection from a peer that is not allowed closed.");
        return true;
    }
    const unsigned int most = counters_->maxConnections.load(std::memory_order_relaxed);
    while (connections_.size() >= most && dropIdlest()) {
    }
    const std::uint64_t id = nextId_++;
    Connection c{UniqueFd(fd), XQFrameReader(counters_.get()), Clock::time_point::max(), {}, nullptr, false, false};
    if (tls_) {
        // The server's handshake flights and its close_notify go out at once.
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        c.ssl.reset(SSL_new(tls_->server));
        if (!c.ssl || SSL_set_fd(c.ssl.get(), fd) != 1) {
            counters_->droppedHandshake.fetch_add(1, std::memory_order_relaxed);
            return true;  // c closes it
        }
        SSL_set_accept_state(c.ssl.get());
    }
    if (timeoutMs != 0xFFFFFFFFu) c.deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    idleOrder_.push_back(id);
    c.idle = std::prev(idleOrder_.end());
    if (c.deadline != Clock::time_point::max()) deadlines_.insert({c.deadline, id});
    connections_.emplace(id, std::move(c));
    // Most frames are already there when the connection is taken: only a
    // connection that has to wait joins the epoll set.
    readFrom(id);
    auto it = connections_.find(id);
    if (it != connections_.end() && !it->second.registered) {
        epoll_event ev{};
        ev.events = it->second.wantWrite ? (EPOLLIN | EPOLLOUT) : EPOLLIN;
        ev.data.u64 = id;
        if (epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &ev) == 0) {
            it->second.registered = true;
        } else {
            drop(id);
        }
    }
    return true;
}

int XQReceiveLoop::takeAtLimit(sockaddr_in& peer) {
    // accept fails at the descriptor limit whether or not a peer waits: the
    // spare descriptor is given up to learn which, and to take the peer.
    if (!spare_.valid()) spare_.reset(openSpare());
    if (!spare_.valid()) {
        pauseAccepting(kAcceptBackoffMs);
        return -2;
    }
    spare_.reset();
    socklen_t length = sizeof peer;
    const int taken = accept4(listen_.get(), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (taken < 0) {
        spare_.reset(openSpare());
        if (!spare_.valid()) pauseAccepting(kAcceptBackoffMs);
        return -2;
    }
    // A peer that is sending gets the room of the connection idle longest;
    // with none to drop it is refused rather than left in the backlog, where
    // it would wake this loop for ever.
    if (dropIdlest()) {
        spare_.reset(openSpare());
        if (spare_.valid()) return taken;
    }
    ::close(taken);
    counters_->connectionsDropped.fetch_add(1, std::memory_order_relaxed);
    XQ_TRACE(3, "\tConnection refused at the descriptor limit.");
    spare_.reset(openSpare());
    if (!spare_.valid()) pauseAccepting(kAcceptBackoffMs);
    return -1;
}

void XQReceiveLoop::setWantWrite(Connection& c, std::uint64_t id, bool want) {
    if (c.wantWrite == want) return;
    c.wantWrite = want;
    if (!c.registered) return;  // registered with these events later
    epoll_event ev{};
    ev.events = want ? (EPOLLIN | EPOLLOUT) : EPOLLIN;
    ev.data.u64 = id;
    epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, c.fd.get(), &ev);
}

bool XQReceiveLoop::handshake(std::uint64_t id, Connection& c) {
    ERR_clear_error();
    const int r = SSL_do_handshake(c.ssl.get());
    if (r == 1) {
        c.handshaken = true;
        setWantWrite(c, id, false);
        idleOrder_.splice(idleOrder_.end(), idleOrder_, c.idle);
        return true;
    }
    const int e = SSL_get_error(c.ssl.get(), r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        setWantWrite(c, id, e == SSL_ERROR_WANT_WRITE);
        return false;
    }
    // Not TLS, not signed by the authority, expired, no certificate at all.
    XQReceiveOutcome o;
    o.kind = XQReceiveOutcome::Fault;
    o.code = 6123;
    o.error = EPROTO;
    o.reason = xqTlsReason(c.ssl.get());
    counters_->droppedHandshake.fetch_add(1, std::memory_order_relaxed);
    c.ssl.reset();  // no alert on a link that failed
    finish(id, std::move(o));
    return false;
}

long XQReceiveLoop::readSome(std::uint64_t id, Connection& c, unsigned char* into, std::size_t want) {
    if (!c.ssl) {
        for (;;) {
            const ssize_t r = ::recv(c.fd.get(), into, want, 0);
            if (r > 0) return r;
            if (r == 0) {
                fail(id, ECONNRESET);  // the peer closed before its frame was whole
                return -1;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            fail(id, errno);
            return -1;
        }
    }
    ERR_clear_error();
    const int r = SSL_read(c.ssl.get(), into, static_cast<int>(std::min<std::size_t>(want, 1 << 30)));
    if (r > 0) return r;
    const int e = SSL_get_error(c.ssl.get(), r);
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
        setWantWrite(c, id, e == SSL_ERROR_WANT_WRITE);
        return 0;
    }
    const int error = e == SSL_ERROR_SYSCALL && errno != 0 ? errno : e == SSL_ERROR_SSL ? EPROTO : ECONNRESET;
    ERR_clear_error();
    c.ssl.reset();
    fail(id, error);
    return -1;
}

void XQReceiveLoop::readFrom(std::uint64_t id) {
    auto it = connections_.find(id);
    if (it == connections_.end()) return;  // closed earlier in this turn
    Connection& c = it->second;
    if (c.ssl && !c.handshaken && !handshake(id, c)) return;
    // A TLS link is read until it has nothing more: bytes it has already
    // decrypted would not wake the loop again.
    std::size_t budget = c.ssl ? ~std::size_t(0) : kBytesPerTurn;
    while (budget > 0) {
        XQFrameReader::Status st;
        if (!c.reader.haveCount()) {
            // The count and as much of the payload as is there, in one read.
            unsigned char head[16384];
            const long r = readSome(id, c, head, std::min(sizeof head, budget));
            if (r <= 0) return;
            budget -= static_cast<std::size_t>(r);
            c.reader.feed(head, static_cast<std::size_t>(r));
            st = c.reader.status();
        } else {
            const std::size_t want = std::min(c.reader.spaceLeft(), budget);
            const long r = readSome(id, c, c.reader.space(), want);
            if (r <= 0) return;
            budget -= static_cast<std::size_t>(r);
            st = c.reader.advance(static_cast<std::size_t>(r));
        }
        idleOrder_.splice(idleOrder_.end(), idleOrder_, c.idle);
        if (st == XQFrameReader::Complete) {
            XQReceiveOutcome o;
            o.kind = XQReceiveOutcome::Frame;
            o.count = c.reader.count();
            o.got = c.reader.payloadGot();
            o.payload = c.reader.takePayload();
            o.held = c.reader.takeHeld();
            // The sender takes the close_notify as the confirmation.
            if (c.ssl) SSL_shutdown(c.ssl.get());
            finish(id, std::move(o));
            return;
        }
        if (st == XQFrameReader::Failed) {
            XQReceiveOutcome o;
            o.kind = XQReceiveOutcome::Fault;
            o.code = 6109;
            o.count = c.reader.count();
            switch (c.reader.refusal()) {
                case XQFrameReader::Oversize:
                    o.error = EMSGSIZE;
                    counters_->droppedOversize.fetch_add(1, std::memory_order_relaxed);
                    break;
                case XQFrameReader::OverBound:
                    o.error = ENOBUFS;
                    counters_->droppedMemory.fetch_add(1, std::memory_order_relaxed);
                    break;
                default:
                    counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
                    break;
            }
            c.ssl.reset();
            finish(id, std::move(o));
            return;
        }
    }
}

void XQReceiveLoop::fail(std::uint64_t id, int error) {
    auto it = connections_.find(id);
    if (it == connections_.end()) return;
    const XQFrameReader& reader = it->second.reader;
    XQReceiveOutcome o;
    o.kind = XQReceiveOutcome::Fault;
    o.code = reader.haveCount() ? 6109 : 6108;
    o.error = error;
    o.count = reader.count();
    o.got = reader.payloadGot();
    if (it->second.ssl && !it->second.handshaken) {
        // A handshake that stalls or breaks off is the peer's failure to authenticate.
        o.code = 6123;
        o.reason = error == ETIMEDOUT ? "handshake not finished within the timeout" : "connection closed during the handshake";
        it->second.ssl.reset();
        counters_->droppedHandshake.fetch_add(1, std::memory_order_relaxed);
    } else if (error == ETIMEDOUT)
        counters_->droppedDeadline.fetch_add(1, std::memory_order_relaxed);
    else
        counters_->droppedMalformed.fetch_add(1, std::memory_order_relaxed);
    finish(id, std::move(o));
}

void XQReceiveLoop::finish(std::uint64_t id, XQReceiveOutcome outcome) {
    auto it = connections_.find(id);
    if (it != connections_.end()) {
        Connection& c = it->second;
        // Closing at once confirms delivery to a sender that waits for it;
        // the frame is converted and queued afterwards. A refused frame's
        // unread bytes make the close a reset, which its sender sees.
        if (c.registered) epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, c.fd.get(), nullptr);
        idleOrder_.erase(c.idle);
        if (c.deadline != Clock::time_point::max()) deadlines_.erase({c.deadline, id});
        connections_.erase(it);
    }
    ready_.push_back(std::move(outcome));
}

void XQReceiveLoop::drop(std::uint64_t id) {
    auto it = connections_.find(id);
    if (it == connections_.end()) return;
    Connection& c = it->second;
    if (c.registered) epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, c.fd.get(), nullptr);
    idleOrder_.erase(c.idle);
    if (c.deadline != Clock::time_point::max()) deadlines_.erase({c.deadline, id});
    connections_.erase(it);
    counters_->connectionsDropped.fetch_add(1, std::memory_order_relaxed);
}

bool XQReceiveLoop::dropIdlest() {
    if (idleOrder_.empty()) return false;
    XQ_TRACE(3, "\tIdle connection dropped to make room; connections = " << connections_.size());
    drop(idleOrder_.front());
    return true;
}

void XQReceiveLoop::expire() {
    const auto now = Clock::now();
    while (!deadlines_.empty() && deadlines_.begin()->first <= now) fail(deadlines_.begin()->second, ETIMEDOUT);
}

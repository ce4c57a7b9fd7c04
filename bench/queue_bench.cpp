// Message queue throughput and latency, each against a plain-socket baseline
// measured in the same run:
//  - one-way: messages from a sender thread through Send into a queue and out
//    through Receive, against a plain connect/write/close loop, one that
//    also waits for the receiver's close (as a confirmed Send must), and one
//    that waits and carries the same typed message packed and unpacked;
//    also with 100 idle connections held open on the queue's port;
//  - round trip: request and reply between two queues, against a plain
//    two-socket request/reply loop (a new connection each way), with and
//    without each sender waiting for the receiver's close, and waiting for
//    it with both sides packing and unpacking the same typed message;
//  - wake-up: from a frame's arrival to the return of a reader blocked in
//    Receive, against a condition-variable wake-up between two threads;
//  - the one-way and round-trip cases again inside TLS, and one TLS send with
//    a full handshake against one that resumes its session.

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <string>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/Conversion.h"
#include "messages/XQBaseMessage.h"
#include "support/TestCerts.h"
#include "transport/XQMessageQ.h"
#include "transport/XQTls.h"

namespace {

const int kIterations = 3000;

const bool environmentSet = [] {
    setenv("NVHOSTNAME", "localhost", 1);
    return true;
}();

// A message of about the size the plain loops send.
void fill(XQBaseMessage& m, unsigned int port, int isRequest) {
    m.SetDestQueueHost(L"127.0.0.1");
    m.SetDestQueuePort(port);
    m.SetIsRequest(isRequest);
    m.SetBVName(L"bench");
    m.SetSQLStmt1(XQSTRING(100, L's'));
}

size_t frameBytes() {
    XQBaseMessage m;
    fill(m, 1, 1);
    return m.CalculateSize();  // the frame keeps the packed size, UCS-2 and zero fill
}

// ---- plain sockets ----

sockaddr_in loopback(unsigned int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int listenOn(unsigned int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in a = loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(fd, 1024);
    socklen_t len = sizeof(a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

bool readAll(int fd, unsigned char* p, size_t n) {
    while (n > 0) {
        const ssize_t r = recv(fd, p, n, 0);
        if (r <= 0) return false;
        p += r;
        n -= static_cast<size_t>(r);
    }
    return true;
}

// One connection, one write for the whole frame (as the library's sender
// does); with confirm, then waits for the receiver to close: what a sender
// that learns its frame was taken must wait for, the floor of a confirmed send.
void sendFrame(unsigned int port, const std::vector<unsigned char>& payload, bool confirm) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) {
        std::vector<unsigned char> frame(payload.size() + 4);
        const uint32_t n = htonl(static_cast<uint32_t>(payload.size()));
        std::memcpy(frame.data(), &n, 4);
        std::memcpy(frame.data() + 4, payload.data(), payload.size());
        const bool sent =
            send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
        unsigned char end;
        while (sent && confirm && recv(fd, &end, 1, 0) > 0) {
        }
    }
    close(fd);
}

void writeFrame(unsigned int port, const std::vector<unsigned char>& payload) {
    sendFrame(port, payload, false);
}

void writeFrameConfirmed(unsigned int port, const std::vector<unsigned char>& payload) {
    sendFrame(port, payload, true);
}

// Accepts one connection and reads one frame; false when the socket closed.
bool readFrame(int listenFd, std::vector<unsigned char>& payload) {
    const int c = accept(listenFd, nullptr, nullptr);
    if (c < 0) return false;
    unsigned char head[4];
    bool ok = readAll(c, head, 4);
    if (ok) {
        payload.resize((uint32_t(head[0]) << 24) | (uint32_t(head[1]) << 16) | (uint32_t(head[2]) << 8) | head[3]);
        ok = readAll(c, payload.data(), payload.size());
    }
    close(c);
    return ok;
}

// What every hop through a queue does besides the socket work: the sender
// packs the message and converts it to the wire's characters, the receiver
// converts it back and unpacks it. The plain loops below do it too when they
// carry a typed message; what is left between them and the queue is the
// queue's own work.
std::vector<unsigned char> packFrame(XQBaseMessage& m) {
    const unsigned int size = m.CalculateSize();
    std::vector<unsigned char> payload(size);
    m.PackMessage(payload.data(), size);
    ConvertWideToUnicode(reinterpret_cast<wchar_t*>(payload.data()), size);
    return payload;
}

bool unpackFrame(const std::vector<unsigned char>& payload, XQBaseMessage& m) {
    int length = static_cast<int>(payload.size());
    unsigned char* wide = static_cast<unsigned char*>(std::malloc(payload.size()));
    std::memcpy(wide, payload.data(), payload.size());
    const bool ok = ConvertUnicodeToWide(wide, length).code == 0 &&
                    m.UnpackMessageBounded(wide, static_cast<unsigned long>(length)).code == 0;
    std::free(wide);
    return ok;
}

// A typed plain sender packs a new message for every frame; its reader
// unpacks every frame it reads.
std::vector<unsigned char> typedFrame(unsigned int port) {
    XQBaseMessage m;
    fill(m, port, 1);
    return packFrame(m);
}

void plainOneWay(benchmark::State& state, void (*write)(unsigned int, const std::vector<unsigned char>&),
                 bool typed) {
    unsigned int port = 0;
    const int listenFd = listenOn(port);
    std::atomic<long> received{0};
    std::thread reader([&] {
        std::vector<unsigned char> payload;
        XQBaseMessage m;
        while (readFrame(listenFd, payload) && (!typed || unpackFrame(payload, m))) received.fetch_add(1);
    });
    const std::vector<unsigned char> payload(frameBytes(), 'x');
    long sent = 0;
    for (auto _ : state) {
        write(port, typed ? typedFrame(port) : payload);
        ++sent;
    }
    while (received.load() < sent) std::this_thread::yield();
    shutdown(listenFd, SHUT_RDWR);
    reader.join();
    close(listenFd);
    state.SetItemsProcessed(sent);
}
void BM_PlainOneWay(benchmark::State& state) { plainOneWay(state, writeFrame, false); }
BENCHMARK(BM_PlainOneWay)->Iterations(kIterations)->UseRealTime();
void BM_PlainOneWayConfirmed(benchmark::State& state) { plainOneWay(state, writeFrameConfirmed, false); }
BENCHMARK(BM_PlainOneWayConfirmed)->Iterations(kIterations)->UseRealTime();
void BM_PlainOneWayConfirmedTyped(benchmark::State& state) { plainOneWay(state, writeFrameConfirmed, true); }
BENCHMARK(BM_PlainOneWayConfirmedTyped)->Iterations(kIterations)->UseRealTime();

// One sender into a queue; with idle > 0 that many peers hold connections
// open without sending, as idle or stalled agents would.
void queueOneWay(benchmark::State& state, int idle) {
    XQMessageQ q;
    q.Create(0, 1024);
    const unsigned int port = q.nQueuePort;
    std::vector<int> held;
    for (int i = 0; i < idle; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(port);
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0) held.push_back(fd);
        else close(fd);
    }
    std::atomic<bool> go{false};
    std::atomic<long> toSend{0};
    std::thread sender([&] {
        while (!go.load()) std::this_thread::yield();
        for (long i = 0; i < toSend.load(); ++i) {
            XQBaseMessage m;
            fill(m, port, 1);
            m.Send();
        }
    });
    long received = 0;
    toSend.store(static_cast<long>(state.max_iterations));
    go.store(true);
    XQBaseMessage m;
    for (auto _ : state) {
        if (q.Receive(m, 10000).code == 0) ++received;
    }
    sender.join();
    q.Destroy(1);
    for (int fd : held) close(fd);
    state.SetItemsProcessed(received);
    if (received != static_cast<long>(state.max_iterations)) state.SkipWithError("messages lost");
    if (static_cast<int>(held.size()) != idle) state.SkipWithError("idle connections not held");
}

void BM_QueueOneWay(benchmark::State& state) { queueOneWay(state, 0); }
BENCHMARK(BM_QueueOneWay)->Iterations(kIterations)->UseRealTime();

void BM_QueueOneWayIdle100(benchmark::State& state) { queueOneWay(state, 100); }
BENCHMARK(BM_QueueOneWayIdle100)->Iterations(kIterations)->UseRealTime();

// Eight senders at once into one receiver: a plain loop (connect, write,
// close, one reader thread) against eight senders into one queue.
const int kSenders = 8;
// Messages of one measured run (all senders together).
const long kSendersTotal = 2L * kIterations;

void BM_PlainOneWay8Senders(benchmark::State& state) {
    unsigned int port = 0;
    const int listenFd = listenOn(port);
    std::atomic<long> received{0};
    std::thread reader([&] {
        std::vector<unsigned char> payload;
        while (readFrame(listenFd, payload)) received.fetch_add(1);
    });
    const std::vector<unsigned char> payload(frameBytes(), 'x');
    const long total = kSendersTotal;
    for (auto _ : state) {
        std::vector<std::thread> senders;
        for (int t = 0; t < kSenders; ++t)
            senders.emplace_back([&, t] {
                for (long i = t; i < total; i += kSenders) writeFrame(port, payload);
            });
        for (auto& t : senders) t.join();
        while (received.load() < total) std::this_thread::yield();
    }
    shutdown(listenFd, SHUT_RDWR);
    reader.join();
    close(listenFd);
    state.SetItemsProcessed(total);
}
BENCHMARK(BM_PlainOneWay8Senders)->Iterations(1)->UseRealTime();

void BM_QueueOneWay8Senders(benchmark::State& state) {
    XQMessageQ q;
    q.Create(0, 1024);
    const unsigned int port = q.nQueuePort;
    const long total = kSendersTotal;
    long received = 0;
    for (auto _ : state) {
        std::vector<std::thread> senders;
        for (int t = 0; t < kSenders; ++t)
            senders.emplace_back([&, t] {
                for (long i = t; i < total; i += kSenders) {
                    XQBaseMessage m;
                    fill(m, port, 1);
                    m.Send();
                }
            });
        XQBaseMessage m;
        while (received < total && q.Receive(m, 10000).code == 0) ++received;
        for (auto& t : senders) t.join();
    }
    q.Destroy(1);
    state.SetItemsProcessed(received);
    if (received != total) state.SkipWithError("messages lost");
}
BENCHMARK(BM_QueueOneWay8Senders)->Iterations(1)->UseRealTime();

// A reply unpacked into a new message, as a requester receiving into a fresh
// object does (the untyped loops make no message at all).
bool unpackReply(const std::vector<unsigned char>& frame) {
    XQBaseMessage m;
    return unpackFrame(frame, m);
}

void plainRequestReply(benchmark::State& state,
                       void (*write)(unsigned int, const std::vector<unsigned char>&), bool typed) {
    unsigned int serverPort = 0;
    unsigned int clientPort = 0;
    const int serverFd = listenOn(serverPort);
    const int clientFd = listenOn(clientPort);
    std::thread server([&] {
        std::vector<unsigned char> payload;
        XQBaseMessage work;
        while (readFrame(serverFd, payload) && (!typed || unpackFrame(payload, work))) {
            if (typed) work.SetIsRequest(0);
            write(clientPort, typed ? packFrame(work) : payload);
        }
    });
    const std::vector<unsigned char> payload(frameBytes(), 'x');
    std::vector<unsigned char> reply;
    long answered = 0;
    for (auto _ : state) {
        write(serverPort, typed ? typedFrame(serverPort) : payload);
        if (readFrame(clientFd, reply) && (!typed || unpackReply(reply))) ++answered;
    }
    shutdown(serverFd, SHUT_RDWR);
    server.join();
    close(serverFd);
    close(clientFd);
    state.SetItemsProcessed(answered);
    if (answered != static_cast<long>(state.iterations())) state.SkipWithError("replies lost");
}
void BM_PlainRequestReply(benchmark::State& state) { plainRequestReply(state, writeFrame, false); }
BENCHMARK(BM_PlainRequestReply)->Iterations(kIterations)->UseRealTime();
void BM_PlainRequestReplyConfirmed(benchmark::State& state) {
    plainRequestReply(state, writeFrameConfirmed, false);
}
BENCHMARK(BM_PlainRequestReplyConfirmed)->Iterations(kIterations)->UseRealTime();
void BM_PlainRequestReplyConfirmedTyped(benchmark::State& state) {
    plainRequestReply(state, writeFrameConfirmed, true);
}
BENCHMARK(BM_PlainRequestReplyConfirmedTyped)->Iterations(kIterations)->UseRealTime();

void queueRequestReply(benchmark::State& state) {
    XQMessageQ a;
    XQMessageQ b;
    a.Create(0, 1024);
    b.Create(0, 1024);
    std::atomic<bool> stop{false};
    std::thread agent([&] {
        XQBaseMessage work;
        while (!stop.load()) {
            if (b.Receive(work, 100).code != 0) continue;
            work.SetIsRequest(0);
            work.Send();
        }
    });
    long answered = 0;
    for (auto _ : state) {
        XQBaseMessage request;
        fill(request, b.nQueuePort, 1);
        request.SetOriginQueuePort(a.nQueuePort);
        request.Send();
        XQBaseMessage reply;
        if (a.Receive(reply, 10000).code == 0) ++answered;
    }
    stop.store(true);
    agent.join();
    a.Destroy(1);
    b.Destroy(1);
    state.SetItemsProcessed(answered);
    if (answered != static_cast<long>(state.iterations())) state.SkipWithError("replies lost");
}
void BM_QueueRequestReply(benchmark::State& state) { queueRequestReply(state); }
BENCHMARK(BM_QueueRequestReply)->Iterations(kIterations)->UseRealTime();

using Clock = std::chrono::steady_clock;

// The delay from a frame's arrival (the receive thread has read it and closed
// the connection, which ends the sender's confirmed Send) to the return of a
// reader blocked in Receive.
void BM_QueueWakeUp(benchmark::State& state) {
    XQMessageQ q;
    q.Create(0, 1024);
    const unsigned int port = q.nQueuePort;
    for (auto _ : state) {
        std::atomic<int> ready{0};
        Clock::time_point woke;
        std::thread reader([&] {
            XQBaseMessage m;
            ready.store(1);
            q.Receive(m, 0xFFFFFFFFu);
            woke = Clock::now();
        });
        while (ready.load() == 0) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        XQBaseMessage m;
        fill(m, port, 1);
        m.Send();
        const Clock::time_point arrived = Clock::now();
        reader.join();
        const double seconds = std::chrono::duration<double>(woke - arrived).count();
        state.SetIterationTime(seconds > 0 ? seconds : 0);
    }
    q.Destroy(1);
}
BENCHMARK(BM_QueueWakeUp)->Iterations(300)->UseManualTime();

void BM_ConditionVariableWakeUp(benchmark::State& state) {
    for (auto _ : state) {
        std::mutex lock;
        std::condition_variable cv;
        bool flag = false;
        std::atomic<int> ready{0};
        Clock::time_point woke;
        std::thread reader([&] {
            std::unique_lock<std::mutex> g(lock);
            ready.store(1);
            cv.wait(g, [&] { return flag; });
            woke = Clock::now();
        });
        while (ready.load() == 0) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        Clock::time_point signalled;
        {
            std::lock_guard<std::mutex> g(lock);
            flag = true;
            signalled = Clock::now();
        }
        cv.notify_one();
        reader.join();
        const double seconds = std::chrono::duration<double>(woke - signalled).count();
        state.SetIterationTime(seconds > 0 ? seconds : 0);
    }
}
BENCHMARK(BM_ConditionVariableWakeUp)->Iterations(300)->UseManualTime();

}  // namespace

namespace {

// ---- inside TLS ----

// Certificates for this host, made once per run.
struct BenchPki {
    std::string dir;
    TestCert ca, host;
    BenchPki() {
        char templ[] = "/tmp/tcore-bench-tls-XXXXXX";
        dir = mkdtemp(templ);
        TestPki pki(dir);
        ca = pki.authority("ca");
        host = pki.host("host", "DNS:localhost,IP:127.0.0.1", ca);
    }
    ~BenchPki() { std::system(("rm -rf " + dir).c_str()); }
};

const BenchPki& benchPki() {
    static BenchPki p;
    return p;
}

XQSTRING wide(const std::string& s) { return XQSTRING(s.begin(), s.end()); }

void tlsOn() {
    const BenchPki& p = benchPki();
    xqTlsConfigure(wide(p.ca.cert), wide(p.host.cert), wide(p.host.key));
}

// TLS for the life of a benchmark, plain again after it.
struct TlsScope {
    TlsScope() { tlsOn(); }
    ~TlsScope() { xqTlsConfigure(L"", L"", L""); }
};

void BM_QueueOneWayTls(benchmark::State& state) {
    TlsScope tls;
    queueOneWay(state, 0);
}
BENCHMARK(BM_QueueOneWayTls)->Iterations(kIterations)->UseRealTime();

void BM_QueueRequestReplyTls(benchmark::State& state) {
    TlsScope tls;
    queueRequestReply(state);
}
BENCHMARK(BM_QueueRequestReplyTls)->Iterations(kIterations)->UseRealTime();

// One Send, timed alone, with a full handshake (new settings forget every
// session) or resuming the session of the previous one.
void tlsSend(benchmark::State& state, bool full) {
    TlsScope tls;
    XQMessageQ q;
    q.Create(0, 1024);
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        XQBaseMessage m;
        while (!stop.load()) q.Receive(m, 100);
    });
    long sent = 0;
    for (auto _ : state) {
        if (full) tlsOn();
        XQBaseMessage m;
        fill(m, q.nQueuePort, 1);
        const auto start = std::chrono::steady_clock::now();
        sent += m.Send().code == 0;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    stop.store(true);
    reader.join();
    q.Destroy(1);
    if (sent != static_cast<long>(state.iterations())) state.SkipWithError("sends failed");
}

void BM_TlsSendFullHandshake(benchmark::State& state) { tlsSend(state, true); }
BENCHMARK(BM_TlsSendFullHandshake)->Iterations(300)->UseManualTime();

void BM_TlsSendResumed(benchmark::State& state) { tlsSend(state, false); }
BENCHMARK(BM_TlsSendResumed)->Iterations(300)->UseManualTime();

}  // namespace

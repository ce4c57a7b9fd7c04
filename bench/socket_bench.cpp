// Frames per second on loopback: XQSocket::Send to a receiving XQSocket,
// against a plain connect/write/close loop that sends the same frames to the
// same kind of receiver, in the same run. Each case runs a fixed number of
// frames (60,000 unless TCORE_BENCH_FRAMES says otherwise) on a fresh
// listening port, then counts the TIME_WAIT sockets of that port with ss:
// "tw_sender" on the sending side, "tw_receiver" on the receiving side.
// Run the XQSocket cases first: the plain loop's TIME_WAIT backlog lasts a
// minute and weighs on whatever follows it.

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Conversion.h"
#include "transport/XQSocket.h"

namespace {

int64_t framesToRun() {
    const char* v = std::getenv("TCORE_BENCH_FRAMES");
    long n = v ? std::atol(v) : 0;
    return n > 0 ? n : 60000;
}

// A receiving XQSocket on its own thread, counting the frames it takes.
class ReceiverLoop {
public:
    ReceiverLoop() {
        rx_.SetTimeout(5000);
        if (rx_.InitializeReceive(0, 1024).code == 0) rx_.GetReceivePort(port_);
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                unsigned char* data = nullptr;
                int size = 0;
                XQRC rc = rx_.Receive(&data, &size);
                if (rc.code == 0) {
                    std::free(data);
                    ++frames_;
                } else if (rc.code == 6107) {
                    break;  // halted
                } else {
                    ++errors_;
                }
            }
        });
    }
    ~ReceiverLoop() {
        stop_.store(true);
        rx_.HaltReceive();
        thread_.join();
    }
    unsigned int port() const { return port_; }
    long frames() const { return frames_.load(); }
    long errors() const { return errors_.load(); }

private:
    XQSocket rx_;
    unsigned int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<long> frames_{0};
    std::atomic<long> errors_{0};
    std::thread thread_;
};

int countTimeWait(unsigned int port, bool senderSide) {
    FILE* p = popen("ss -Htan state time-wait 2>/dev/null", "r");
    if (p == nullptr) return -1;
    int n = 0;
    char line[512];
    const std::string suffix = ":" + std::to_string(port);
    while (std::fgets(line, sizeof line, p) != nullptr) {
        std::istringstream in(line);
        std::string recvq, sendq, local, peer;
        in >> recvq >> sendq >> local >> peer;
        const std::string& which = senderSide ? peer : local;
        if (which.size() > suffix.size() && which.compare(which.size() - suffix.size(), suffix.size(), suffix) == 0)
            ++n;
    }
    pclose(p);
    return n;
}

// A packed message of `bytes` bytes: eye catcher, text over the first
// half, zeros after it.
std::vector<wchar_t> packedMessage(size_t bytes) {
    std::vector<wchar_t> v(bytes / 4, L'\0');
    const wchar_t eye[] = L"XQBase    ";
    for (size_t i = 0; i < v.size() / 2; ++i) v[i] = i < 10 ? eye[i] : static_cast<wchar_t>(L'a' + i % 26);
    return v;
}

void finish(benchmark::State& state, ReceiverLoop& rx, long sendErrors) {
    state.SetItemsProcessed(state.iterations());
    state.counters["send_errors"] = static_cast<double>(sendErrors);
    state.counters["recv_errors"] = static_cast<double>(rx.errors());
    state.counters["tw_sender"] = countTimeWait(rx.port(), true);
    state.counters["tw_receiver"] = countTimeWait(rx.port(), false);
}

void XQSocketSend(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<wchar_t> message = packedMessage(bytes);
    ReceiverLoop rx;
    long errors = 0;
    for (auto _ : state) {
        XQSocket s;
        unsigned char* data = nullptr;
        if (s.InitializeSend(&data, static_cast<int>(bytes)).code != 0) {
            ++errors;
            continue;
        }
        std::memcpy(data, message.data(), bytes);
        if (s.Send(L"127.0.0.1", rx.port()).code != 0) ++errors;
    }
    finish(state, rx, errors);
}

// The same frames, already in their wire form, sent the plain way: the
// sender closes first and keeps the TIME_WAIT.
void PlainConnectWriteClose(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0));
    std::vector<wchar_t> message = packedMessage(bytes);
    ConvertWideToUnicode(message.data(), static_cast<unsigned int>(bytes));
    std::vector<unsigned char> frame(bytes + 4);
    frame[0] = static_cast<unsigned char>(bytes >> 24);
    frame[1] = static_cast<unsigned char>(bytes >> 16);
    frame[2] = static_cast<unsigned char>(bytes >> 8);
    frame[3] = static_cast<unsigned char>(bytes);
    std::memcpy(frame.data() + 4, message.data(), bytes);

    ReceiverLoop rx;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(rx.port()));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    long errors = 0;
    for (auto _ : state) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            ++errors;
            if (fd >= 0) close(fd);
            continue;
        }
        size_t sent = 0;
        while (sent < frame.size()) {
            ssize_t w = send(fd, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
            if (w <= 0) {
                ++errors;
                break;
            }
            sent += static_cast<size_t>(w);
        }
        close(fd);
    }
    finish(state, rx, errors);
}

const int64_t kFrames = framesToRun();

}  // namespace

BENCHMARK(XQSocketSend)->Arg(1024)->Arg(65536)->Iterations(kFrames)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(PlainConnectWriteClose)
    ->Arg(1024)
    ->Arg(65536)
    ->Iterations(kFrames)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

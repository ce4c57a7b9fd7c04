#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "foundation/Trace.h"
#include "support/MessageTestSupport.h"
#include "transport/XQSocket.h"

namespace {

// A queue's receiving end in miniature: one XQSocket on a loopback port
// chosen by the system, one thread waiting for one frame.
class Listener {
public:
    Listener() {
        EXPECT_EQ(socket_.InitializeReceive(0, 5).code, 0);
        EXPECT_EQ(socket_.GetReceivePort(port_).code, 0);
        thread_ = std::thread([this] {
            unsigned char* data = nullptr;
            int size = 0;
            rc_ = socket_.Receive(&data, &size);
            if (rc_.code == 0) {
                payload_.assign(data, data + size);
                std::free(data);
            }
        });
    }
    ~Listener() { stop(); }

    unsigned int port() const { return port_; }
    // Waits for the frame (or for stop()).
    XQRC wait() {
        if (thread_.joinable()) thread_.join();
        return rc_;
    }
    // Ends the wait of a listener that should get nothing.
    XQRC stop() {
        socket_.HaltReceive();
        return wait();
    }
    const std::vector<unsigned char>& payload() const { return payload_; }

private:
    XQSocket socket_;
    unsigned int port_ = 0;
    std::thread thread_;
    XQRC rc_{0, 0, XQRC::WhsSrv};
    std::vector<unsigned char> payload_;
};

template <class M>
void route(M& m, unsigned int destPort, unsigned int originPort) {
    m.DestQueueHost = L"127.0.0.1";
    m.DestQueuePort = destPort;
    m.OriginQueueHost = L"127.0.0.1";
    m.OriginInetAddr = L"127.0.0.1";
    m.OriginQueuePort = originPort;
}

// Sends m, a request to its destination or a reply to its origin, and
// unpacks what arrived there into a fresh message; the other listener gets
// nothing.
template <class M>
std::unique_ptr<M> sendAndReceive(M& m, bool request) {
    Listener dest, origin;
    route(m, dest.port(), origin.port());
    m.IsRequest = request ? 1 : 0;
    XQRC rc = m.Send();
    EXPECT_EQ(rc.code, 0) << xqToMultibyte(rc.methodName);
    Listener& to = request ? dest : origin;
    Listener& other = request ? origin : dest;
    EXPECT_EQ(to.wait().code, 0);
    EXPECT_EQ(other.stop().code, 6107);
    EXPECT_TRUE(other.payload().empty());
    auto received = std::make_unique<M>();
    EXPECT_EQ(received->UnpackMessageBounded(to.payload().data(), to.payload().size()).code, 0);
    return received;
}

}  // namespace

TEST(MessageSend, EachKindArrivesWhole) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        MessageRandom rnd(seed, true, 30, 4);
        auto arrivesWhole = [&rnd](auto m) {
            rnd.fill(m);
            EXPECT_EQ(diffMessages(m, *sendAndReceive(m, true)), "");
        };
        arrivesWhole(XQBaseMessage());
        arrivesWhole(XQAgentMessage());
        arrivesWhole(XQKernelMessage());
        arrivesWhole(XQLogMessage());
    }
}

TEST(MessageSend, RequestGoesToDestinationReplyToOrigin) {
    XQAgentMessage request;  // with the commands of the agent's unsent replies
    request.Command = 22;
    request.SubCommand = 29;
    request.StatusMsg = L"request";
    EXPECT_EQ(sendAndReceive(request, true)->StatusMsg, L"request");
    XQKernelMessage reply;
    reply.Command = 22;  // only the agent message leaves such replies unsent
    reply.AliasName = L"reply";
    const auto r = sendAndReceive(reply, false);
    EXPECT_EQ(r->AliasName, L"reply");
    EXPECT_EQ(r->IsRequest, 0);
}

TEST(MessageSend, AgentRepliesThatAreNotSent) {
    for (const auto& c : {std::pair<int, int>{22, 0}, {0, 19}, {0, 29}}) {
        Listener origin;
        XQAgentMessage m;
        route(m, 1, origin.port());
        m.IsRequest = 0;
        m.Command = c.first;
        m.SubCommand = c.second;
        EXPECT_EQ(m.Send().code, 0);
        EXPECT_EQ(origin.stop().code, 6107) << c.first << "/" << c.second;
        EXPECT_TRUE(origin.payload().empty());
    }
}

// One text too long for the frame: each kind refuses it with 9148 before
// anything reaches the socket; what it said on standard output.
template <class M>
std::string expectTooLarge(XQSTRING M::*member) {
    Listener dest;
    M m;
    route(m, dest.port(), 1);
    (m.*member).assign(1100000, L'x');  // above 4,194,304 bytes once packed
    testing::internal::CaptureStdout();
    XQRC rc = m.Send();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc.code, 9148);
    EXPECT_EQ(rc.domain, XQRC::WhsSrv);
    EXPECT_EQ(dest.stop().code, 6107);
    return out;
}

TEST(MessageSend, TooLargeMessagesNeverReachTheSocket) {
    expectTooLarge(&XQBaseMessage::SQLStmt2);
    expectTooLarge(&XQAgentMessage::SourceDBConnectString);
    expectTooLarge(&XQLogMessage::ProcessName);
    const std::string out = expectTooLarge(&XQKernelMessage::AliasName);
    EXPECT_NE(out.find(">>***** XQKernelMessage::Send: Buffer Too Large: \n\tuiKernelSize = "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\n\tMAX_BUFFER_SIZE = 4194304\n"), std::string::npos);
}

TEST(MessageSend, LargestMessagesStillTravel) {
    // Just under the socket's frame limit: one text sized to fill it.
    Listener dest;
    XQAgentMessage m;
    route(m, dest.port(), 1);
    unsigned long base = m.XQBaseMessage::CalculateSize();
    for (int i = 0; i < 60; ++i) {
        unsigned long used = base + m.CalculateSize();
        const unsigned long record = 220 + 4 * 7;  // prefixes and the seven numbers "0"
        if (used + record + 4 > 4194300) break;
        unsigned long chars = (4194300 - used - record) / 4;
        m.InputDataList.emplace_back();
        m.InputDataList.back().Text1.assign(chars > 99999 ? 99999 : chars, static_cast<wchar_t>(L'a' + i % 26));
    }
    unsigned long total = static_cast<unsigned long>(m.XQBaseMessage::CalculateSize()) + m.CalculateSize();
    ASSERT_LE(total, 4194300u);
    ASSERT_GT(total, 4000000u);
    ASSERT_EQ(m.Send().code, 0);
    ASSERT_EQ(dest.wait().code, 0);
    XQAgentMessage r;
    ASSERT_EQ(r.UnpackMessageBounded(dest.payload().data(), dest.payload().size()).code, 0);
    EXPECT_EQ(diffMessages(m, r), "");
}

TEST(MessageSend, TraceLinesAtLevelsThreeAndFour) {
    Listener dest;
    XQKernelMessage m;
    route(m, dest.port(), 1);
    m.BVName = L"BVK";
    setDebugTcore(4);
    testing::internal::CaptureStdout();
    XQRC rc = m.Send();
    const XQRC got = dest.wait();  // the socket's receiving lines too
    std::string out = testing::internal::GetCapturedStdout();
    setDebugTcore(0);
    ASSERT_EQ(rc.code, 0);
    ASSERT_EQ(got.code, 0);
    const std::string received = std::to_string(dest.payload().size() / 2);
    for (const std::string& text : std::vector<std::string>{
             ": enter method XQKernelMessage::Send()",
             "BVK... sending mt/ct/cst 4/0/0 rc 0/0 Orig/Dest 1/",
             ": Sending kernel message size = ", ": exit method XQKernelMessage::Send()",
             "XQSocket::Send (200) Message: XQKernel", "XQSocket::Recieve MsgLen = " + received})
        EXPECT_NE(out.find(text), std::string::npos) << text;

}

TEST(MessageSend, SocketFailuresAreReturnedAsTheyAre) {
    XQLogMessage l;
    route(l, 1, 1);
    l.DestQueueHost = L"no-such-host.invalid";
    EXPECT_EQ(l.Send().code, 6113);
}

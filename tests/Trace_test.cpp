#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "foundation/TimeStamp.h"
#include "foundation/Trace.h"
#include "os/XQabsMutexSemaphore.h"
#include "support/ChildProcess.h"

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class TraceTest : public ::testing::Test {
protected:
    void SetUp() override {
        getTraceLock();
        getTraceTS();
        setenv("TZ", "UTC0", 1);
        tzset();
    }
    void TearDown() override { setDebugTcore(0); }
};

void tracedMethod() { XQ_TRACE_METHOD("XQTest::Method()"); }

// A line shows from its level up; method lines from level 4; unconditional
// lines at any level.
TEST_F(TraceTest, LevelsMethodLinesAndUnconditionalLines) {
    setDebugTcore(3);
    CaptureStdout();
    tracedMethod();
    XQ_TRACE(4, "hidden " << 1);
    XQ_TRACE(3, "MsgLen = " << 42 << " " << std::wstring(L"wide"));
    XQ_TRACE_ALWAYS("XQMessageQ::Receive: mutex->Acquire != XQ_OK");
    setDebugTcore(4);
    tracedMethod();
    setDebugTcore(0);
    XQ_TRACE_ALWAYS("still written");
    const std::string out = GetCapturedStdout();
    const std::string stamp = "ts=\\d{4}/\\d{1,2}/\\d{1,2} \\d{1,2}:\\d{1,2}:\\d{1,2}: tid=\\d+: ";
    const std::string method = "method XQTest::Method\\(\\)\n";
    EXPECT_TRUE(std::regex_match(out, std::regex("tcore: " + stamp + "MsgLen = 42 wide\n"
                                                 "XQTrace: " + stamp +
                                                 "XQMessageQ::Receive: mutex->Acquire != XQ_OK\n"
                                                 "tcore: " + stamp + "enter " + method +
                                                 "tcore: " + stamp + "exit " + method +
                                                 "XQTrace: " + stamp + "still written\n")))
        << out;
}

TEST_F(TraceTest, DumpRowsRemainderAndHeaders) {
    const std::string caution =
        "Caution: the following is dumped character by character, in OS byte order\n";
    // 32 bytes: one full row in words, then a 16-byte remainder.
    std::string text;
    for (int i = 0; i < 32; ++i) text += static_cast<char>('A' + i % 26);
    CaptureStdout();
    trace(text.data(), 32, "Title", "Sub");
    EXPECT_EQ(GetCapturedStdout(),
              "Title: \nSub\n00000000 44434241 48474645 4C4B4A49 504F4E4D  - ABCDEFGHIJKLMNOP\n" +
                  caution + "00000010 51525354 55565758 595A4142 43444546   - QRSTUVWXYZABCDEF\n");
    // Control and high bytes show as dots; a process id heads the dump.
    const char odd[6] = {'a', '\t', static_cast<char>(0x80), static_cast<char>(0xFF), ' ', '~'};
    CaptureStdout();
    trace(odd, 6, 4711, "T");
    EXPECT_EQ(GetCapturedStdout(),
              "--------------------- From Process id 4711---------------------\nT\n" + caution +
                  "00000000 610980FF 207E" + std::string(20, ' ') + "  - a... ~\n");
}

// The rows are those of the dump above; an empty buffer has none.
TEST_F(TraceTest, HexTraceHeader) {
    CaptureStdout();
    hexTrace("", 0, 321, "Dump");
    EXPECT_EQ(GetCapturedStdout(),
              "tcore: tid=321: enter method vmglobal::hexTrace():Dump\nBuffer length = 0\n");
}

TEST_F(TraceTest, XqdFamily) {
    XQRC ok(0, 0, XQRC::WhsSrv);
    XQRC bad(6105, 111, XQRC::Windows);
    bad.systemMessage = L"Connection refused";
    bad.methodName = L"XQSocket::Send";
    bad.executableName = L"kernel";
    CaptureStdout();
    trace(TRACE_ENTER, "open", ok, "extra");
    trace(TRACE_EXIT, "open", ok);
    trace(TRACE_CALL, "connect", bad);
    trace(TRACE_TEXT, "hello", ok, "ctx");
    trace(TRACE_TEXT, "plain", ok);
    trace(static_cast<TRACE_TYPE>(9), "nothing", ok);
    std::string out = GetCapturedStdout();
    std::string p = "xqd  : ts=[0-9/: ]+: tid=\\d+";
    const std::string expected = p + ": ENTER: open -- extra\n" + p + ": EXIT : open, rc = 0\n" +
                                 p + ": CALL : connect, rc = 6105\nSecondary Code  = 111\n"
                                 "System Message  = Connection refused\n"
                                 "Method Name     = XQSocket::Send\nExecutable Name = kernel\n" +
                                 p + ": ctx: hello\n" + p + ": plain\n";
    EXPECT_TRUE(std::regex_match(out, std::regex(expected))) << out;
}

TEST_F(TraceTest, NameValueLines) {
    CaptureStdout();
    trace("count", 5L, "size", 0UL);
    trace("count", -5L, "size", 7UL);
    EXPECT_EQ(GetCapturedStdout(), "count: 5\ncount: -5, size: 7\n");
}

TEST_F(TraceTest, ConnectStringMasking) {
    const struct {
        const wchar_t* in;
        const char* out;
    } cases[] = {  // the fuzz target checks every reading masks; these pin what stays
        {L"DSN=ctl;pwd=Secret9;UID=me", "DSN=ctl;pwd=XxxxxxN;UID=me"},
        // Every one, in any order.
        {L"PASSWD=aa;PWD=bb;passwd=CC;pwd=dd", "PASSWD=xx;PWD=xx;passwd=XX;pwd=xx"},
        // Braces quote a value holding ";" ("}}" is a brace inside it).
        {L"PWD={pa;ss};UID=u", "PWD={xx-xx};UID=u"},
        {L"PWD={a}}b;c};UID=u", "PWD={x--x-x};UID=u"},
        {L"PWD=\"q;w\";UID=u", "PWD=\"x-x\";UID=u"},
        {L"PWD=\"ab\" x;UID=u", "PWD=\"xx\"-x;UID=u"},  // and what follows the quote up to ";"
        {L"PWD=ab cd", "PWD=xx-xx"},                       // a blank belongs to the value
        {L"DSN={PWD=a;b};PWD=c", "DSN={PWD=x;b};PWD=x"},   // a keyword inside a value counts too
    };
    for (const auto& c : cases) EXPECT_EQ(printConnectStr(c.in), c.out) << xqToMultibyte(c.in);
}

TEST_F(TraceTest, LogDirectoryChoice) {
    TempDir dir;
    for (const std::string& setting : {dir.path(), dir.path() + "/"}) {
        setenv("XQS_LOGGING", setting.c_str(), 1);
        EXPECT_EQ(setupLogDir(), xqFromMultibyte(dir.path() + "/"));
    }
    setenv("XQS_LOGGING", "/nonexistent/tcore/dir", 1);
    XQSTRING fallback = setupLogDir();
    EXPECT_TRUE(fallback == L"/var/ORV/" || fallback == L"/tmp/");
    unsetenv("XQS_LOGGING");
}

TEST_F(TraceTest, LinesFromManyThreadsStayWhole) {
    setDebugTcore(3);
    CaptureStdout();
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) XQ_TRACE(3, "thread " << t << " line " << i << " end");
        });
    for (auto& th : threads) th.join();
    setDebugTcore(0);
    std::string out = GetCapturedStdout();
    std::regex line("tcore: ts=[0-9/: ]+: tid=\\d+: thread \\d line \\d+ end");
    std::istringstream lines(out);
    size_t count = 0;
    for (std::string text; std::getline(lines, text); ++count)
        ASSERT_TRUE(std::regex_match(text, line)) << text;
    EXPECT_EQ(count, 1600u);
}

}  // namespace

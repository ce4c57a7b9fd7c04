// The printouts of every message kind in its three forms (a file, standard
// output through stdio, the "COUT" stream), against the expected texts in
// tests/data/print/, and the dumps that DebugFlags 3 writes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "support/ChildProcess.h"
#include "support/MessageTestSupport.h"

namespace {

namespace fs = std::filesystem;

std::string expected(const std::string& name) {
    const char* dir = std::getenv("TCORE_SOURCE_DIR");
    auto text = readWholeFile(std::string(dir ? dir : ".") + "/tests/data/print/" + name);
    EXPECT_FALSE(text.empty()) << name;
    return text;
}

// A fresh directory as the current one for the object's life: dumps land there.
class TempCwd {
  public:
    TempCwd() : old_(fs::current_path()) { fs::current_path(dir_.path()); }
    ~TempCwd() { fs::current_path(old_); }
    std::string read(const char* name) const { return readWholeFile(dir_.path() + "/" + name); }

  private:
    TempDir dir_;
    fs::path old_;
};

std::string captured(const std::function<void()>& print) {
    testing::internal::CaptureStdout();
    print();
    return testing::internal::GetCapturedStdout();
}

// Every member a value of its own, and the secrets the printouts must hide.
template <class M>
void fillRandom(M& m, uint32_t seed) {
    MessageRandom values(seed);
    values.countUp();
    values.fill(m);
    m.SQLStmt2 = L"DSN=x;UID=u;PWD=Secre9;";
}

void fillBase(XQBaseMessage& m) { fillRandom(m, 1); }

void fillAgent(XQAgentMessage& m) {
    fillRandom(m, 2);
    m.SetSourceDBConnectString(L"DSN=SRCDB;UID=u1;PWD=Src0pw;");
    m.SetTargetDBConnectString(L"DSN=TGT;PASSWD=qzv;PWD=Tg1;");
    m.SetSourceDBPassword(L"Sec1re");
    m.SetTargetDBPassword(L"Tar9et");
    m.SetAgentPassword(L"secre1");
    m.CaptureSchemaList = {L"not printed"};
}

void fillKernel(XQKernelMessage& m) {
    fillRandom(m, 3);
    m.ScheduleMode = 0;
    m.AgentPassword = L"Kern3l";
}

void fillLog(XQLogMessage& m) {
    fillRandom(m, 4);
    m.SetCLType(L"not printed");
}

struct Kind {
    const char* name;
    std::function<std::unique_ptr<XQBaseMessage>()> make;
};

template <class M>
Kind kind(const char* name, void (*fill)(M&)) {
    return {name, [fill] {
                auto m = std::make_unique<M>();
                fill(*m);
                return std::unique_ptr<XQBaseMessage>(std::move(m));
            }};
}

const Kind kKinds[] = {kind<XQBaseMessage>("base", fillBase), kind<XQAgentMessage>("agent", fillAgent),
                       kind<XQKernelMessage>("kernel", fillKernel), kind<XQLogMessage>("log", fillLog)};

void expectNoSecrets(const std::string& text) {
    for (const char* s : {"Secre9", "Src0pw", "Tg1", "qzv", "Sec1re", "Tar9et", "secre1", "Kern3l", "not printed"})
        EXPECT_EQ(text.find(s), std::string::npos) << s << " printed";
}

class MessagePrint : public testing::TestWithParam<Kind> {
  protected:
    // Timestamps print in local time.
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    TempCwd dir_;
};

TEST_P(MessagePrint, FileStdoutAndStreamForms) {
    const std::string name = GetParam().name;
    auto m = GetParam().make();
    const std::string file = expected(name + ".txt");
    m->Print(L"print.txt");
    EXPECT_EQ(dir_.read("print.txt"), file);
    m->Print(L"print.txt");  // appended
    EXPECT_EQ(dir_.read("print.txt"), file + file);
    const std::string plain = captured([&] { m->Print(L""); });
    EXPECT_EQ(plain, file);

    if (auto* k = dynamic_cast<XQKernelMessage*>(m.get())) k->ScheduleMode = 1;
    const std::string stream = captured([&] { m->Print(L"COUT"); });
    EXPECT_EQ(stream, expected(name + ".cout.txt"));
    // The log part has no stream form: it goes to a file named "COUT".
    if (name == "log") {
        EXPECT_EQ(dir_.read("COUT"), expected("log.part.txt"));
    }
    expectNoSecrets(plain + stream + dir_.read("print.txt"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, MessagePrint, testing::ValuesIn(kKinds),
                         [](const testing::TestParamInfo<Kind>& k) { return std::string(k.param.name); });

TEST(MessagePrintFile, UnopenableFileWritesNothing) {
    XQAgentMessage m;
    EXPECT_EQ(captured([&] { m.Print(L"/nonexistent-dir/x/print.txt"); }), "");
}

TEST(MessageDumps, DebugFlagsThreeDumpsIntoTheLogFile) {
    TempCwd dir;
    XQAgentMessage m;
    fillAgent(m);
    m.DebugFlags = 3;
    PackedMessage p = packWhole(m);
    // The dumps are the printout (checked above) of the message as packed.
    m.Print(L"print.txt");
    const std::string printed = dir.read("print.txt");
    std::string dump;
    for (int i = 0; i < 2; ++i)  // packWhole packs twice
        dump += ">>>>>> Dumping base message after pack:\n" + printed + ">>>> Dumping agent message after pack: \n" +
                printed;
    EXPECT_EQ(dir.read("ORV2LOGC.LOG"), dump);

    XQAgentMessage r;
    ASSERT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    const std::string all = dir.read("ORV2LOGC.LOG");
    EXPECT_NE(all.find(">>>> Dumping base message from unpack:\n", dump.size()), std::string::npos);
    const std::string tail = ">>>> Dumping agent message after unpack: \n" + printed;
    ASSERT_GE(all.size(), tail.size());
    EXPECT_EQ(all.substr(all.size() - tail.size()), tail);
    expectNoSecrets(all);

    XQKernelMessage k;
    k.DebugFlags = 4;
    packWhole(k);
    EXPECT_NE(dir.read("ORV2LOGC.LOG").find(">>>>>> Dumping kernel message after pack:\n"),
              std::string::npos);
}

}  // namespace

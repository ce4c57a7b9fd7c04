// The printouts of every message kind in its three forms (a file, standard
// output through stdio, the "COUT" stream), against the expected texts in
// tests/data/print/, and the dumps that DebugFlags 3 writes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "support/MessageTestSupport.h"

namespace {

std::string expected(const std::string& name) {
    const char* dir = std::getenv("TCORE_SOURCE_DIR");
    std::ifstream in(std::string(dir ? dir : ".") + "/tests/data/print/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The first differing line, for a readable failure.
std::string firstDifference(const std::string& actual, const std::string& wanted) {
    const auto a = splitLines(actual), w = splitLines(wanted);
    for (size_t i = 0; i < a.size() && i < w.size(); ++i)
        if (a[i] != w[i]) return "line " + std::to_string(i + 1) + ": [" + a[i] + "] != [" + w[i] + "]";
    return a.size() == w.size() ? "" : "lines " + std::to_string(a.size()) + " != " + std::to_string(w.size());
}

std::string captured(const std::function<void()>& print) {
    testing::internal::CaptureStdout();
    print();
    return testing::internal::GetCapturedStdout();
}

void fillBase(XQBaseMessage& m) {
    m.MessageID = 42;
    m.OriginQueueName = L"KQ";
    m.OriginQueueHost = L"khost";
    m.OriginQueuePort = 5001;
    m.OriginInetAddr = L"10.1.2.3";
    m.DestQueueName = L"AQ";
    m.DestQueueHost = L"ahost";
    m.DestQueuePort = 5002;
    m.ReplyNeeded = 0;
    m.Command = 22;
    m.SubCommand = 19;
    m.TransmitTS.set_Stamp(1000000000);
    m.BVName = L"BV1";
    m.BENumber = 7;
    m.ReturnCode = XQRC(9147, 6105, XQRC::WhsSrv);
    m.ReturnCode.methodName = L"M";
    m.ReturnCode.executableName = L"E";
    m.ReturnCode.systemMessage = L"S";
    m.ReturnCode.comment = L"C";
    m.ReturnCode.hostName = L"H";
    m.FilterFlag = 2;
    m.SQLStmt1 = L"select 1";
    m.SQLStmt2 = L"DSN=x;UID=u;PWD=Secre9;";
    m.RowsRequested = 10;
    m.RowsReceived = 1;
    m.ColAttrList.resize(2);
    m.ResultSet.resize(1);
    m.CommitFlag = 1;
    m.BONameList.resize(1);
    m.BONodeList.resize(2);
    m.LPZDataList.resize(3);
}

// The printed messages are filled through the public setters where there are
// some, as programs fill them.
void fillAgent(XQAgentMessage& m) {
    fillBase(m);
    m.BERowCountSoFar = 11;
    m.BEByteCountSoFar = 12;
    m.BEInsertDone = 1;
    m.StatusMsg = L"status";
    m.SourceFileName = L"src.txt";
    m.SourceBinaryFlag = 1;
    m.SourceFTPServer = L"ftp";
    m.SourceMountString = L"mstr";
    m.SourceMountPoint = L"/mnt";
    m.SetSourceDBName(L"SRCDB");
    m.SetSourceDBConnectString(L"DSN=SRCDB;UID=u1;PWD=Src0pw;");
    m.SetSourceDBType(4);
    m.SetSourceDBVersion(L"v1");
    m.SetSourceDBUserid(L"u1");
    m.SetSourceDBPassword(L"Sec1re");
    m.SetSourceDBCodePage(1208);
    m.SetSourceDBMSServerName(L"srcsrv");
    m.SetTargetDBConnectString(L"DSN=TGT;PASSWD=qzv;PWD=Tg1;");
    m.SetTargetDBName(L"TGTDB");
    m.SetTargetDBType(5);
    m.SetTargetDBVersion(L"v2");
    m.SetTargetDBUserid(L"u2");
    m.SetTargetDBPassword(L"Tar9et");
    m.SetTargetDBCodePage(850);
    m.SetTargetDBMSServerName(L"tgtsrv");
    m.SetControlDBQualifier(L"IWH");
    m.SetDataRequiredFlag(1);
    m.SetSourceFetchCount(100);
    m.SetUDPName(L"udp");
    m.SetUDPFunction(L"fn");
    m.SetUDPArgs(L"-a");
    m.SetSystemCommand(L"ls");
    m.SetEditionToDelete(9);
    m.SetProcessId(4321);
    m.SetAgentModuleName(L"agent.so");
    m.SetAgentPath(L"/opt/agent");
    m.SetAgentArguments(L"-x");
    m.SetAgentUserid(L"agentuser");
    m.SetAgentPassword(L"secre1");
    m.InputDataList.resize(1);
    m.OutputDataList.resize(2);
    m.TableList.resize(3);
    m.DPropTableList.resize(4);
    m.PrimaryKeyList.resize(5);
    m.ForeignKeyList.resize(6);
    m.FlatFileType = 7;
    m.FlatFileFlag = 8;
    m.SetDefaultDelimiter(L",");
    m.SetXfCreateType(2);
    m.CaptureSchemaList = {L"not printed"};
}

void fillKernel(XQKernelMessage& m) {
    fillBase(m);
    m.InformationResource = L"IR1";
    m.AliasName = L"alias";
    m.TableList.resize(1);
    m.IRColumnList.resize(2);
    m.IRPrimaryKeyList.resize(3);
    m.IRForeignKeyList.resize(4);
    m.RowCount = 5;
    m.ByteCount = 6;
    m.RowLimit = 7;
    m.ScheduleMode = 0;
    m.Userid = L"kuser";
    m.AgentPassword = L"Kern3l";
    m.ControlDBQualifier = L"IWH";
    m.ControlDatabaseID = L"CTL";
    m.ConfigParmList.resize(8);
    m.DatabaseRelease = L"11";
    m.ParentID = L"P1";
    m.ParentBVEdition = 9;
    m.SelectFlag = 5;
    m.InformationResourceID = L"IRID";
    m.DataResourceID = L"DRID";
    m.DPTableList.resize(10);
    m.DefaultDelimiter = L";";
    m.IsRequestFromExternalTrigger = 0;
    m.TransformerCreateType = 11;
    m.CaptureSchemaList.resize(12);
    m.ProcessStepEdition = 13;
}

void fillLog(XQLogMessage& m) {
    fillBase(m);
    m.LogMessageType = 1;
    m.EventID = -5;
    m.EventMessage = L"evt";
    m.BuildUser = L"bu";
    m.BuildAction = L"ba";
    m.BuildSubAction = L"bsa";
    m.BuildObjectType = L"TYPE";
    m.BuildObjectName = L"NAME";
    m.BuildMessage = L"bm";
    m.SetJobSource(L"js");
    m.SetCLCommand(L"clc");
    m.SetTreeLeafCount(1);
    m.SetTreeLevelCount(2);
    m.SetTreeRetryCount(3);
    m.SetTreeRetryDelay(4);
    m.SetCLType(L"not printed");
    m.SetSourceDBType(L"DB2");
    m.SetSourceDBName(L"SDB");
    m.SetTargetDBType(L"ORA");
    m.SetTargetDBName(L"TDB");
    m.SetCLSubCommand(L"sub");
    m.SetBERowCountSoFar(100);
    m.SetBEByteCountSoFar(2000);
    m.SetCLStepTime(30);
    m.SetCLTotalTime(40);
    m.ExecTS.set_Stamp(1100000000);
    m.SetStepGroupType(6);
    m.SetProcessName(L"proc");
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

void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }

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
    EXPECT_EQ(firstDifference(dir_.read("print.txt"), file), "");
    m->Print(L"print.txt");  // appended
    EXPECT_EQ(firstDifference(dir_.read("print.txt"), file + file), "");
    const std::string plain = captured([&] { m->Print(L""); });
    EXPECT_EQ(firstDifference(plain, file), "");

    if (auto* k = dynamic_cast<XQKernelMessage*>(m.get())) k->ScheduleMode = 1;
    const std::string stream = captured([&] { m->Print(L"COUT"); });
    EXPECT_EQ(firstDifference(stream, expected(name + ".cout.txt")), "");
    // The log part has no stream form: it goes to a file named "COUT".
    if (name == "log") {
        EXPECT_EQ(firstDifference(dir_.read("COUT"), expected("log.part.txt")), "");
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
    EXPECT_EQ(firstDifference(dir.read("ORV2LOGC.LOG"), dump), "");

    // The base part's dump comes before the agent part is read: its agent
    // block shows what the receiver held so far.
    XQAgentMessage r;
    ASSERT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    const std::string all = dir.read("ORV2LOGC.LOG");
    const std::string base = printed.substr(0, printed.find("======>>>>>> START AGENT"));
    const std::string unpacked = ">>>> Dumping base message from unpack:\n" + base;
    EXPECT_EQ(all.compare(dump.size(), unpacked.size(), unpacked), 0) << all.substr(dump.size());
    const std::string tail = ">>>> Dumping agent message after unpack: \n" + printed;
    ASSERT_GE(all.size(), tail.size());
    EXPECT_EQ(firstDifference(all.substr(all.size() - tail.size()), tail), "");
    expectNoSecrets(all);

    XQKernelMessage k;
    k.DebugFlags = 4;
    k.ReleaseLevel = L"8.1.0";
    packWhole(k);
    XQLogMessage l;
    l.DebugFlags = 3;
    const std::string before = dir.read("ORV2LOGC.LOG");
    PackedMessage lp = packWhole(l);
    XQLogMessage().UnpackMessageBounded(lp.bytes.data(), lp.bytes.size());
    EXPECT_EQ(dir.read("ORV2LOGC.LOG").find(">>>> Dumping WIP", before.size()), std::string::npos)
        << "the log part writes no dump";
    EXPECT_NE(before.find(">>>>>> Dumping kernel message after pack:\n"), std::string::npos);
}

}  // namespace

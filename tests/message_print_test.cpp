#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "support/MessageTestSupport.h"

namespace {

const char* const kBaseStart = "======>>>>>>> START of BASE Message Class <<<<<<======";
const char* const kBaseEnd = "======>>>>>>> END of BASE Message Class <<<<<<======";

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
    m.ReturnCode.code = 9147;
    m.ReturnCode.secondaryCode = 6105;
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

std::string ts(const TimeStamp& t) { return xqToMultibyte(t.toString()); }

// The base block in the stdio form; the stream form is derived from it below.
std::vector<std::string> baseLines(const XQBaseMessage& m, bool cout) {
    std::vector<std::string> lines = {
        "        Character Type : 1",
        "             MessageID : 42",
        "         Release Level : 8.1.0",
        "          Message Type : " + std::to_string(static_cast<int>(m.MessageType)),
        "     Origin Queue Name : KQ",
        "     Origin Queue Host : khost",
        "     Origin Queue Port : 5001",
        "      Origin Inet Addr : " + xqToMultibyte(m.OriginInetAddr),
        "Destination Queue Name : AQ",
        "Destination Queue Host : ahost",
        "Destination Queue Port : 5002",
        "            Is Request : 1",
        "          Reply Needed : 0",
        "               Command : 22",
        "           Sub Command : 19",
        "           Debug Flags : " + std::to_string(m.DebugFlags),
        "           Transmit TS : " + ts(m.TransmitTS),
        "               BV Name : BV1",
        "             BE Number : 7",
        "             XQRC code : 9147",
        "   XQRC secondary code : 6105",
        "   XQRC is warning flg : 0",
        "           XQRC Domain : 3",
        "      XQRC Method Name : M",
        "  XQRC Executable Name : E",
        "   XQRC System Message : S",
        "          XQRC Comment : C",
        "        XQRC Host Name : H",
        "           Filter Flag : 2",
        "              SQLStmt1 : select 1",
        "              SQLStmt2 : DSN=x;UID=u;PWD=XxxxxN;",
        "   Data Rows Requested : 10",
        "    Data Rows Received : 1",
        "  Number Of DV Columns : 2",
        "Number Of DV Result Rows : 1",
        "           Commit Flag : 1",
        "Number Of SAP BO names : 1",
        "Number Of SAP Business Objects : 2",
        "Number Of LPZ Data Imports : 3"};
    if (cout) {
        lines.erase(lines.begin() + 7);
        lines.insert(lines.begin() + 10, "   Origin Inet address : " + xqToMultibyte(m.OriginInetAddr));
        lines[19] = "             XQRC Code : 9147";
        lines[20] = "   XQRC Secondary Code : 6105";
        lines[21] = "   XQRC Is Warning Flg : 0";
        for (auto& l : lines) l = "\t" + l;
    }
    lines.insert(lines.begin(), std::string(cout ? "\t" : "") + kBaseStart);
    lines.push_back(std::string(cout ? "\t" : "") + kBaseEnd);
    return lines;
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The first line where two printouts differ, for the failure message.
std::string firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return "line " + std::to_string(i) + ": [" + a[i] + "] != [" + b[i] + "]";
    return a.size() == b.size() ? "" : "lengths " + std::to_string(a.size()) + " != " + std::to_string(b.size());
}

#define EXPECT_LINES(actual, expected)                 \
    do {                                               \
        auto a_ = (actual);                            \
        auto e_ = (expected);                          \
        EXPECT_EQ(firstDifference(a_, e_), "");        \
    } while (0)

// Lines of a printout; the text must end with a line feed.
std::vector<std::string> linesOf(const std::string& text) {
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    auto lines = splitLines(text);
    lines.pop_back();
    return lines;
}

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
    m.SourceDBName = L"SRCDB";
    m.SourceDBConnectString = L"DSN=SRCDB;UID=u1;PWD=Src0pw;";
    m.SourceDBType = 4;
    m.SourceDBVersion = L"v1";
    m.SourceDBUserid = L"u1";
    m.SourceDBPassword = L"Sec1re";
    m.SourceDBCodePage = 1208;
    m.SourceDBMSServerName = L"srcsrv";
    m.TargetDBConnectString = L"DSN=TGT;PASSWD=qzv;PWD=Tg1;";
    m.TargetDBName = L"TGTDB";
    m.TargetDBType = 5;
    m.TargetDBVersion = L"v2";
    m.TargetDBUserid = L"u2";
    m.TargetDBPassword = L"Tar9et";
    m.TargetDBCodePage = 850;
    m.TargetDBMSServerName = L"tgtsrv";
    m.ControlDBQualifier = L"IWH";
    m.DataRequiredFlag = 1;
    m.SourceFetchCount = 100;
    m.UDPName = L"udp";
    m.UDPFunction = L"fn";
    m.UDPArgs = L"-a";
    m.SystemCommand = L"ls";
    m.EditionToDelete = 9;
    m.ProcessId = 4321;
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
    m.DefaultDelimiter = L",";
    m.XfCreateType = 2;
    m.CaptureSchemaList = {L"not printed"};
}

std::vector<std::string> agentLines(bool cout) {
    std::vector<std::string> lines = {
        "      BERowCountSoFar : 11",
        "     BEByteCountSoFar : 12",
        "         BEInsertDone : 1",
        "            StatusMsg : status",
        "       SourceFileName : src.txt",
        "     SourceBinaryFlag : 1",
        "      SourceFTPServer : ftp",
        "    SourceMountString : mstr",
        "     SourceMountPoint : /mnt",
        "         SourceDBName : SRCDB",
        "SourceDBConnectString : DSN=SRCDB;UID=u1;PWD=XxxNxx;",
        "         SourceDBType : 4",
        "      SourceDBVersion : v1",
        "       SourceDBUserid : u1",
        "     SourceDBPassword : XxxNxx",
        "     SourceDBCodePage : 1208",
        " SourceDBMSServerName : srcsrv",
        "TargetDBConnectString : DSN=TGT;PASSWD=xxx;PWD=XxN;",
        "         TargetDBName : TGTDB",
        "         TargetDBType : 5",
        "      TargetDBVersion : v2",
        "       TargetDBUserid : u2",
        "     TargetDBPassword : XxxNxx",
        "     TargetDBCodePage : 850",
        " TargetDBMSServerName : tgtsrv",
        "   ControlDBQualifier : IWH",
        "   Data Required Flag : 1",
        "     SourceFetchCount : 100",
        "              UDPName : udp",
        "          UDPFunction : fn",
        "              UDPType : 3",
        "              UDPArgs : -a",
        "       System Command : ls",
        "      EditionToDelete : 9",
        "           Process Id : 4321",
        "    Agent Module Name : agent.so",
        "                   Agent Path : /opt/agent",
        "      Agent Arguments : -x",
        "             Agent Userid : agentuser",
        "       Agent Password : xxxxxN",
        " Input Data List Entries : 1",
        "Output Data List Entries : 2",
        "      Table List Entries : 3",
        "DProp Table List Entries : 4",
        "Primary Key List Entries : 5",
        "Foreign Key List Entries : 6",
        "          Flat File Type : 7",
        "          Flat File Flag : 8",
        "       Default Delimiter : ,",
        " Transformer Create Type : 2"};
    if (cout) {
        for (auto& l : lines) l = "\t" + l;
        lines[36] = "\t         Agent Path   : /opt/agent";
        lines[38] = "\t       Agent Userid   : agentuser";
    }
    std::string tab = cout ? "\t" : "";
    lines.insert(lines.begin(), tab + "======>>>>>> START AGENT Message Class <<<<<<======");
    lines.push_back(tab + "======>>>>>> END AGENT Message Class <<<<<<======");
    return lines;
}

const char* const kSecrets[] = {"Secre9", "Src0pw", "Tg1", "qzv", "Sec1re", "Tar9et", "secre1", "Kern3l"};

void expectNoSecrets(const std::string& text) {
    for (const char* s : kSecrets) EXPECT_EQ(text.find(s), std::string::npos) << s << " in clear";
}

}  // namespace

TEST(MessagePrint, BaseMessageInAllThreeForms) {
    TempCwd dir;
    XQBaseMessage m;
    fillBase(m);
    m.Print(L"base.txt");
    EXPECT_LINES(linesOf(dir.read("base.txt")), baseLines(m, false));
    m.Print(L"base.txt");  // appended
    EXPECT_LINES(linesOf(dir.read("base.txt")), concat(baseLines(m, false), baseLines(m, false)));

    testing::internal::CaptureStdout();
    m.Print(L"");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_LINES(linesOf(out), baseLines(m, false));

    testing::internal::CaptureStdout();
    m.Print(L"COUT");
    out = testing::internal::GetCapturedStdout();
    EXPECT_LINES(linesOf(out), baseLines(m, true));
    expectNoSecrets(out + dir.read("base.txt"));
}

TEST(MessagePrint, UnopenableFileWritesNothing) {
    XQAgentMessage m;
    testing::internal::CaptureStdout();
    m.Print(L"/nonexistent-dir/x/print.txt");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(MessagePrint, AgentMessageMasksPasswordsAndConnectStrings) {
    TempCwd dir;
    XQAgentMessage m;
    fillAgent(m);
    m.Print(L"agent.txt");
    std::string file = dir.read("agent.txt");
    EXPECT_LINES(linesOf(file), concat(baseLines(m, false), agentLines(false)));

    testing::internal::CaptureStdout();
    m.Print(L"COUT");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_LINES(linesOf(out), concat(baseLines(m, true), agentLines(true)));

    testing::internal::CaptureStdout();
    m.Print(L"");
    std::string plain = testing::internal::GetCapturedStdout();
    EXPECT_EQ(plain, file);
    expectNoSecrets(file + out);
}

TEST(MessagePrint, KernelMessage) {
    TempCwd dir;
    XQKernelMessage m;
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
    std::vector<std::string> kernel = {
        "======>>>>>> START KERNEL Message Class <<<<<<======",
        " Information Resource : IR1",
        "           Alias Name : alias",
        " Control DB Qualifier : IWH",
        "   Table List Entries : 1",
        "DP Table List Entries : 10",
        "    IR Column Entries : 2",
        "IR Primary Key Entries : 3",
        "IR Foreign Key Entries : 4",
        "            Row Count : 5",
        "           Byte Count : 6",
        "            Row Limit : 7",
        "               Userid : kuser",
        "       Agent Password : XxxxNx",
        " Control DB Qualifier : IWH",
        "  Control Database ID : CTL",
        "  Config Parm Entries : 8",
        "     Database Release : 11",
        "             parentID : P1",
        "    Parent BV Edition : 9",
        "          Select Flag : TRUE",
        " Information Resource ID : IRID",
        "     Data Resource ID : DRID",
        "        Schedule Mode : Automatic",
        "    Default Delimiter : ;",
        " Is request from External Trigger : FALSE",
        "Transformer create type : 11",
        "Cap Schemas List Entries : 12",
        "    Process Step Edition : 13",
        "======>>>>>> END KERNEL Message Class <<<<<<======"};
    m.Print(L"kernel.txt");
    std::string file = dir.read("kernel.txt");
    EXPECT_LINES(linesOf(file), concat(baseLines(m, false), kernel));

    std::vector<std::string> stream = kernel;
    for (auto& l : stream) l = "\t" + l;
    stream[1] = "\tInformation Resource : IR1";
    stream[18] = "\t            Parent ID : P1";
    stream[19] = "\t      ParentBVEdition : 9";
    stream[20] = "\t        Select Flag : TRUE";
    stream[21] = "\tInformation Resource ID : IRID";
    stream[25] = "\tIs Request From External Trigger : FALSE";
    stream[27] = "\tCap Schema List Entries : 12";
    stream[28] = "\t     ProcessStepEdition : 13";
    testing::internal::CaptureStdout();
    m.ScheduleMode = 1;
    m.Print(L"COUT");
    std::string out = testing::internal::GetCapturedStdout();
    stream[23] = "\t        Schedule Mode : Manual";
    EXPECT_LINES(linesOf(out), concat(baseLines(m, true), stream));
    expectNoSecrets(file + out);
}

TEST(MessagePrint, LogMessageHasNoStreamForm) {
    TempCwd dir;
    XQLogMessage m;
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
    m.JobSource = L"js";
    m.CLCommand = L"clc";
    m.TreeLeafCount = 1;
    m.TreeLevelCount = 2;
    m.TreeRetryCount = 3;
    m.TreeRetryDelay = 4;
    m.CLType = L"not printed";
    m.SourceDBType = L"DB2";
    m.SourceDBName = L"SDB";
    m.TargetDBType = L"ORA";
    m.TargetDBName = L"TDB";
    m.CLSubCommand = L"sub";
    m.BERowCountSoFar = 100;
    m.BEByteCountSoFar = 2000;
    m.CLStepTime = 30;
    m.CLTotalTime = 40;
    m.ExecTS.set_Stamp(1100000000);
    m.StepGroupType = 6;
    m.ProcessName = L"proc";
    std::vector<std::string> log = {
        "      Log Message Type : 1",
        "         Log Is Update : 0",
        "              Event ID : -5",
        "         Event Message : evt",
        "            Build User : bu",
        "          Build Action : ba",
        "      Build Sub Action : bsa",
        "     Build Object Type : TYPE",
        "     Build Object Name : NAME",
        "         Build Message : bm",
        "            Job Source : js",
        "            CL Command : clc",
        "       Tree Leaf Count : 1",
        "      Tree Level Count : 2",
        "      Tree Retry Count : 3",
        "      Tree Retry Delay : 4",
        "        Source DB Type : DB2",
        "        Source DB Name : SDB",
        "        Target DB Type : ORA",
        "        Target DB Name : TDB",
        "        CL Sub Command : sub",
        "   BE Row Count So Far : 100",
        "  BE Byte Count So Far : 2000",
        "          CL Step Time : 30",
        "         CL Total Time : 40",
        "               Exec TS : " + ts(m.ExecTS),
        "       Step Group Type : 6",
        "          Process Name : proc"};
    log.insert(log.begin(), "======>>>>>> START LOG Message Class <<<<<<======");
    log.push_back("======>>>>>> END LOG Message Class <<<<<<======");

    m.Print(L"log.txt");
    EXPECT_LINES(linesOf(dir.read("log.txt")), concat(baseLines(m, false), log));

    testing::internal::CaptureStdout();
    m.Print(L"COUT");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_LINES(linesOf(out), baseLines(m, true));
    EXPECT_LINES(linesOf(dir.read("COUT")), log);
    EXPECT_EQ(out.find("not printed"), std::string::npos);
}

TEST(MessageDumps, DebugFlagsThreeDumpsIntoTheLogFile) {
    TempCwd dir;
    XQAgentMessage m;
    fillAgent(m);
    m.DebugFlags = 3;
    PackedMessage p = packWhole(m);
    std::string packDump = dir.read("ORV2LOGC.LOG");
    std::vector<std::string> one = concat(baseLines(m, false), agentLines(false));
    std::vector<std::string> expected;
    for (int i = 0; i < 2; ++i) {  // packWhole packs twice
        expected.push_back(">>>>>> Dumping base message after pack:");
        expected = concat(expected, one);
        expected.push_back(">>>> Dumping agent message after pack: ");
        expected = concat(expected, one);
    }
    EXPECT_LINES(linesOf(packDump), expected);

    XQAgentMessage r;
    ASSERT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    // The base part's dump comes before the agent part is read: the agent
    // block there shows what the receiver held so far.
    std::vector<std::string> all = linesOf(dir.read("ORV2LOGC.LOG"));
    std::vector<std::string> base = baseLines(m, false);
    ASSERT_EQ(all.size(), expected.size() + 1 + one.size() + 1 + one.size());
    EXPECT_EQ(all[expected.size()], ">>>> Dumping base message from unpack:");
    EXPECT_LINES(std::vector<std::string>(all.begin() + expected.size() + 1,
                                          all.begin() + expected.size() + 1 + base.size()),
                 base);
    std::vector<std::string> tail = {">>>> Dumping agent message after unpack: "};
    tail = concat(tail, one);
    EXPECT_LINES(std::vector<std::string>(all.end() - tail.size(), all.end()), tail);
    expectNoSecrets(dir.read("ORV2LOGC.LOG"));

    XQKernelMessage k;
    k.DebugFlags = 4;
    k.ReleaseLevel = L"8.1.0";
    packWhole(k);
    XQLogMessage l;
    l.DebugFlags = 3;
    std::string before = dir.read("ORV2LOGC.LOG");
    PackedMessage lp = packWhole(l);
    XQLogMessage lr;
    lr.UnpackMessageBounded(lp.bytes.data(), lp.bytes.size());
    std::string logDump = dir.read("ORV2LOGC.LOG").substr(before.size());
    EXPECT_EQ(logDump.find(">>>> Dumping WIP"), std::string::npos) << "the log part writes no dump";
    EXPECT_NE(before.find(">>>>>> Dumping kernel message after pack:\n"), std::string::npos);
}

#include "messages/XQAgentMessage.h"

#include <cstdio>
#include <string>
#include <utility>

#include "foundation/Trace.h"
#include "messages/FieldEncoding.h"
#include "messages/MessagePrinter.h"
#include "messages/XQFieldReader.h"

namespace {

std::string mb(const XQSTRING& s) { return xqToMultibyte(s); }

}  // namespace

XQAgentMessage::XQAgentMessage() { Reset(); }

XQAgentMessage::~XQAgentMessage() = default;

void XQAgentMessage::Reset() {
    BERowCountSoFar = 0;
    BEByteCountSoFar = 0;
    BEInsertDone = 0;
    StatusMsg.clear();
    SourceFileName.clear();
    SourceBinaryFlag = 0;
    SourceFTPServer.clear();
    SourceMountString.clear();
    SourceMountPoint.clear();
    SourceDBConnectString.clear();
    SourceDBName.clear();
    SourceDBType = 0;
    SourceDBVersion.clear();
    SourceDBUserid.clear();
    SourceDBPassword.clear();
    SourceDBCodePage = 0;
    TargetDBConnectString.clear();
    TargetDBName.clear();
    TargetDBType = 0;
    TargetDBVersion.clear();
    TargetDBUserid.clear();
    TargetDBPassword.clear();
    TargetDBCodePage = 0;
    ControlDBQualifier.clear();
    DataRequiredFlag = 0;
    SourceFetchCount = 0;
    UDPName.clear();
    UDPFunction.clear();
    UDPType = 3;
    UDPArgs.clear();
    SystemCommand.clear();
    EditionToDelete = 0;
    ProcessId = 0;
    AgentModuleName.clear();
    AgentPath.clear();
    AgentArguments.clear();
    AgentUserid.clear();
    AgentPassword.clear();
    InputDataList.clear();
    OutputDataList.clear();
    TableList.clear();
    DPropTableList.clear();
    PrimaryKeyList.clear();
    ForeignKeyList.clear();
    FlatFileType = 0;
    FlatFileFlag = 0;
    SourceDBMSServerName.clear();
    TargetDBMSServerName.clear();
    DefaultDelimiter.clear();
    XfCreateType = 0;
    CaptureSchemaList.clear();
    SetMessageType(XQAgentMsgType);
}

int XQAgentMessage::SetSourceDBConnectString(const XQSTRING& v) { SourceDBConnectString = v; return 1; }
int XQAgentMessage::SetSourceDBName(const XQSTRING& v) { SourceDBName = v; return 1; }
int XQAgentMessage::SetSourceDBType(sdbType v) { SourceDBType = v; return 1; }
int XQAgentMessage::SetSourceDBUserid(const XQSTRING& v) { SourceDBUserid = v; return 1; }
int XQAgentMessage::SetSourceDBVersion(const XQSTRING& v) { SourceDBVersion = v; return 1; }
int XQAgentMessage::SetSourceDBPassword(const XQSTRING& v) { SourceDBPassword = v; return 1; }
int XQAgentMessage::SetSourceDBCodePage(unsigned int v) { SourceDBCodePage = v; return 1; }
int XQAgentMessage::SetTargetDBConnectString(const XQSTRING& v) { TargetDBConnectString = v; return 1; }
int XQAgentMessage::SetTargetDBName(const XQSTRING& v) { TargetDBName = v; return 1; }
int XQAgentMessage::SetTargetDBType(sdbType v) { TargetDBType = v; return 1; }
int XQAgentMessage::SetTargetDBUserid(const XQSTRING& v) { TargetDBUserid = v; return 1; }
int XQAgentMessage::SetTargetDBVersion(const XQSTRING& v) { TargetDBVersion = v; return 1; }
int XQAgentMessage::SetTargetDBPassword(const XQSTRING& v) { TargetDBPassword = v; return 1; }
int XQAgentMessage::SetTargetDBCodePage(unsigned int v) { TargetDBCodePage = v; return 1; }
int XQAgentMessage::SetControlDBQualifier(const XQSTRING& v) { ControlDBQualifier = v; return 1; }
int XQAgentMessage::SetDataRequiredFlag(int v) { DataRequiredFlag = v; return 1; }
int XQAgentMessage::SetSourceFetchCount(unsigned int v) { SourceFetchCount = v; return 1; }
int XQAgentMessage::SetUDPName(const XQSTRING& v) { UDPName = v; return 1; }
int XQAgentMessage::SetUDPFunction(const XQSTRING& v) { UDPFunction = v; return 1; }
int XQAgentMessage::SetUDPType(ProgramType v) { UDPType = v; return 1; }
int XQAgentMessage::SetUDPArgs(const XQSTRING& v) { UDPArgs = v; return 1; }
int XQAgentMessage::SetSystemCommand(const XQSTRING& v) { SystemCommand = v; return 1; }
int XQAgentMessage::SetEditionToDelete(unsigned int v) { EditionToDelete = v; return 1; }
int XQAgentMessage::SetProcessId(unsigned int v) { ProcessId = v; return 1; }
int XQAgentMessage::SetAgentModuleName(XQSTRING v) { AgentModuleName = std::move(v); return 1; }
int XQAgentMessage::SetAgentPath(XQSTRING v) { AgentPath = std::move(v); return 1; }
int XQAgentMessage::SetAgentArguments(XQSTRING v) { AgentArguments = std::move(v); return 1; }
int XQAgentMessage::SetAgentUserid(XQSTRING v) { AgentUserid = std::move(v); return 1; }
int XQAgentMessage::SetAgentPassword(XQSTRING v) { AgentPassword = std::move(v); return 1; }
int XQAgentMessage::SetSourceDBMSServerName(const XQSTRING& v) { SourceDBMSServerName = v; return 1; }
int XQAgentMessage::SetTargetDBMSServerName(const XQSTRING& v) { TargetDBMSServerName = v; return 1; }
int XQAgentMessage::SetDefaultDelimiter(const XQSTRING& v) { DefaultDelimiter = v; return 1; }
int XQAgentMessage::SetXfCreateType(XfType v) { XfCreateType = v; return 1; }

XQRC XQAgentMessage::SetSelectEditionData(const XQSTRING& stmt, const std::vector<XQAttributeData>& cols) {
    InputDataList = cols;
    SQLStmt1 = stmt;
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQAgentMessage::GetSelectEditionData(XQSTRING& stmt, std::vector<XQAttributeData>& cols) const {
    stmt = SQLStmt1;
    cols = InputDataList;
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQAgentMessage::SetPrepareInsertStatementData(const XQSTRING& stmt, const std::vector<XQAttributeData>& cols) {
    OutputDataList = cols;
    SQLStmt1 = stmt;
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQAgentMessage::GetPrepareInsertStatementData(XQSTRING& stmt, std::vector<XQAttributeData>& cols) const {
    stmt = SQLStmt1;
    cols.insert(cols.end(), OutputDataList.begin(), OutputDataList.end());
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQAgentMessage::SetFetchAndInsertXData(const XQSTRING& stmt, const std::vector<XQAttributeData>& cols,
                                            int dataRequired, unsigned int fetchCount) {
    SetPrepareInsertStatementData(stmt, cols);
    DataRequiredFlag = dataRequired;
    SourceFetchCount = fetchCount;
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQAgentMessage::GetFetchAndInsertXData(XQSTRING& stmt, std::vector<XQAttributeData>& cols, int& dataRequired,
                                            unsigned int& fetchCount) const {
    stmt = SQLStmt1;
    dataRequired = DataRequiredFlag;
    fetchCount = SourceFetchCount;
    cols.insert(cols.end(), OutputDataList.begin(), OutputDataList.end());
    return XQRC(0, 0, XQRC::WhsSrv);
}

unsigned int XQAgentMessage::CalculateSize() {
    XQ_TRACE_METHOD("XQAgentMessage::CalculateSize()");
    unsigned long chars = 0;
    unsigned long size = 0;
    chars += NumberTextLength(BERowCountSoFar);
    chars += NumberTextLength(BEByteCountSoFar);
    chars += NumberTextLength(BEInsertDone);
    chars += StatusMsg.size();
    chars += SourceFileName.size();
    chars += NumberTextLength(SourceBinaryFlag);
    chars += SourceFTPServer.size();
    chars += SourceMountString.size();
    chars += SourceMountPoint.size();
    chars += SourceDBConnectString.size();
    chars += SourceDBName.size();
    chars += NumberTextLength(SourceDBType);
    chars += SourceDBVersion.size();
    chars += SourceDBUserid.size();
    chars += SourceDBPassword.size();
    chars += NumberTextLength(SourceDBCodePage);
    chars += TargetDBConnectString.size();
    chars += TargetDBName.size();
    chars += NumberTextLength(TargetDBType);
    chars += TargetDBVersion.size();
    chars += TargetDBUserid.size();
    chars += TargetDBPassword.size();
    chars += NumberTextLength(TargetDBCodePage);
    chars += ControlDBQualifier.size();
    chars += NumberTextLength(DataRequiredFlag);
    chars += NumberTextLength(SourceFetchCount);
    chars += UDPName.size();
    chars += UDPFunction.size();
    chars += NumberTextLength(UDPType);
    chars += UDPArgs.size();
    chars += SystemCommand.size();
    chars += NumberTextLength(EditionToDelete);
    chars += NumberTextLength(ProcessId);
    chars += AgentModuleName.size();
    chars += AgentPath.size();
    chars += AgentArguments.size();
    chars += AgentUserid.size();
    chars += AgentPassword.size();
    size += CalculateDataListSize(InputDataList);
    size += CalculateDataListSize(OutputDataList);
    size += CalculateTableListSize(TableList);
    size += CalculateDPTableListSize(DPropTableList);
    size += CalculatePrimaryKeyListSize(PrimaryKeyList);
    size += CalculateForeignKeyListSize(ForeignKeyList);
    chars += NumberTextLength(FlatFileType);
    chars += NumberTextLength(FlatFileFlag);
    chars += SourceDBMSServerName.size();
    chars += TargetDBMSServerName.size();
    chars += DefaultDelimiter.size();
    chars += NumberTextLength(XfCreateType);
    size += CalculateCaptureSchemaListSize(CaptureSchemaList);
    return static_cast<unsigned int>(880 + 4 * chars + size);
}

int XQAgentMessage::PackMessage(unsigned char* part) {
    XQ_TRACE_METHOD("XQAgentMessage::PackMessage()");
    unsigned long cursor = 0;
    CopyNumberFieldToBuffer(part, &cursor, BERowCountSoFar);
    CopyNumberFieldToBuffer(part, &cursor, BEByteCountSoFar);
    CopyNumberFieldToBuffer(part, &cursor, BEInsertDone);
    CopyStringFieldToBuffer(part, &cursor, StatusMsg);
    CopyStringFieldToBuffer(part, &cursor, SourceFileName);
    CopyNumberFieldToBuffer(part, &cursor, SourceBinaryFlag);
    CopyStringFieldToBuffer(part, &cursor, SourceFTPServer);
    CopyStringFieldToBuffer(part, &cursor, SourceMountString);
    CopyStringFieldToBuffer(part, &cursor, SourceMountPoint);
    CopyStringFieldToBuffer(part, &cursor, SourceDBConnectString);
    CopyStringFieldToBuffer(part, &cursor, SourceDBName);
    CopyNumberFieldToBuffer(part, &cursor, SourceDBType);
    CopyStringFieldToBuffer(part, &cursor, SourceDBVersion);
    CopyStringFieldToBuffer(part, &cursor, SourceDBUserid);
    CopyStringFieldToBuffer(part, &cursor, SourceDBPassword);
    CopyNumberFieldToBuffer(part, &cursor, SourceDBCodePage);
    CopyStringFieldToBuffer(part, &cursor, TargetDBConnectString);
    CopyStringFieldToBuffer(part, &cursor, TargetDBName);
    CopyNumberFieldToBuffer(part, &cursor, TargetDBType);
    CopyStringFieldToBuffer(part, &cursor, TargetDBVersion);
    CopyStringFieldToBuffer(part, &cursor, TargetDBUserid);
    CopyStringFieldToBuffer(part, &cursor, TargetDBPassword);
    CopyNumberFieldToBuffer(part, &cursor, TargetDBCodePage);
    CopyStringFieldToBuffer(part, &cursor, ControlDBQualifier);
    CopyNumberFieldToBuffer(part, &cursor, DataRequiredFlag);
    CopyNumberFieldToBuffer(part, &cursor, SourceFetchCount);
    CopyStringFieldToBuffer(part, &cursor, UDPName);
    CopyStringFieldToBuffer(part, &cursor, UDPFunction);
    CopyNumberFieldToBuffer(part, &cursor, UDPType);
    CopyStringFieldToBuffer(part, &cursor, UDPArgs);
    CopyStringFieldToBuffer(part, &cursor, SystemCommand);
    CopyNumberFieldToBuffer(part, &cursor, EditionToDelete);
    CopyNumberFieldToBuffer(part, &cursor, ProcessId);
    CopyStringFieldToBuffer(part, &cursor, AgentModuleName);
    CopyStringFieldToBuffer(part, &cursor, AgentPath);
    CopyStringFieldToBuffer(part, &cursor, AgentArguments);
    CopyStringFieldToBuffer(part, &cursor, AgentUserid);
    CopyStringFieldToBuffer(part, &cursor, AgentPassword);
    CopyDataListToBuffer(InputDataList, part, &cursor);
    CopyDataListToBuffer(OutputDataList, part, &cursor);
    CopyTableListToBuffer(TableList, part, &cursor);
    CopyDPTableListToBuffer(DPropTableList, part, &cursor);
    CopyPrimaryKeyListToBuffer(PrimaryKeyList, part, &cursor);
    CopyForeignKeyListToBuffer(ForeignKeyList, part, &cursor);
    CopyNumberFieldToBuffer(part, &cursor, FlatFileType);
    CopyNumberFieldToBuffer(part, &cursor, FlatFileFlag);
    CopyStringFieldToBuffer(part, &cursor, SourceDBMSServerName);
    CopyStringFieldToBuffer(part, &cursor, TargetDBMSServerName);
    CopyStringFieldToBuffer(part, &cursor, DefaultDelimiter);
    CopyNumberFieldToBuffer(part, &cursor, XfCreateType);
    CopyCaptureSchemaListToBuffer(CaptureSchemaList, part, &cursor);
    if (DebugFlags >= 3) DumpToLogFile(">>>> Dumping agent message after pack: \n");
    return 0;
}

XQRC XQAgentMessage::UnpackMessage(const unsigned char* buffer, unsigned long* /*cursor*/) {
    XQ_TRACE_METHOD("XQAgentMessage::UnpackMessage()");
    unsigned long position = 0;
    XQRC rc = XQBaseMessage::UnpackMessage(buffer, &position);
    if (rc.code != 0) return rc;
    XQFieldReader r(buffer, UnpackLimit(buffer), position);
    BERowCountSoFar = static_cast<int>(r.ReadNumberLong());
    BEByteCountSoFar = static_cast<int>(r.ReadNumberLong());
    BEInsertDone = static_cast<int>(r.ReadNumberLong());
    r.ReadString(StatusMsg);
    r.ReadString(SourceFileName);
    SourceBinaryFlag = static_cast<int>(r.ReadNumberLong());
    r.ReadString(SourceFTPServer);
    r.ReadString(SourceMountString);
    r.ReadString(SourceMountPoint);
    r.ReadString(SourceDBConnectString);
    r.ReadString(SourceDBName);
    SourceDBType = static_cast<sdbType>(r.ReadNumberLong());
    r.ReadString(SourceDBVersion);
    r.ReadString(SourceDBUserid);
    r.ReadString(SourceDBPassword);
    SourceDBCodePage = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(TargetDBConnectString);
    r.ReadString(TargetDBName);
    TargetDBType = static_cast<sdbType>(r.ReadNumberLong());
    r.ReadString(TargetDBVersion);
    r.ReadString(TargetDBUserid);
    r.ReadString(TargetDBPassword);
    TargetDBCodePage = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(ControlDBQualifier);
    DataRequiredFlag = static_cast<int>(r.ReadNumberLong());
    SourceFetchCount = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(UDPName);
    r.ReadString(UDPFunction);
    UDPType = static_cast<ProgramType>(r.ReadNumberLong());
    r.ReadString(UDPArgs);
    r.ReadString(SystemCommand);
    EditionToDelete = static_cast<unsigned int>(r.ReadNumber());
    ProcessId = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(AgentModuleName);
    r.ReadString(AgentPath);
    r.ReadString(AgentArguments);
    r.ReadString(AgentUserid);
    r.ReadString(AgentPassword);
    ::GetDataListFromBuffer(InputDataList, r);
    ::GetDataListFromBuffer(OutputDataList, r);
    ::GetTableListFromBuffer(TableList, r);
    ::GetDPTableListFromBuffer(DPropTableList, r);
    ::GetPrimaryKeyListFromBuffer(PrimaryKeyList, r);
    ::GetForeignKeyListFromBuffer(ForeignKeyList, r);
    FlatFileType = static_cast<int>(r.ReadNumberLong());
    FlatFileFlag = static_cast<int>(r.ReadNumberLong());
    r.ReadString(SourceDBMSServerName);
    r.ReadString(TargetDBMSServerName);
    r.ReadString(DefaultDelimiter);
    XfCreateType = static_cast<XfType>(r.ReadNumberLong());
    ::GetCaptureSchemaListFromBuffer(CaptureSchemaList, r);
    if (DebugFlags >= 3) DumpToLogFile(">>>> Dumping agent message after unpack: \n");
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQAgentMessage::Send(unsigned int) {
    XQ_TRACE_METHOD("XQAgentMessage::Send()");
    FamilySend how = {L"XQAgentMessage::Send()", "... vmagent::send No socket allocated. Msg Not Sent.", true,
                      ">>>> Dumping agent message before send: \n", nullptr, nullptr, false};
    return SendAsFamily(how, [this](unsigned char* part) { return PackMessage(part); });
}

void XQAgentMessage::Print(const XQSTRING& destination) const {
    XQBaseMessage::Print(destination);
    MessagePrinter p(destination);
    if (!p.ok()) return;
    const bool cout = p.stream();
    const int w = 21;
    const int wide = 24;
    p.frame("======>>>>>> START AGENT Message Class <<<<<<======");
    p.item("BERowCountSoFar", w, BERowCountSoFar);
    p.item("BEByteCountSoFar", w, BEByteCountSoFar);
    p.item("BEInsertDone", w, BEInsertDone);
    p.item("StatusMsg", w, mb(StatusMsg));
    p.item("SourceFileName", w, mb(SourceFileName));
    p.item("SourceBinaryFlag", w, SourceBinaryFlag);
    p.item("SourceFTPServer", w, mb(SourceFTPServer));
    p.item("SourceMountString", w, mb(SourceMountString));
    p.item("SourceMountPoint", w, mb(SourceMountPoint));
    p.item("SourceDBName", w, mb(SourceDBName));
    p.item("SourceDBConnectString", w, printConnectStr(SourceDBConnectString));
    p.item("SourceDBType", w, SourceDBType);
    p.item("SourceDBVersion", w, mb(SourceDBVersion));
    p.item("SourceDBUserid", w, mb(SourceDBUserid));
    p.item("SourceDBPassword", w, xqMaskedText(SourceDBPassword));
    p.item("SourceDBCodePage", w, static_cast<int>(SourceDBCodePage));
    p.item("SourceDBMSServerName", w, mb(SourceDBMSServerName));
    p.item("TargetDBConnectString", w, printConnectStr(TargetDBConnectString));
    p.item("TargetDBName", w, mb(TargetDBName));
    p.item("TargetDBType", w, TargetDBType);
    p.item("TargetDBVersion", w, mb(TargetDBVersion));
    p.item("TargetDBUserid", w, mb(TargetDBUserid));
    p.item("TargetDBPassword", w, xqMaskedText(TargetDBPassword));
    p.item("TargetDBCodePage", w, static_cast<int>(TargetDBCodePage));
    p.item("TargetDBMSServerName", w, mb(TargetDBMSServerName));
    p.item("ControlDBQualifier", w, mb(ControlDBQualifier));
    p.item("Data Required Flag", w, DataRequiredFlag);
    p.item("SourceFetchCount", w, static_cast<int>(SourceFetchCount));
    p.item("UDPName", w, mb(UDPName));
    p.item("UDPFunction", w, mb(UDPFunction));
    p.item("UDPType", w, UDPType);
    p.item("UDPArgs", w, mb(UDPArgs));
    p.item("System Command", w, mb(SystemCommand));
    p.item("EditionToDelete", w, static_cast<int>(EditionToDelete));
    p.item("Process Id", w, static_cast<int>(ProcessId));
    p.item("Agent Module Name", w, mb(AgentModuleName));
    if (cout)
        p.put("\t         Agent Path   : " + mb(AgentPath));
    else
        p.put("                   Agent Path : " + mb(AgentPath));
    p.endLine();
    p.item("Agent Arguments", w, mb(AgentArguments));
    if (cout)
        p.put("\t       Agent Userid   : " + mb(AgentUserid));
    else
        p.put("             Agent Userid : " + mb(AgentUserid));
    p.endLine();
    p.item("Agent Password", w, xqMaskedText(AgentPassword));
    p.item("Input Data List Entries", wide, static_cast<long>(InputDataList.size()));
    p.item("Output Data List Entries", wide, static_cast<long>(OutputDataList.size()));
    p.item("Table List Entries", wide, static_cast<long>(TableList.size()));
    p.item("DProp Table List Entries", wide, static_cast<long>(DPropTableList.size()));
    p.item("Primary Key List Entries", wide, static_cast<long>(PrimaryKeyList.size()));
    p.item("Foreign Key List Entries", wide, static_cast<long>(ForeignKeyList.size()));
    p.item("Flat File Type", wide, FlatFileType);
    p.item("Flat File Flag", wide, FlatFileFlag);
    p.item("Default Delimiter", wide, mb(DefaultDelimiter));
    p.item("Transformer Create Type", wide, XfCreateType);
    p.frame("======>>>>>> END AGENT Message Class <<<<<<======");
}

#include "messages/XQLogMessage.h"

#include <cstdio>
#include <string>

#include "foundation/Trace.h"
#include "messages/FieldEncoding.h"
#include "messages/MessagePrinter.h"
#include "messages/XQFieldReader.h"

namespace {

std::string mb(const XQSTRING& s) { return xqToMultibyte(s); }

}  // namespace

XQLogMessage::XQLogMessage() { Reset(); }

XQLogMessage::~XQLogMessage() = default;

void XQLogMessage::Reset() {
    LogMessageType = 0;
    LogIsUpdate = 0;
    EventID = 0;
    EventMessage.clear();
    BuildUser.clear();
    BuildAction.clear();
    BuildSubAction.clear();
    BuildObjectName.clear();
    BuildObjectType.clear();
    BuildMessage.clear();
    JobSource.clear();
    CLCommand.clear();
    TreeLeafCount = 0;
    TreeLevelCount = 0;
    TreeRetryCount = 0;
    TreeRetryDelay = 0;
    CLType.clear();
    SourceDBType.clear();
    SourceDBName.clear();
    TargetDBType.clear();
    TargetDBName.clear();
    CLSubCommand.clear();
    BERowCountSoFar = 0;
    BEByteCountSoFar = 0;
    CLStepTime = 0;
    CLTotalTime = 0;
    StepGroupType = 0;
    ProcessName.clear();
    SetMessageType(XQLogMsgType);
}

int XQLogMessage::SetJobSource(const XQSTRING& v) { JobSource = v; return 1; }
int XQLogMessage::SetCLCommand(const XQSTRING& v) { CLCommand = v; return 1; }
int XQLogMessage::SetTreeLeafCount(unsigned int v) { TreeLeafCount = v; return 1; }
int XQLogMessage::SetTreeLevelCount(unsigned int v) { TreeLevelCount = v; return 1; }
int XQLogMessage::SetTreeRetryCount(unsigned int v) { TreeRetryCount = v; return 1; }
int XQLogMessage::SetTreeRetryDelay(unsigned int v) { TreeRetryDelay = v; return 1; }
int XQLogMessage::SetCLType(const XQSTRING& v) { CLType = v; return 1; }
int XQLogMessage::SetSourceDBType(const XQSTRING& v) { SourceDBType = v; return 1; }
int XQLogMessage::SetSourceDBName(const XQSTRING& v) { SourceDBName = v; return 1; }
int XQLogMessage::SetTargetDBType(const XQSTRING& v) { TargetDBType = v; return 1; }
int XQLogMessage::SetTargetDBName(const XQSTRING& v) { TargetDBName = v; return 1; }
int XQLogMessage::SetCLSubCommand(const XQSTRING& v) { CLSubCommand = v; return 1; }
int XQLogMessage::SetBERowCountSoFar(unsigned int v) { BERowCountSoFar = v; return 1; }
int XQLogMessage::SetBEByteCountSoFar(unsigned int v) { BEByteCountSoFar = v; return 1; }
int XQLogMessage::SetCLStepTime(unsigned int v) { CLStepTime = v; return 1; }
int XQLogMessage::SetCLTotalTime(unsigned int v) { CLTotalTime = v; return 1; }
int XQLogMessage::SetStepGroupType(unsigned int v) { StepGroupType = v; return 1; }
int XQLogMessage::SetProcessName(const XQSTRING& v) { ProcessName = v; return 1; }

unsigned int XQLogMessage::CalculateSize() {
    XQ_TRACE_METHOD("XQLogMessage::CalculateSize()");
    unsigned long chars = 0;
    chars += NumberTextLength(LogMessageType);
    chars += NumberTextLength(LogIsUpdate);
    chars += NumberTextLength(EventID);
    chars += EventMessage.size();
    chars += BuildUser.size();
    chars += BuildAction.size();
    chars += BuildSubAction.size();
    chars += BuildObjectName.size();
    chars += BuildObjectType.size();
    chars += BuildMessage.size();
    chars += JobSource.size();
    chars += CLCommand.size();
    chars += NumberTextLength(TreeLeafCount);
    chars += NumberTextLength(TreeLevelCount);
    chars += NumberTextLength(TreeRetryCount);
    chars += NumberTextLength(TreeRetryDelay);
    chars += CLType.size();
    chars += SourceDBType.size();
    chars += SourceDBName.size();
    chars += TargetDBType.size();
    chars += TargetDBName.size();
    chars += CLSubCommand.size();
    chars += NumberTextLength(BERowCountSoFar);
    chars += NumberTextLength(BEByteCountSoFar);
    chars += NumberTextLength(CLStepTime);
    chars += NumberTextLength(CLTotalTime);
    chars += NumberTextLength(static_cast<long>(ExecTS.get_Stamp()));
    chars += NumberTextLength(StepGroupType);
    chars += ProcessName.size();
    return static_cast<unsigned int>(580 + 4 * chars);
}

int XQLogMessage::PackMessage(unsigned char* part) const {
    XQ_TRACE_METHOD("XQLogMessage::PackMessage()");
    unsigned long cursor = 0;
    CopyNumberFieldToBuffer(part, &cursor, LogMessageType);
    CopyNumberFieldToBuffer(part, &cursor, LogIsUpdate);
    CopyNumberFieldToBuffer(part, &cursor, EventID);
    CopyStringFieldToBuffer(part, &cursor, EventMessage);
    CopyStringFieldToBuffer(part, &cursor, BuildUser);
    CopyStringFieldToBuffer(part, &cursor, BuildAction);
    CopyStringFieldToBuffer(part, &cursor, BuildSubAction);
    CopyStringFieldToBuffer(part, &cursor, BuildObjectName);
    CopyStringFieldToBuffer(part, &cursor, BuildObjectType);
    CopyStringFieldToBuffer(part, &cursor, BuildMessage);
    CopyStringFieldToBuffer(part, &cursor, JobSource);
    CopyStringFieldToBuffer(part, &cursor, CLCommand);
    CopyNumberFieldToBuffer(part, &cursor, TreeLeafCount);
    CopyNumberFieldToBuffer(part, &cursor, TreeLevelCount);
    CopyNumberFieldToBuffer(part, &cursor, TreeRetryCount);
    CopyNumberFieldToBuffer(part, &cursor, TreeRetryDelay);
    CopyStringFieldToBuffer(part, &cursor, CLType);
    CopyStringFieldToBuffer(part, &cursor, SourceDBType);
    CopyStringFieldToBuffer(part, &cursor, SourceDBName);
    CopyStringFieldToBuffer(part, &cursor, TargetDBType);
    CopyStringFieldToBuffer(part, &cursor, TargetDBName);
    CopyStringFieldToBuffer(part, &cursor, CLSubCommand);
    CopyNumberFieldToBuffer(part, &cursor, BERowCountSoFar);
    CopyNumberFieldToBuffer(part, &cursor, BEByteCountSoFar);
    CopyNumberFieldToBuffer(part, &cursor, CLStepTime);
    CopyNumberFieldToBuffer(part, &cursor, CLTotalTime);
    CopyNumberFieldToBuffer(part, &cursor, static_cast<long>(ExecTS.get_Stamp()));
    CopyNumberFieldToBuffer(part, &cursor, StepGroupType);
    CopyStringFieldToBuffer(part, &cursor, ProcessName);
    return 0;
}

XQRC XQLogMessage::UnpackMessage(const unsigned char* buffer, unsigned long* /*cursor*/) {
    XQ_TRACE_METHOD("XQLogMessage::UnpackMessage()");
    unsigned long position = 0;
    XQRC rc = XQBaseMessage::UnpackMessage(buffer, &position);
    if (rc.code != 0) return rc;
    XQFieldReader r(buffer, UnpackLimit(buffer), position);
    LogMessageType = static_cast<int>(r.ReadNumberLong());
    LogIsUpdate = static_cast<int>(r.ReadNumberLong());
    EventID = static_cast<int>(r.ReadNumberLong());
    r.ReadString(EventMessage);
    r.ReadString(BuildUser);
    r.ReadString(BuildAction);
    r.ReadString(BuildSubAction);
    r.ReadString(BuildObjectName);
    r.ReadString(BuildObjectType);
    r.ReadString(BuildMessage);
    r.ReadString(JobSource);
    r.ReadString(CLCommand);
    TreeLeafCount = static_cast<unsigned int>(r.ReadNumber());
    TreeLevelCount = static_cast<unsigned int>(r.ReadNumber());
    TreeRetryCount = static_cast<unsigned int>(r.ReadNumber());
    TreeRetryDelay = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(CLType);
    r.ReadString(SourceDBType);
    r.ReadString(SourceDBName);
    r.ReadString(TargetDBType);
    r.ReadString(TargetDBName);
    r.ReadString(CLSubCommand);
    BERowCountSoFar = static_cast<unsigned int>(r.ReadNumber());
    BEByteCountSoFar = static_cast<unsigned int>(r.ReadNumber());
    CLStepTime = static_cast<unsigned int>(r.ReadNumber());
    CLTotalTime = static_cast<unsigned int>(r.ReadNumber());
    ExecTS.set_Stamp(r.ReadNumber());
    StepGroupType = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(ProcessName);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQLogMessage::Send(unsigned int) {
    XQ_TRACE_METHOD("XQLogMessage::Send()");
    FamilySend how = {L"XQLogMessage::Send()", "... vmlog::send No socket allocated. Msg Not Sent.", false,
                      ">>>> Dumping WIP message before send: \n", ">>***** XQLogMessage::Send: Buffer Too Large: ",
                      "uiLogSize", false};
    return SendAsFamily(how, [this](unsigned char* part) { return PackMessage(part); });
}

void XQLogMessage::Print(const XQSTRING& destination) const {
    XQBaseMessage::Print(destination);
    // The log part has no stream form: "COUT" is a file name here.
    MessagePrinter p(destination, false);
    if (!p.ok()) return;
    const int w = 22;
    p.frame("======>>>>>> START LOG Message Class <<<<<<======");
    p.item("Log Message Type", w, LogMessageType);
    p.item("Log Is Update", w, LogIsUpdate);
    p.item("Event ID", w, EventID);
    p.item("Event Message", w, mb(EventMessage));
    p.item("Build User", w, mb(BuildUser));
    p.item("Build Action", w, mb(BuildAction));
    p.item("Build Sub Action", w, mb(BuildSubAction));
    p.item("Build Object Type", w, mb(BuildObjectType));
    p.item("Build Object Name", w, mb(BuildObjectName));
    p.item("Build Message", w, mb(BuildMessage));
    p.item("Job Source", w, mb(JobSource));
    p.item("CL Command", w, mb(CLCommand));
    p.item("Tree Leaf Count", w, static_cast<int>(TreeLeafCount));
    p.item("Tree Level Count", w, static_cast<int>(TreeLevelCount));
    p.item("Tree Retry Count", w, static_cast<int>(TreeRetryCount));
    p.item("Tree Retry Delay", w, static_cast<int>(TreeRetryDelay));
    p.item("Source DB Type", w, mb(SourceDBType));
    p.item("Source DB Name", w, mb(SourceDBName));
    p.item("Target DB Type", w, mb(TargetDBType));
    p.item("Target DB Name", w, mb(TargetDBName));
    p.item("CL Sub Command", w, mb(CLSubCommand));
    p.item("BE Row Count So Far", w, static_cast<int>(BERowCountSoFar));
    p.item("BE Byte Count So Far", w, static_cast<int>(BEByteCountSoFar));
    p.item("CL Step Time", w, static_cast<int>(CLStepTime));
    p.item("CL Total Time", w, static_cast<int>(CLTotalTime));
    p.item("Exec TS", w, mb(ExecTS.toString()));
    p.item("Step Group Type", w, static_cast<int>(StepGroupType));
    p.item("Process Name", w, mb(ProcessName));
    p.frame("======>>>>>> END LOG Message Class <<<<<<======");
}

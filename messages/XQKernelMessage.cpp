#include "messages/XQKernelMessage.h"

#include <cstdio>
#include <string>

#include "foundation/Trace.h"
#include "messages/FieldEncoding.h"
#include "messages/MessagePrinter.h"
#include "messages/XQFieldReader.h"

namespace {

std::string mb(const XQSTRING& s) { return xqToMultibyte(s); }

const char kDumpHeader[] = ">>>>>> Dumping kernel message after pack:\n";

}  // namespace

XQKernelMessage::XQKernelMessage()
    : RowCount(0),
      ByteCount(0),
      RowLimit(0),
      ScheduleMode(0),
      ParentBVEdition(0),
      SelectFlag(0),
      IsRequestFromExternalTrigger(0),
      TransformerCreateType(0),
      ProcessStepEdition(0) {
    SetMessageType(XQKernelMsgType);
}

XQKernelMessage::~XQKernelMessage() = default;

unsigned int XQKernelMessage::CalculateSize() {
    XQ_TRACE_METHOD("XQKernelMessage::CalculateSize()");
    unsigned long chars = 0;
    unsigned long size = 0;
    chars += InformationResource.size();
    chars += AliasName.size();
    size += CalculateTableListSize(TableList);
    size += CalculateDataListSize(IRColumnList);
    size += CalculatePrimaryKeyListSize(IRPrimaryKeyList);
    size += CalculateForeignKeyListSize(IRForeignKeyList);
    chars += NumberTextLength(RowCount);
    chars += NumberTextLength(ByteCount);
    chars += NumberTextLength(RowLimit);
    chars += NumberTextLength(ScheduleMode);
    chars += Userid.size();
    chars += AgentPassword.size();
    chars += ControlDBQualifier.size();
    chars += ControlDatabaseID.size();
    size += CalculateCfgParmListSize(ConfigParmList);
    chars += DatabaseRelease.size();
    chars += ParentID.size();
    chars += NumberTextLength(ParentBVEdition);
    chars += NumberTextLength(SelectFlag);
    chars += InformationResourceID.size();
    chars += DataResourceID.size();
    size += CalculateDPTableListSize(DPTableList);
    chars += DefaultDelimiter.size();
    chars += NumberTextLength(IsRequestFromExternalTrigger);
    chars += NumberTextLength(TransformerCreateType);
    size += CalculateCaptureSchemaListSize(CaptureSchemaList);
    chars += NumberTextLength(ProcessStepEdition);
    unsigned int result = static_cast<unsigned int>(20 * 20 + 4 * chars + size);
    XQ_TRACE(4, "Calculated size = " << result);
    return result;
}

int XQKernelMessage::PackMessage(unsigned char* part) {
    XQ_TRACE_METHOD("XQKernelMessage::PackMessage()");
    XQ_TRACE(4, "PackMessage\t buffer pointer = " << static_cast<const void*>(part));
    unsigned long cursor = 0;
    CopyStringFieldToBuffer(part, &cursor, InformationResource);
    CopyStringFieldToBuffer(part, &cursor, AliasName);
    CopyTableListToBuffer(TableList, part, &cursor);
    CopyDataListToBuffer(IRColumnList, part, &cursor);
    CopyPrimaryKeyListToBuffer(IRPrimaryKeyList, part, &cursor);
    CopyForeignKeyListToBuffer(IRForeignKeyList, part, &cursor);
    CopyNumberFieldToBuffer(part, &cursor, RowCount);
    CopyNumberFieldToBuffer(part, &cursor, ByteCount);
    CopyNumberFieldToBuffer(part, &cursor, RowLimit);
    CopyNumberFieldToBuffer(part, &cursor, ScheduleMode);
    CopyStringFieldToBuffer(part, &cursor, Userid);
    CopyStringFieldToBuffer(part, &cursor, AgentPassword);
    CopyStringFieldToBuffer(part, &cursor, ControlDBQualifier);
    CopyStringFieldToBuffer(part, &cursor, ControlDatabaseID);
    CopyCfgParmListToBuffer(ConfigParmList, part, &cursor);
    CopyStringFieldToBuffer(part, &cursor, DatabaseRelease);
    CopyStringFieldToBuffer(part, &cursor, ParentID);
    CopyNumberFieldToBuffer(part, &cursor, ParentBVEdition);
    CopyNumberFieldToBuffer(part, &cursor, SelectFlag);
    CopyStringFieldToBuffer(part, &cursor, InformationResourceID);
    CopyStringFieldToBuffer(part, &cursor, DataResourceID);
    CopyDPTableListToBuffer(DPTableList, part, &cursor);
    CopyStringFieldToBuffer(part, &cursor, DefaultDelimiter);
    CopyNumberFieldToBuffer(part, &cursor, IsRequestFromExternalTrigger);
    CopyNumberFieldToBuffer(part, &cursor, TransformerCreateType);
    CopyCaptureSchemaListToBuffer(CaptureSchemaList, part, &cursor);
    CopyNumberFieldToBuffer(part, &cursor, ProcessStepEdition);
    if (DebugFlags >= 3) DumpToLogFile(kDumpHeader);
    return 0;
}

XQRC XQKernelMessage::UnpackMessage(const unsigned char* buffer, unsigned long* /*cursor*/) {
    XQ_TRACE_METHOD("XQKernelMessage::UnpackMessage()");
    unsigned long position = 0;
    XQRC rc = XQBaseMessage::UnpackMessage(buffer, &position);
    if (rc.code != 0) return rc;
    XQFieldReader r(buffer, UnpackLimit(buffer), position);
    r.ReadString(InformationResource);
    r.ReadString(AliasName);
    ::GetTableListFromBuffer(TableList, r);
    ::GetDataListFromBuffer(IRColumnList, r);
    ::GetPrimaryKeyListFromBuffer(IRPrimaryKeyList, r);
    ::GetForeignKeyListFromBuffer(IRForeignKeyList, r);
    RowCount = static_cast<unsigned int>(r.ReadNumber());
    ByteCount = static_cast<unsigned int>(r.ReadNumber());
    RowLimit = static_cast<unsigned int>(r.ReadNumber());
    ScheduleMode = static_cast<int>(r.ReadNumberLong());
    r.ReadString(Userid);
    r.ReadString(AgentPassword);
    r.ReadString(ControlDBQualifier);
    r.ReadString(ControlDatabaseID);
    ::GetCfgParmListFromBuffer(ConfigParmList, r);
    r.ReadString(DatabaseRelease);
    r.ReadString(ParentID);
    ParentBVEdition = static_cast<unsigned int>(r.ReadNumber());
    SelectFlag = static_cast<int>(r.ReadNumberLong());
    r.ReadString(InformationResourceID);
    r.ReadString(DataResourceID);
    ::GetDPTableListFromBuffer(DPTableList, r);
    r.ReadString(DefaultDelimiter);
    IsRequestFromExternalTrigger = static_cast<int>(r.ReadNumberLong());
    TransformerCreateType = static_cast<int>(r.ReadNumberLong());
    ::GetCaptureSchemaListFromBuffer(CaptureSchemaList, r);
    ProcessStepEdition = static_cast<unsigned int>(r.ReadNumber());
    if (DebugFlags >= 3) DumpToLogFile(kDumpHeader);
    return XQRC(0, 0, XQRC::WhsSrv);
}

XQRC XQKernelMessage::Send(unsigned int) {
    XQ_TRACE_METHOD("XQKernelMessage::Send()");
    FamilySend how = {L"XQKernelMessage::Send()", "... vmkernel::send No socket allocated. Msg Not Sent.", false,
                      kDumpHeader, ">>***** XQKernelMessage::Send: Buffer Too Large: ", "uiKernelSize", true};
    return SendAsFamily(how, [this](unsigned char* part) { return PackMessage(part); });
}

void XQKernelMessage::Print(const XQSTRING& destination) const {
    XQBaseMessage::Print(destination);
    MessagePrinter p(destination);
    if (!p.ok()) return;
    const bool cout = p.stream();
    // label: the file form before " : "; coutLabel: the whole stream prefix
    // where it differs from a tab, the label and " : ".
    auto line = [&](const char* label, const char* coutLabel, const std::string& value) {
        if (cout && coutLabel != nullptr) {
            p.put(std::string(coutLabel) + value);
            p.endLine();
        } else {
            p.fixed(label, value);
        }
    };
    auto num = [](unsigned int v) { return std::to_string(static_cast<int>(v)); };
    auto flag = [](int v, const char* yes, const char* no) { return std::string(v != 0 ? yes : no); };
    const std::string password = xqMaskedText(AgentPassword);

    p.frame("======>>>>>> START KERNEL Message Class <<<<<<======");
    line(" Information Resource", "\tInformation Resource : ", mb(InformationResource));
    line("           Alias Name", nullptr, mb(AliasName));
    line(" Control DB Qualifier", nullptr, mb(ControlDBQualifier));
    line("   Table List Entries", nullptr, num(TableList.size()));
    line("DP Table List Entries", nullptr, num(DPTableList.size()));
    line("    IR Column Entries", nullptr, num(IRColumnList.size()));
    line("IR Primary Key Entries", nullptr, num(IRPrimaryKeyList.size()));
    line("IR Foreign Key Entries", nullptr, num(IRForeignKeyList.size()));
    line("            Row Count", nullptr, num(RowCount));
    line("           Byte Count", nullptr, num(ByteCount));
    line("            Row Limit", nullptr, num(RowLimit));
    line("               Userid", nullptr, mb(Userid));
    line("       Agent Password", nullptr, password);
    line(" Control DB Qualifier", nullptr, mb(ControlDBQualifier));
    line("  Control Database ID", nullptr, mb(ControlDatabaseID));
    line("  Config Parm Entries", nullptr, num(ConfigParmList.size()));
    line("     Database Release", nullptr, mb(DatabaseRelease));
    line("             parentID", "\t            Parent ID : ", mb(ParentID));
    line("    Parent BV Edition", "\t      ParentBVEdition : ", num(ParentBVEdition));
    line("          Select Flag", "\t        Select Flag : ", flag(SelectFlag, "TRUE", "FALSE"));
    line(" Information Resource ID", "\tInformation Resource ID : ", mb(InformationResourceID));
    line("     Data Resource ID", nullptr, mb(DataResourceID));
    line("        Schedule Mode", nullptr, flag(ScheduleMode, "Manual", "Automatic"));
    line("    Default Delimiter", nullptr, mb(DefaultDelimiter));
    line(" Is request from External Trigger", "\tIs Request From External Trigger : ",
         flag(IsRequestFromExternalTrigger, "TRUE", "FALSE"));
    line("Transformer create type", nullptr, std::to_string(TransformerCreateType));
    line("Cap Schemas List Entries", "\tCap Schema List Entries : ", num(CaptureSchemaList.size()));
    line("    Process Step Edition", "\t     ProcessStepEdition : ", num(ProcessStepEdition));
    p.frame("======>>>>>> END KERNEL Message Class <<<<<<======");
}

#include "support/MessageTestSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "messages/ListCodec.h"

namespace {

std::string show(const XQSTRING& s) { return "\"" + xqToMultibyte(s) + "\""; }
std::string show(long v) { return std::to_string(v); }

void field(std::string& out, const char* name, const XQSTRING& a, const XQSTRING& b) {
    if (a != b) out += std::string(name) + ": " + show(a) + " != " + show(b) + "\n";
}
template <class N>
void field(std::string& out, const char* name, N a, N b) {
    if (a != b) out += std::string(name) + ": " + show(static_cast<long>(a)) + " != " + show(static_cast<long>(b)) + "\n";
}

std::string recordDiff(const XQSTRING& a, const XQSTRING& b) {
    std::string out;
    field(out, "text", a, b);
    return out;
}

std::string recordDiff(const XQResultSetData& a, const XQResultSetData& b) {
    std::string out;
    field(out, "values", static_cast<long>(a.size()), static_cast<long>(b.size()));
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) field(out, "value", a[i], b[i]);
    return out;
}

template <class T>
void listDiff(std::string& out, const char* name, const std::vector<T>& a, const std::vector<T>& b);

std::string recordDiff(const XQRfcFieldDesc& a, const XQRfcFieldDesc& b) {
    std::string out;
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Number2", a.Number2, b.Number2);
    field(out, "Number3", a.Number3, b.Number3);
    field(out, "Number4", a.Number4, b.Number4);
    field(out, "Number5", a.Number5, b.Number5);
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Number6", a.Number6, b.Number6);
    return out;
}

std::string recordDiff(const XQRfcStElemDesc& a, const XQRfcStElemDesc& b) {
    std::string out;
    listDiff(out, "RfcFieldDescList", a.RfcFieldDescList, b.RfcFieldDescList);
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    return out;
}

std::string recordDiff(const XQBapiParam& a, const XQBapiParam& b) {
    std::string out;
    listDiff(out, "RfcFieldDescList", a.RfcFieldDescList, b.RfcFieldDescList);
    listDiff(out, "RfcStElemDescList", a.RfcStElemDescList, b.RfcStElemDescList);
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Number2", a.Number2, b.Number2);
    field(out, "Number3", a.Number3, b.Number3);
    field(out, "Number4", a.Number4, b.Number4);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Text5", a.Text5, b.Text5);
    field(out, "Text6", a.Text6, b.Text6);
    field(out, "Text7", a.Text7, b.Text7);
    return out;
}

std::string recordDiff(const XQBOBapi& a, const XQBOBapi& b) {
    std::string out;
    listDiff(out, "BapiParamList", a.BapiParamList, b.BapiParamList);
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Text5", a.Text5, b.Text5);
    field(out, "Text6", a.Text6, b.Text6);
    return out;
}

std::string recordDiff(const XQBONode& a, const XQBONode& b) {
    std::string out;
    listDiff(out, "BapiParamList", a.BapiParamList, b.BapiParamList);
    listDiff(out, "BOBapiList", a.BOBapiList, b.BOBapiList);
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    return out;
}

std::string recordDiff(const XQBOName& a, const XQBOName& b) {
    std::string out;
    listDiff(out, "StringList", a.StringList, b.StringList);
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    return out;
}

std::string recordDiff(const XQLPZData& a, const XQLPZData& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Number2", a.Number2, b.Number2);
    field(out, "Text2", a.Text2, b.Text2);
    return out;
}

std::string recordDiff(const XQPrimaryKeyData& a, const XQPrimaryKeyData& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Text5", a.Text5, b.Text5);
    field(out, "Text6", a.Text6, b.Text6);
    field(out, "Text7", a.Text7, b.Text7);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Text8", a.Text8, b.Text8);
    return out;
}

std::string recordDiff(const XQForeignKeyData& a, const XQForeignKeyData& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Text5", a.Text5, b.Text5);
    field(out, "Text6", a.Text6, b.Text6);
    field(out, "Text7", a.Text7, b.Text7);
    field(out, "Text8", a.Text8, b.Text8);
    field(out, "Text9", a.Text9, b.Text9);
    field(out, "Text10", a.Text10, b.Text10);
    field(out, "Text11", a.Text11, b.Text11);
    field(out, "Text12", a.Text12, b.Text12);
    field(out, "Text13", a.Text13, b.Text13);
    field(out, "Text14", a.Text14, b.Text14);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Text15", a.Text15, b.Text15);
    field(out, "Text16", a.Text16, b.Text16);
    field(out, "Text17", a.Text17, b.Text17);
    field(out, "Text18", a.Text18, b.Text18);
    return out;
}

std::string recordDiff(const XQAttributeData& a, const XQAttributeData& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Number2", a.Number2, b.Number2);
    field(out, "Number3", a.Number3, b.Number3);
    field(out, "Number4", a.Number4, b.Number4);
    field(out, "Number5", a.Number5, b.Number5);
    field(out, "Number6", a.Number6, b.Number6);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Number7", a.Number7, b.Number7);
    return out;
}

std::string recordDiff(const XQTableNameData& a, const XQTableNameData& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Text5", a.Text5, b.Text5);
    return out;
}

std::string recordDiff(const XQDPTableNameData& a, const XQDPTableNameData& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Text5", a.Text5, b.Text5);
    field(out, "Number2", a.Number2, b.Number2);
    field(out, "Text6", a.Text6, b.Text6);
    field(out, "Text7", a.Text7, b.Text7);
    field(out, "Text8", a.Text8, b.Text8);
    return out;
}

std::string recordDiff(const XQColAttrData& a, const XQColAttrData& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Number1", a.Number1, b.Number1);
    field(out, "Number2", a.Number2, b.Number2);
    return out;
}

std::string recordDiff(const XQCfgParm& a, const XQCfgParm& b) {
    std::string out;
    field(out, "Text1", a.Text1, b.Text1);
    field(out, "Text2", a.Text2, b.Text2);
    field(out, "Text3", a.Text3, b.Text3);
    field(out, "Text4", a.Text4, b.Text4);
    field(out, "Number1", a.Number1, b.Number1);
    return out;
}

template <class T>
void listDiff(std::string& out, const char* name, const std::vector<T>& a, const std::vector<T>& b) {
    if (a.size() != b.size()) {
        out += std::string(name) + ": " + std::to_string(a.size()) + " != " + std::to_string(b.size()) + " entries\n";
        return;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        std::string d = recordDiff(a[i], b[i]);
        if (!d.empty()) out += std::string(name) + "[" + std::to_string(i) + "]: " + d;
    }
}

void rcDiff(std::string& out, const XQRC& a, const XQRC& b) {
    field(out, "ReturnCode.code", a.code, b.code);
    field(out, "ReturnCode.secondaryCode", a.secondaryCode, b.secondaryCode);
    field(out, "ReturnCode.isWarningFlag", a.isWarningFlag, b.isWarningFlag);
    field(out, "ReturnCode.domain", static_cast<long>(a.domain), static_cast<long>(b.domain));
    field(out, "ReturnCode.methodName", a.methodName, b.methodName);
    field(out, "ReturnCode.executableName", a.executableName, b.executableName);
    field(out, "ReturnCode.systemMessage", a.systemMessage, b.systemMessage);
    field(out, "ReturnCode.comment", a.comment, b.comment);
    field(out, "ReturnCode.hostName", a.hostName, b.hostName);
    field(out, "ReturnCode.auxText", a.auxText, b.auxText);
    field(out, "ReturnCode.messageToken1", a.messageToken1, b.messageToken1);
    field(out, "ReturnCode.messageToken2", a.messageToken2, b.messageToken2);
    field(out, "ReturnCode.messageToken3", a.messageToken3, b.messageToken3);
    field(out, "ReturnCode.messageToken4", a.messageToken4, b.messageToken4);
    field(out, "ReturnCode.messageToken5", a.messageToken5, b.messageToken5);
    field(out, "ReturnCode.messageToken6", a.messageToken6, b.messageToken6);
    field(out, "ReturnCode.messageToken7", a.messageToken7, b.messageToken7);
    field(out, "ReturnCode.messageToken8", a.messageToken8, b.messageToken8);
    field(out, "ReturnCode.messageToken9", a.messageToken9, b.messageToken9);
    field(out, "ReturnCode.messageToken10", a.messageToken10, b.messageToken10);
}

}  // namespace

std::string diffMessages(const XQBaseMessage& a, const XQBaseMessage& b) {
    std::string out;
    rcDiff(out, a.ReturnCode, b.ReturnCode);
    field(out, "EyeCatcher", XQSTRING(a.EyeCatcher, 11), XQSTRING(b.EyeCatcher, 11));
    field(out, "CharacterType", static_cast<long>(a.CharacterType), static_cast<long>(b.CharacterType));
    field(out, "MessageID", a.MessageID, b.MessageID);
    field(out, "ReleaseLevel", a.ReleaseLevel, b.ReleaseLevel);
    field(out, "MessageType", static_cast<long>(a.MessageType), static_cast<long>(b.MessageType));
    field(out, "OriginQueueName", a.OriginQueueName, b.OriginQueueName);
    field(out, "OriginQueueHost", a.OriginQueueHost, b.OriginQueueHost);
    field(out, "OriginQueuePort", a.OriginQueuePort, b.OriginQueuePort);
    field(out, "OriginInetAddr", a.OriginInetAddr, b.OriginInetAddr);
    field(out, "DestQueueName", a.DestQueueName, b.DestQueueName);
    field(out, "DestQueueHost", a.DestQueueHost, b.DestQueueHost);
    field(out, "DestQueuePort", a.DestQueuePort, b.DestQueuePort);
    field(out, "IsRequest", a.IsRequest, b.IsRequest);
    field(out, "ReplyNeeded", a.ReplyNeeded, b.ReplyNeeded);
    field(out, "Command", a.Command, b.Command);
    field(out, "SubCommand", a.SubCommand, b.SubCommand);
    field(out, "DebugFlags", a.DebugFlags, b.DebugFlags);
    field(out, "TransmitTS", static_cast<long>(a.TransmitTS.get_Stamp()), static_cast<long>(b.TransmitTS.get_Stamp()));
    field(out, "FilterFlag", a.FilterFlag, b.FilterFlag);
    field(out, "BVName", a.BVName, b.BVName);
    field(out, "BENumber", a.BENumber, b.BENumber);
    field(out, "SQLStmt1", a.SQLStmt1, b.SQLStmt1);
    field(out, "SQLStmt2", a.SQLStmt2, b.SQLStmt2);
    field(out, "RowsRequested", a.RowsRequested, b.RowsRequested);
    field(out, "RowsReceived", a.RowsReceived, b.RowsReceived);
    listDiff(out, "ColAttrList", a.ColAttrList, b.ColAttrList);
    listDiff(out, "ResultSet", a.ResultSet, b.ResultSet);
    field(out, "CommitFlag", a.CommitFlag, b.CommitFlag);
    listDiff(out, "BONameList", a.BONameList, b.BONameList);
    listDiff(out, "BONodeList", a.BONodeList, b.BONodeList);
    listDiff(out, "LPZDataList", a.LPZDataList, b.LPZDataList);
    return out;
}

std::string diffMessages(const XQAgentMessage& a, const XQAgentMessage& b) {
    std::string out;
    out += diffMessages(static_cast<const XQBaseMessage&>(a), static_cast<const XQBaseMessage&>(b));
    field(out, "FlatFileType", a.FlatFileType, b.FlatFileType);
    field(out, "FlatFileFlag", a.FlatFileFlag, b.FlatFileFlag);
    field(out, "BERowCountSoFar", a.BERowCountSoFar, b.BERowCountSoFar);
    field(out, "BEByteCountSoFar", a.BEByteCountSoFar, b.BEByteCountSoFar);
    field(out, "BEInsertDone", a.BEInsertDone, b.BEInsertDone);
    field(out, "StatusMsg", a.StatusMsg, b.StatusMsg);
    field(out, "SourceFileName", a.SourceFileName, b.SourceFileName);
    field(out, "SourceBinaryFlag", a.SourceBinaryFlag, b.SourceBinaryFlag);
    field(out, "SourceFTPServer", a.SourceFTPServer, b.SourceFTPServer);
    field(out, "SourceMountString", a.SourceMountString, b.SourceMountString);
    field(out, "SourceMountPoint", a.SourceMountPoint, b.SourceMountPoint);
    field(out, "SourceDBConnectString", a.SourceDBConnectString, b.SourceDBConnectString);
    field(out, "SourceDBName", a.SourceDBName, b.SourceDBName);
    field(out, "SourceDBType", a.SourceDBType, b.SourceDBType);
    field(out, "SourceDBVersion", a.SourceDBVersion, b.SourceDBVersion);
    field(out, "SourceDBUserid", a.SourceDBUserid, b.SourceDBUserid);
    field(out, "SourceDBPassword", a.SourceDBPassword, b.SourceDBPassword);
    field(out, "SourceDBCodePage", a.SourceDBCodePage, b.SourceDBCodePage);
    field(out, "TargetDBConnectString", a.TargetDBConnectString, b.TargetDBConnectString);
    field(out, "TargetDBName", a.TargetDBName, b.TargetDBName);
    field(out, "TargetDBType", a.TargetDBType, b.TargetDBType);
    field(out, "TargetDBVersion", a.TargetDBVersion, b.TargetDBVersion);
    field(out, "TargetDBUserid", a.TargetDBUserid, b.TargetDBUserid);
    field(out, "TargetDBPassword", a.TargetDBPassword, b.TargetDBPassword);
    field(out, "TargetDBCodePage", a.TargetDBCodePage, b.TargetDBCodePage);
    field(out, "ControlDBQualifier", a.ControlDBQualifier, b.ControlDBQualifier);
    field(out, "DataRequiredFlag", a.DataRequiredFlag, b.DataRequiredFlag);
    field(out, "SourceFetchCount", a.SourceFetchCount, b.SourceFetchCount);
    field(out, "UDPName", a.UDPName, b.UDPName);
    field(out, "UDPFunction", a.UDPFunction, b.UDPFunction);
    field(out, "UDPType", a.UDPType, b.UDPType);
    field(out, "UDPArgs", a.UDPArgs, b.UDPArgs);
    field(out, "SystemCommand", a.SystemCommand, b.SystemCommand);
    field(out, "EditionToDelete", a.EditionToDelete, b.EditionToDelete);
    field(out, "ProcessId", a.ProcessId, b.ProcessId);
    field(out, "AgentModuleName", a.AgentModuleName, b.AgentModuleName);
    field(out, "AgentPath", a.AgentPath, b.AgentPath);
    field(out, "AgentArguments", a.AgentArguments, b.AgentArguments);
    field(out, "AgentUserid", a.AgentUserid, b.AgentUserid);
    field(out, "AgentPassword", a.AgentPassword, b.AgentPassword);
    listDiff(out, "InputDataList", a.InputDataList, b.InputDataList);
    listDiff(out, "OutputDataList", a.OutputDataList, b.OutputDataList);
    listDiff(out, "TableList", a.TableList, b.TableList);
    listDiff(out, "DPropTableList", a.DPropTableList, b.DPropTableList);
    listDiff(out, "PrimaryKeyList", a.PrimaryKeyList, b.PrimaryKeyList);
    listDiff(out, "ForeignKeyList", a.ForeignKeyList, b.ForeignKeyList);
    field(out, "SourceDBMSServerName", a.SourceDBMSServerName, b.SourceDBMSServerName);
    field(out, "TargetDBMSServerName", a.TargetDBMSServerName, b.TargetDBMSServerName);
    field(out, "DefaultDelimiter", a.DefaultDelimiter, b.DefaultDelimiter);
    field(out, "XfCreateType", a.XfCreateType, b.XfCreateType);
    listDiff(out, "CaptureSchemaList", a.CaptureSchemaList, b.CaptureSchemaList);
    return out;
}

std::string diffMessages(const XQKernelMessage& a, const XQKernelMessage& b) {
    std::string out;
    out += diffMessages(static_cast<const XQBaseMessage&>(a), static_cast<const XQBaseMessage&>(b));
    field(out, "InformationResource", a.InformationResource, b.InformationResource);
    field(out, "AliasName", a.AliasName, b.AliasName);
    listDiff(out, "TableList", a.TableList, b.TableList);
    listDiff(out, "IRColumnList", a.IRColumnList, b.IRColumnList);
    listDiff(out, "IRPrimaryKeyList", a.IRPrimaryKeyList, b.IRPrimaryKeyList);
    listDiff(out, "IRForeignKeyList", a.IRForeignKeyList, b.IRForeignKeyList);
    field(out, "RowCount", a.RowCount, b.RowCount);
    field(out, "ByteCount", a.ByteCount, b.ByteCount);
    field(out, "RowLimit", a.RowLimit, b.RowLimit);
    field(out, "ScheduleMode", a.ScheduleMode, b.ScheduleMode);
    field(out, "Userid", a.Userid, b.Userid);
    field(out, "AgentPassword", a.AgentPassword, b.AgentPassword);
    field(out, "ControlDBQualifier", a.ControlDBQualifier, b.ControlDBQualifier);
    field(out, "ControlDatabaseID", a.ControlDatabaseID, b.ControlDatabaseID);
    listDiff(out, "ConfigParmList", a.ConfigParmList, b.ConfigParmList);
    field(out, "DatabaseRelease", a.DatabaseRelease, b.DatabaseRelease);
    field(out, "ParentID", a.ParentID, b.ParentID);
    field(out, "ParentBVEdition", a.ParentBVEdition, b.ParentBVEdition);
    field(out, "SelectFlag", a.SelectFlag, b.SelectFlag);
    field(out, "InformationResourceID", a.InformationResourceID, b.InformationResourceID);
    field(out, "DataResourceID", a.DataResourceID, b.DataResourceID);
    listDiff(out, "DPTableList", a.DPTableList, b.DPTableList);
    field(out, "DefaultDelimiter", a.DefaultDelimiter, b.DefaultDelimiter);
    field(out, "IsRequestFromExternalTrigger", a.IsRequestFromExternalTrigger, b.IsRequestFromExternalTrigger);
    field(out, "TransformerCreateType", a.TransformerCreateType, b.TransformerCreateType);
    listDiff(out, "CaptureSchemaList", a.CaptureSchemaList, b.CaptureSchemaList);
    field(out, "ProcessStepEdition", a.ProcessStepEdition, b.ProcessStepEdition);
    return out;
}

std::string diffMessages(const XQLogMessage& a, const XQLogMessage& b) {
    std::string out;
    out += diffMessages(static_cast<const XQBaseMessage&>(a), static_cast<const XQBaseMessage&>(b));
    field(out, "LogMessageType", a.LogMessageType, b.LogMessageType);
    field(out, "LogIsUpdate", a.LogIsUpdate, b.LogIsUpdate);
    field(out, "EventID", a.EventID, b.EventID);
    field(out, "EventMessage", a.EventMessage, b.EventMessage);
    field(out, "BuildUser", a.BuildUser, b.BuildUser);
    field(out, "BuildAction", a.BuildAction, b.BuildAction);
    field(out, "BuildSubAction", a.BuildSubAction, b.BuildSubAction);
    field(out, "BuildObjectType", a.BuildObjectType, b.BuildObjectType);
    field(out, "BuildObjectName", a.BuildObjectName, b.BuildObjectName);
    field(out, "BuildMessage", a.BuildMessage, b.BuildMessage);
    field(out, "JobSource", a.JobSource, b.JobSource);
    field(out, "CLCommand", a.CLCommand, b.CLCommand);
    field(out, "TreeLeafCount", a.TreeLeafCount, b.TreeLeafCount);
    field(out, "TreeLevelCount", a.TreeLevelCount, b.TreeLevelCount);
    field(out, "TreeRetryCount", a.TreeRetryCount, b.TreeRetryCount);
    field(out, "TreeRetryDelay", a.TreeRetryDelay, b.TreeRetryDelay);
    field(out, "CLType", a.CLType, b.CLType);
    field(out, "SourceDBType", a.SourceDBType, b.SourceDBType);
    field(out, "SourceDBName", a.SourceDBName, b.SourceDBName);
    field(out, "TargetDBType", a.TargetDBType, b.TargetDBType);
    field(out, "TargetDBName", a.TargetDBName, b.TargetDBName);
    field(out, "CLSubCommand", a.CLSubCommand, b.CLSubCommand);
    field(out, "BERowCountSoFar", a.BERowCountSoFar, b.BERowCountSoFar);
    field(out, "BEByteCountSoFar", a.BEByteCountSoFar, b.BEByteCountSoFar);
    field(out, "CLStepTime", a.CLStepTime, b.CLStepTime);
    field(out, "CLTotalTime", a.CLTotalTime, b.CLTotalTime);
    field(out, "ExecTS", static_cast<long>(a.ExecTS.get_Stamp()), static_cast<long>(b.ExecTS.get_Stamp()));
    field(out, "StepGroupType", a.StepGroupType, b.StepGroupType);
    field(out, "ProcessName", a.ProcessName, b.ProcessName);
    return out;
}

XQSTRING MessageRandom::text() {
    unsigned len = rng_() % (maxText_ + 1);
    XQSTRING s;
    s.reserve(len);
    for (unsigned i = 0; i < len; ++i) {
        wchar_t c;
        unsigned pick = rng_() % 8;
        if (ascii_ || pick < 6)
            c = static_cast<wchar_t>(0x20 + rng_() % 0x5F);
        else
            c = static_cast<wchar_t>(0xA0 + rng_() % (0xD7FF - 0xA0));
        s += c;
    }
    return s;
}

int32_t MessageRandom::number() {
    switch (rng_() % 4) {
        case 0: return static_cast<int32_t>(rng_() % 10);
        case 1: return -static_cast<int32_t>(rng_() % 1000);
        default: return static_cast<int32_t>(rng_());
    }
}

namespace {

// Fills a record through the codec's own list of its fields (wire order), so
// every record kind is covered without a hand-written filler per kind.
// Nested lists are filled down to depth; string lists at any depth.
struct RecordFiller {
    MessageRandom& random;
    unsigned maxList;
    int depth;
    void operator()(XQSTRING& text) { text = random.text(); }
    void operator()(int& number) { number = random.number(); }
    template <class T>
    void operator()(std::vector<T>& list) {
        list.clear();
        if (depth <= 0 && !std::is_same<T, XQSTRING>::value) return;
        RecordFiller inner{random, maxList, depth - 1};
        list.resize(random.rng()() % (maxList + 1));
        for (T& x : list) xqlist::Wire<T>::Fields(x, inner);
    }
};

}  // namespace

template <class T>
void MessageRandom::fillList(std::vector<T>& list, int depth) {
    RecordFiller filler{*this, maxList_, depth + 1};
    filler(list);
}

void MessageRandom::fillStrings(std::vector<XQSTRING>& list) {
    list.clear();
    unsigned n = rng_() % (maxList_ + 1);
    for (unsigned i = 0; i < n; ++i) list.push_back(text());
}

void MessageRandom::fillResultSet(std::vector<XQResultSetData>& rows) {
    rows.clear();
    unsigned n = rng_() % (maxList_ + 1);
    unsigned cols = 1 + rng_() % 4;
    for (unsigned i = 0; i < n; ++i) {
        XQResultSetData row;
        for (unsigned c = 0; c < cols; ++c) row.push_back(text());
        rows.push_back(row);
    }
}

void MessageRandom::fill(XQBaseMessage& m) {
    XQRC& rc = m.ReturnCode;
    rc.code = number();
    rc.secondaryCode = number();
    rc.isWarningFlag = number();
    rc.domain = static_cast<XQRC::domainType>(number());  // any number travels, not only the six domains
    rc.methodName = text();
    rc.executableName = text();
    rc.systemMessage = text();
    rc.comment = text();
    rc.hostName = text();
    rc.auxText = text();
    rc.SetXQMessage(text(), text(), text(), text(), text(), text(), text(), text(), text(), text());
    m.IsRequest = static_cast<int>(rng_() % 2);
    m.DebugFlags = static_cast<EDEBUG>(rng_() % 3);
    fillResultSet(m.ResultSet);
    m.RowsReceived = static_cast<long>(m.ResultSet.size());
    m.MessageID = static_cast<decltype(m.MessageID)>(number());
    m.ReleaseLevel = L"8.1.0";
    m.OriginQueueName = text();
    m.OriginQueueHost = text();
    m.OriginQueuePort = static_cast<decltype(m.OriginQueuePort)>(number());
    m.OriginInetAddr = text();
    m.DestQueueName = text();
    m.DestQueueHost = text();
    m.DestQueuePort = static_cast<decltype(m.DestQueuePort)>(number());
    m.ReplyNeeded = static_cast<decltype(m.ReplyNeeded)>(number());
    m.Command = static_cast<decltype(m.Command)>(number());
    m.SubCommand = static_cast<decltype(m.SubCommand)>(number());
    m.TransmitTS.set_Stamp(static_cast<unsigned long>(number()));
    m.FilterFlag = static_cast<decltype(m.FilterFlag)>(number());
    m.BVName = text();
    m.BENumber = static_cast<decltype(m.BENumber)>(number());
    m.SQLStmt1 = text();
    m.SQLStmt2 = text();
    m.RowsRequested = static_cast<decltype(m.RowsRequested)>(number());
    fillList(m.ColAttrList, 3);
    m.CommitFlag = static_cast<decltype(m.CommitFlag)>(number());
    fillList(m.BONameList, 3);
    fillList(m.BONodeList, 3);
    fillList(m.LPZDataList, 3);
}

void MessageRandom::fill(XQAgentMessage& m) {
    fill(static_cast<XQBaseMessage&>(m));
    m.FlatFileType = static_cast<decltype(m.FlatFileType)>(number());
    m.FlatFileFlag = static_cast<decltype(m.FlatFileFlag)>(number());
    m.BERowCountSoFar = static_cast<decltype(m.BERowCountSoFar)>(number());
    m.BEByteCountSoFar = static_cast<decltype(m.BEByteCountSoFar)>(number());
    m.BEInsertDone = static_cast<decltype(m.BEInsertDone)>(number());
    m.StatusMsg = text();
    m.SourceFileName = text();
    m.SourceBinaryFlag = static_cast<decltype(m.SourceBinaryFlag)>(number());
    m.SourceFTPServer = text();
    m.SourceMountString = text();
    m.SourceMountPoint = text();
    m.SourceDBConnectString = text();
    m.SourceDBName = text();
    m.SourceDBType = static_cast<decltype(m.SourceDBType)>(number());
    m.SourceDBVersion = text();
    m.SourceDBUserid = text();
    m.SourceDBPassword = text();
    m.SourceDBCodePage = static_cast<decltype(m.SourceDBCodePage)>(number());
    m.TargetDBConnectString = text();
    m.TargetDBName = text();
    m.TargetDBType = static_cast<decltype(m.TargetDBType)>(number());
    m.TargetDBVersion = text();
    m.TargetDBUserid = text();
    m.TargetDBPassword = text();
    m.TargetDBCodePage = static_cast<decltype(m.TargetDBCodePage)>(number());
    m.ControlDBQualifier = text();
    m.DataRequiredFlag = static_cast<decltype(m.DataRequiredFlag)>(number());
    m.SourceFetchCount = static_cast<decltype(m.SourceFetchCount)>(number());
    m.UDPName = text();
    m.UDPFunction = text();
    m.UDPType = static_cast<decltype(m.UDPType)>(number());
    m.UDPArgs = text();
    m.SystemCommand = text();
    m.EditionToDelete = static_cast<decltype(m.EditionToDelete)>(number());
    m.ProcessId = static_cast<decltype(m.ProcessId)>(number());
    m.AgentModuleName = text();
    m.AgentPath = text();
    m.AgentArguments = text();
    m.AgentUserid = text();
    m.AgentPassword = text();
    fillList(m.InputDataList, 3);
    fillList(m.OutputDataList, 3);
    fillList(m.TableList, 3);
    fillList(m.DPropTableList, 3);
    fillList(m.PrimaryKeyList, 3);
    fillList(m.ForeignKeyList, 3);
    m.SourceDBMSServerName = text();
    m.TargetDBMSServerName = text();
    m.DefaultDelimiter = text();
    m.XfCreateType = static_cast<decltype(m.XfCreateType)>(number());
    fillStrings(m.CaptureSchemaList);
}

void MessageRandom::fill(XQKernelMessage& m) {
    fill(static_cast<XQBaseMessage&>(m));
    m.InformationResource = text();
    m.AliasName = text();
    fillList(m.TableList, 3);
    fillList(m.IRColumnList, 3);
    fillList(m.IRPrimaryKeyList, 3);
    fillList(m.IRForeignKeyList, 3);
    m.RowCount = static_cast<decltype(m.RowCount)>(number());
    m.ByteCount = static_cast<decltype(m.ByteCount)>(number());
    m.RowLimit = static_cast<decltype(m.RowLimit)>(number());
    m.ScheduleMode = static_cast<decltype(m.ScheduleMode)>(number());
    m.Userid = text();
    m.AgentPassword = text();
    m.ControlDBQualifier = text();
    m.ControlDatabaseID = text();
    fillList(m.ConfigParmList, 3);
    m.DatabaseRelease = text();
    m.ParentID = text();
    m.ParentBVEdition = static_cast<decltype(m.ParentBVEdition)>(number());
    m.SelectFlag = static_cast<decltype(m.SelectFlag)>(number());
    m.InformationResourceID = text();
    m.DataResourceID = text();
    fillList(m.DPTableList, 3);
    m.DefaultDelimiter = text();
    m.IsRequestFromExternalTrigger = static_cast<decltype(m.IsRequestFromExternalTrigger)>(number());
    m.TransformerCreateType = static_cast<decltype(m.TransformerCreateType)>(number());
    fillStrings(m.CaptureSchemaList);
    m.ProcessStepEdition = static_cast<decltype(m.ProcessStepEdition)>(number());
}

void MessageRandom::fill(XQLogMessage& m) {
    fill(static_cast<XQBaseMessage&>(m));
    m.LogMessageType = static_cast<decltype(m.LogMessageType)>(number());
    m.LogIsUpdate = static_cast<decltype(m.LogIsUpdate)>(number());
    m.EventID = static_cast<decltype(m.EventID)>(number());
    m.EventMessage = text();
    m.BuildUser = text();
    m.BuildAction = text();
    m.BuildSubAction = text();
    m.BuildObjectType = text();
    m.BuildObjectName = text();
    m.BuildMessage = text();
    m.JobSource = text();
    m.CLCommand = text();
    m.TreeLeafCount = static_cast<decltype(m.TreeLeafCount)>(number());
    m.TreeLevelCount = static_cast<decltype(m.TreeLevelCount)>(number());
    m.TreeRetryCount = static_cast<decltype(m.TreeRetryCount)>(number());
    m.TreeRetryDelay = static_cast<decltype(m.TreeRetryDelay)>(number());
    m.CLType = text();
    m.SourceDBType = text();
    m.SourceDBName = text();
    m.TargetDBType = text();
    m.TargetDBName = text();
    m.CLSubCommand = text();
    m.BERowCountSoFar = static_cast<decltype(m.BERowCountSoFar)>(number());
    m.BEByteCountSoFar = static_cast<decltype(m.BEByteCountSoFar)>(number());
    m.CLStepTime = static_cast<decltype(m.CLStepTime)>(number());
    m.CLTotalTime = static_cast<decltype(m.CLTotalTime)>(number());
    m.ExecTS.set_Stamp(static_cast<unsigned long>(number()));
    m.StepGroupType = static_cast<decltype(m.StepGroupType)>(number());
    m.ProcessName = text();
}

namespace {

// Packs twice over different fillings: bytes the packers wrote agree, the
// others do not.
template <class Pack>
PackedMessage packTwice(unsigned long total, Pack pack) {
    PackedMessage p;
    std::vector<unsigned char> other(total + 64, 0x55);
    p.bytes.assign(total + 64, 0xAA);
    pack(p.bytes.data());
    pack(other.data());
    unsigned long written = 0;
    for (unsigned long i = 0; i < p.bytes.size(); ++i)
        if (p.bytes[i] == other[i]) written = i + 1;
    p.written = written;
    p.bytes.resize(total);
    return p;
}

template <class M>
PackedMessage packDerived(M& m) {
    unsigned int baseSize = m.XQBaseMessage::CalculateSize();
    unsigned int ownSize = m.CalculateSize();
    PackedMessage p = packTwice(baseSize + ownSize, [&](unsigned char* b) {
        m.XQBaseMessage::PackMessage(b, baseSize + ownSize);
        m.PackMessage(b + baseSize);
    });
    p.baseSize = baseSize;
    p.ownSize = ownSize;
    return p;
}

}  // namespace

PackedMessage packBase(XQBaseMessage& m) {
    unsigned int size = m.XQBaseMessage::CalculateSize();
    PackedMessage p = packTwice(size, [&](unsigned char* b) { m.XQBaseMessage::PackMessage(b, size); });
    p.baseSize = size;
    return p;
}

PackedMessage packWhole(XQAgentMessage& m) { return packDerived(m); }
PackedMessage packWhole(XQKernelMessage& m) { return packDerived(m); }
PackedMessage packWhole(XQLogMessage& m) { return packDerived(m); }

XQSTRING payloadText(const std::vector<unsigned char>& bytes) {
    XQSTRING s(bytes.size() / sizeof(wchar_t), L'\0');
    if (!s.empty()) memcpy(&s[0], bytes.data(), s.size() * sizeof(wchar_t));
    return s;
}

XQSTRING fieldText(const XQSTRING& s) {
    wchar_t prefix[8];
    swprintf(prefix, 8, L"%05d", static_cast<int>(s.size()));
    return XQSTRING(prefix) + s;
}

XQSTRING fieldNumber(long v) { return fieldText(std::to_wstring(static_cast<int32_t>(v))); }

TempCwd::TempCwd() {
    char tmpl[] = "/tmp/tcore-msg-XXXXXX";
    path_ = mkdtemp(tmpl);
    char cwd[4096];
    old_ = getcwd(cwd, sizeof cwd) ? cwd : "/tmp";
    if (chdir(path_.c_str()) != 0) abort();
}

TempCwd::~TempCwd() {
    if (chdir(old_.c_str()) != 0) abort();
    std::string cmd = "rm -rf '" + path_ + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path_.c_str());
}

std::string TempCwd::read(const std::string& name) const {
    std::ifstream in(path_ + "/" + name, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string::size_type start = 0;
    for (;;) {
        std::string::size_type nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
}

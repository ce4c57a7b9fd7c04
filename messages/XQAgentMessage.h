#ifndef TCORE_MESSAGES_XQAGENTMESSAGE_H
#define TCORE_MESSAGES_XQAGENTMESSAGE_H

#include <cstdint>
#include <vector>

#include "foundation/Export.h"
#include "messages/XQBaseMessage.h"

// Values that belong to the programs; the message only carries them.
typedef int32_t sdbType;
typedef int32_t ProgramType;
typedef int32_t XfType;

// The message that the server and its agents exchange about one unit of work:
// source and target databases, the file to transfer, the program or command
// to run, the agent program itself, six metadata lists, the capture schemas
// and the progress reported back. Its own part follows the base part on the
// wire.
//
// Passwords and connect strings travel as they are held; printouts mask them.
// One thread at a time; the message owns its lists.
class TCORE_EXPORT XQAgentMessage : public XQBaseMessage {
public:
    // A new message holds the base message's initial values and the agent
    // values that Reset gives.
    XQAgentMessage();
    XQAgentMessage(const XQAgentMessage&) = default;
    XQAgentMessage& operator=(const XQAgentMessage&) = default;
    ~XQAgentMessage() override;

    // Replies with Command 22 or SubCommand 19 or 29 are not sent (success).
    XQRC Send(unsigned int unused = 0) override;
    void Print(const XQSTRING& destination) const override;
    // Byte size of the agent part only; no side effects.
    unsigned int CalculateSize() override;
    XQRC UnpackMessage(const unsigned char* buffer, unsigned long* cursor) override;
    using XQBaseMessage::PackMessage;
    // Writes the agent part from part (cursor 0). Returns 0.
    virtual int PackMessage(unsigned char* part);

    // Empties the seven lists, zeroes the numbers (UDPType becomes 3), empties
    // the texts and sets the message type to 2. The routing header, command
    // and carried return code stay as they are.
    void Reset();

    int SetSourceDBConnectString(const XQSTRING& s);
    int SetSourceDBName(const XQSTRING& s);
    int SetSourceDBType(sdbType t);
    int SetSourceDBUserid(const XQSTRING& s);
    int SetSourceDBVersion(const XQSTRING& s);
    int SetSourceDBPassword(const XQSTRING& s);
    int SetSourceDBCodePage(unsigned int cp);
    int SetTargetDBConnectString(const XQSTRING& s);
    int SetTargetDBName(const XQSTRING& s);
    int SetTargetDBType(sdbType t);
    int SetTargetDBUserid(const XQSTRING& s);
    int SetTargetDBVersion(const XQSTRING& s);
    int SetTargetDBPassword(const XQSTRING& s);
    int SetTargetDBCodePage(unsigned int cp);
    int SetControlDBQualifier(const XQSTRING& s);
    int SetDataRequiredFlag(int f);
    int SetSourceFetchCount(unsigned int n);
    int SetUDPName(const XQSTRING& s);
    int SetUDPFunction(const XQSTRING& s);
    int SetUDPType(ProgramType t);
    int SetUDPArgs(const XQSTRING& s);
    int SetSystemCommand(const XQSTRING& s);
    int SetEditionToDelete(unsigned int n);
    int SetProcessId(unsigned int n);
    int SetAgentModuleName(XQSTRING s);
    int SetAgentPath(XQSTRING s);
    int SetAgentArguments(XQSTRING s);
    int SetAgentUserid(XQSTRING s);
    int SetAgentPassword(XQSTRING s);
    int SetSourceDBMSServerName(const XQSTRING& s);
    int SetTargetDBMSServerName(const XQSTRING& s);
    int SetDefaultDelimiter(const XQSTRING& s);
    int SetXfCreateType(XfType t);

    // Request data; each returns success.
    // InputDataList = copies of cols, SQLStmt1 = stmt.
    XQRC SetSelectEditionData(const XQSTRING& stmt, const std::vector<XQAttributeData>& cols);
    // stmt = SQLStmt1; cols replaced by copies of InputDataList.
    XQRC GetSelectEditionData(XQSTRING& stmt, std::vector<XQAttributeData>& cols) const;
    // OutputDataList = copies of cols, SQLStmt1 = stmt.
    XQRC SetPrepareInsertStatementData(const XQSTRING& stmt, const std::vector<XQAttributeData>& cols);
    // stmt = SQLStmt1; copies of OutputDataList appended to cols.
    XQRC GetPrepareInsertStatementData(XQSTRING& stmt, std::vector<XQAttributeData>& cols) const;
    XQRC SetFetchAndInsertXData(const XQSTRING& stmt, const std::vector<XQAttributeData>& cols, int dataRequired,
                                unsigned int fetchCount);
    XQRC GetFetchAndInsertXData(XQSTRING& stmt, std::vector<XQAttributeData>& cols, int& dataRequired,
                                unsigned int& fetchCount) const;

    // Members, in declaration order.
    int FlatFileType;
    int FlatFileFlag;
    int BERowCountSoFar;
    int BEByteCountSoFar;
    int BEInsertDone;
    XQSTRING StatusMsg;
    XQSTRING SourceFileName;
    int SourceBinaryFlag;
    XQSTRING SourceFTPServer;
    XQSTRING SourceMountString;
    XQSTRING SourceMountPoint;
    XQSTRING SourceDBConnectString;
    XQSTRING SourceDBName;
    sdbType SourceDBType;
    XQSTRING SourceDBVersion;
    XQSTRING SourceDBUserid;
    XQSTRING SourceDBPassword;
    unsigned int SourceDBCodePage;
    XQSTRING TargetDBConnectString;
    XQSTRING TargetDBName;
    sdbType TargetDBType;
    XQSTRING TargetDBVersion;
    XQSTRING TargetDBUserid;
    XQSTRING TargetDBPassword;
    unsigned int TargetDBCodePage;
    XQSTRING ControlDBQualifier;
    int DataRequiredFlag;
    unsigned int SourceFetchCount;
    XQSTRING UDPName;
    XQSTRING UDPFunction;
    ProgramType UDPType;
    XQSTRING UDPArgs;
    XQSTRING SystemCommand;
    unsigned int EditionToDelete;
    unsigned int ProcessId;
    XQSTRING AgentModuleName;
    XQSTRING AgentPath;
    XQSTRING AgentArguments;
    XQSTRING AgentUserid;
    XQSTRING AgentPassword;
    std::vector<XQAttributeData> InputDataList;
    std::vector<XQAttributeData> OutputDataList;
    std::vector<XQTableNameData> TableList;
    std::vector<XQDPTableNameData> DPropTableList;
    std::vector<XQPrimaryKeyData> PrimaryKeyList;
    std::vector<XQForeignKeyData> ForeignKeyList;
    XQSTRING SourceDBMSServerName;
    XQSTRING TargetDBMSServerName;
    XQSTRING DefaultDelimiter;
    XfType XfCreateType;
    std::vector<XQSTRING> CaptureSchemaList;
};

#endif

#ifndef TCORE_MESSAGES_XQLOGMESSAGE_H
#define TCORE_MESSAGES_XQLOGMESSAGE_H

#include "foundation/Export.h"
#include "foundation/TimeStamp.h"
#include "messages/XQBaseMessage.h"

// One log record for the logger: an event or build action, a command with
// its timings, the retry tree, source and target databases by name, progress
// and the process. Its own part follows the base part on the wire, in
// declaration order except that BuildObjectName travels before
// BuildObjectType. It has no lists.
//
// Print writes the base part as the base message does; the log part goes to
// standard output for an empty destination and to a file otherwise ("COUT"
// included). One thread at a time.
class TCORE_EXPORT XQLogMessage : public XQBaseMessage {
public:
    // The base message's initial values and the values Reset gives; ExecTS
    // is the time of construction.
    XQLogMessage();
    XQLogMessage(const XQLogMessage&) = default;
    XQLogMessage& operator=(const XQLogMessage&) = default;
    ~XQLogMessage() override;

    XQRC Send(unsigned int unused = 0) override;
    void Print(const XQSTRING& destination) const override;
    // Byte size of the log part only; no side effects.
    unsigned int CalculateSize() override;
    XQRC UnpackMessage(const unsigned char* buffer, unsigned long* cursor) override;
    using XQBaseMessage::PackMessage;
    // Writes the log part from part (cursor 0). Returns 0.
    virtual int PackMessage(unsigned char* part) const;

    // Numbers to 0, texts to empty, message type 3; ExecTS and the base
    // message's other members stay as they are.
    void Reset();

    int SetJobSource(const XQSTRING& s);
    int SetCLCommand(const XQSTRING& s);
    int SetTreeLeafCount(unsigned int n);
    int SetTreeLevelCount(unsigned int n);
    int SetTreeRetryCount(unsigned int n);
    int SetTreeRetryDelay(unsigned int n);
    int SetCLType(const XQSTRING& s);
    int SetSourceDBType(const XQSTRING& s);
    int SetSourceDBName(const XQSTRING& s);
    int SetTargetDBType(const XQSTRING& s);
    int SetTargetDBName(const XQSTRING& s);
    int SetCLSubCommand(const XQSTRING& s);
    int SetBERowCountSoFar(unsigned int n);
    int SetBEByteCountSoFar(unsigned int n);
    int SetCLStepTime(unsigned int n);
    int SetCLTotalTime(unsigned int n);
    int SetStepGroupType(unsigned int n);
    int SetProcessName(const XQSTRING& s);

    // Members, in declaration order.
    int LogMessageType;
    int LogIsUpdate;
    int EventID;
    XQSTRING EventMessage;
    XQSTRING BuildUser;
    XQSTRING BuildAction;
    XQSTRING BuildSubAction;
    XQSTRING BuildObjectType;
    XQSTRING BuildObjectName;
    XQSTRING BuildMessage;
    XQSTRING JobSource;
    XQSTRING CLCommand;
    unsigned int TreeLeafCount;
    unsigned int TreeLevelCount;
    unsigned int TreeRetryCount;
    unsigned int TreeRetryDelay;
    XQSTRING CLType;
    XQSTRING SourceDBType;
    XQSTRING SourceDBName;
    XQSTRING TargetDBType;
    XQSTRING TargetDBName;
    XQSTRING CLSubCommand;
    unsigned int BERowCountSoFar;
    unsigned int BEByteCountSoFar;
    unsigned int CLStepTime;
    unsigned int CLTotalTime;
    TimeStamp ExecTS;
    unsigned int StepGroupType;
    XQSTRING ProcessName;
};

#endif

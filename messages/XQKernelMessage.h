#ifndef TCORE_MESSAGES_XQKERNELMESSAGE_H
#define TCORE_MESSAGES_XQKERNELMESSAGE_H

#include <vector>

#include "foundation/Export.h"
#include "messages/XQBaseMessage.h"

// The message that carries a request to, or a result from, the server about
// one information resource: its tables, columns and keys, the control
// database, configuration parameters, editions and scheduling. Its own part
// follows the base part on the wire, in declaration order.
//
// Reset is the base message's and leaves the kernel members alone; programs
// read and write the members directly. Every kernel message is sent, replies
// included. One thread at a time; the message owns its lists.
class TCORE_EXPORT XQKernelMessage : public XQBaseMessage {
public:
    // The base message's initial values, empty texts, zero numbers, empty lists.
    XQKernelMessage();
    XQKernelMessage(const XQKernelMessage&) = default;
    XQKernelMessage& operator=(const XQKernelMessage&) = default;
    ~XQKernelMessage() override;

    XQRC Send(unsigned int unused = 0) override;
    void Print(const XQSTRING& destination) const override;
    // Byte size of the kernel part only.
    unsigned int CalculateSize() override;
    XQRC UnpackMessage(const unsigned char* buffer, unsigned long* cursor) override;
    using XQBaseMessage::PackMessage;
    // Writes the kernel part from part (cursor 0). Returns 0.
    virtual int PackMessage(unsigned char* part);

    // Members, in declaration (and wire) order.
    XQSTRING InformationResource;
    XQSTRING AliasName;
    std::vector<XQTableNameData> TableList;
    std::vector<XQAttributeData> IRColumnList;
    std::vector<XQPrimaryKeyData> IRPrimaryKeyList;
    std::vector<XQForeignKeyData> IRForeignKeyList;
    unsigned int RowCount;
    unsigned int ByteCount;
    unsigned int RowLimit;
    int ScheduleMode;  // nonzero: manual; 0: automatic
    XQSTRING Userid;
    XQSTRING AgentPassword;
    XQSTRING ControlDBQualifier;
    XQSTRING ControlDatabaseID;
    std::vector<XQCfgParm> ConfigParmList;
    XQSTRING DatabaseRelease;
    XQSTRING ParentID;
    unsigned int ParentBVEdition;
    int SelectFlag;
    XQSTRING InformationResourceID;
    XQSTRING DataResourceID;
    std::vector<XQDPTableNameData> DPTableList;
    XQSTRING DefaultDelimiter;
    int IsRequestFromExternalTrigger;
    int TransformerCreateType;
    std::vector<XQSTRING> CaptureSchemaList;
    unsigned int ProcessStepEdition;
};

#endif

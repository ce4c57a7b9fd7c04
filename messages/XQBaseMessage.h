#ifndef TCORE_MESSAGES_XQBASEMESSAGE_H
#define TCORE_MESSAGES_XQBASEMESSAGE_H

#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/Export.h"
#include "foundation/TimeStamp.h"
#include "foundation/XQRC.h"
#include "foundation/XQString.h"
#include "messages/ListEncoding.h"
#include "messages/ListEncodingBO.h"

// Kind of message; SetMessageType sets the eye catcher from it.
enum EMSGTYPE : int32_t {
    XQBaseMsgType = 1,
    XQAgentMsgType = 2,
    XQLogMsgType = 3,
    XQKernelMsgType = 4,
    XQWipMsgType = 5
};

// Character type of the sender. Only XQCharUnicode is accepted on receipt.
enum ECHARTYPE : int32_t {
    XQCharNone = 0,
    XQCharUnicode = 1,
    XQCharUCS2 = 2,
    XQCharAscii = 3,
    XQCharDbcs = 4
};

// Values whose meanings belong to the programs; the message only carries them
// (DebugFlags of 3 and above also dumps the message into "ORV2LOGC.LOG").
typedef int32_t ECOMMAND;
typedef int32_t commandType;
typedef int32_t EDEBUG;

// Largest message (base and derived part) that Send accepts.
const unsigned int XQ_MAX_MESSAGE_SIZE = 4194304;

// Return codes of the message family (domain WhsSrv).
const int XQ_MSG_BAD_CHARTYPE = 9146;
const int XQ_MSG_NOT_SENT = 9147;
const int XQ_MSG_TOO_LARGE = 9148;
const int XQ_MSG_BAD_RELEASE = 9149;

// The common part of every message exchanged between the programs: routing
// header, command, the carried return code, database-request fields and five
// lists. Sizes, packs, unpacks, prints and sends itself.
//
// A message object is used by one thread at a time; it has no lock. It owns
// its lists and their elements; copying copies every member, lists element by
// element. The members are public: programs read and write them directly.
//
// Packed form: wchar_t characters in host order, items 1 to 3 fixed-width
// (eye catcher, character-type code, total size), then length-prefixed
// fields. Unpacking never reads past the total size announced in item 3, nor
// past the byte count given to UnpackMessageBounded; a field or list that
// would run past it reads as empty or 0.
class TCORE_EXPORT XQBaseMessage {
public:
    XQBaseMessage();
    XQBaseMessage(const XQBaseMessage&) = default;
    XQBaseMessage& operator=(const XQBaseMessage&) = default;
    virtual ~XQBaseMessage();

    // Virtual operations, in slot order.
    virtual XQRC Send(unsigned int unused = 0);
    // Empty destination: standard output (fprintf); "COUT": the standard
    // output stream; anything else: a file opened for appending.
    virtual void Print(const XQSTRING& destination) const;
    virtual void OneLineSendTrace(int toTrace);
    // Byte size of the packed base part. Stamps TransmitTS with the current
    // time and, when IsRequest is 1, fills OriginInetAddr with the local
    // host's dotted address (when that is a loopback address and
    // DestQueueHost is not, the address of the interface that routes to
    // DestQueueHost): sizing a message is part of sending it.
    virtual unsigned int CalculateSize();
    // REQUIRES: buffer holds size bytes, size >= the base part's size. Writes
    // the base part from byte 0; size (base plus derived part) goes into item 3.
    virtual int PackMessage(unsigned char* buffer, unsigned long size) const;
    // Reads the base part from byte 0; when cursor is not null, stores the
    // offset just behind the base part there. REQUIRES: the buffer holds at
    // least the total size announced in the message (the queue checks this);
    // use UnpackMessageBounded when that is not known.
    virtual XQRC UnpackMessage(const unsigned char* buffer, unsigned long* cursor);

    // Unpacks through the virtual UnpackMessage, reading nothing at or beyond
    // buffer + bytes whatever the message announces.
    XQRC UnpackMessageBounded(const unsigned char* buffer, unsigned long bytes);
    // Total size announced in item 3 of a packed message of the given length,
    // after the eye-catcher scan; 0 when the head does not fit in bytes.
    static unsigned long GetAnnouncedSize(const unsigned char* buffer, unsigned long bytes);

    // 0 and no change when s is longer than 10 characters; otherwise stores s
    // padded with blanks to 10 characters and returns 1.
    int SetEyeCatcher(const XQSTRING& s);
    int SetMessageType(EMSGTYPE t);
    int SetCharacterType(ECHARTYPE t);
    int SetMessageID(unsigned int id);
    int SetReleaseLevel(const XQSTRING& s);
    int SetOriginQueueName(const XQSTRING& s);
    int SetOriginQueueHost(const XQSTRING& s);
    int SetOriginQueuePort(unsigned int port);
    int SetDestQueueName(const XQSTRING& s);
    int SetDestQueueHost(const XQSTRING& s);
    int SetDestQueuePort(unsigned int port);
    int SetIsRequest(int v);
    int SetReplyNeeded(int v);
    int SetCommand(ECOMMAND c);
    int SetSubCommand(commandType c);
    int SetDebugFlags(EDEBUG d);
    int SetTransmitTS(const TimeStamp& ts);
    int SetBVName(const XQSTRING& s);
    int SetBENumber(unsigned int n);
    int SetSQLStmt1(const XQSTRING& s);
    int SetSQLStmt2(const XQSTRING& s);
    void SetRowsRequested(long n);
    void SetRowsReceived(long n);
    int SetCommitFlag(int v);

    // Back to the initial values; leaves ReturnCode and OriginInetAddr alone.
    void Reset();
    // Copies the carried return code into rc (comment appended). Always success.
    XQRC GetRCFromReply(XQRC& rc) const;
    // " ", "U", "U", "A", "D" for 0 to 4; " " otherwise.
    XQSTRING GetCharacterTypeCode(ECHARTYPE t) const;

    // List encoders, shared with the derived messages. Each forwards to the
    // free function of the same name.
    unsigned int CalculatePrimaryKeyListSize(const std::vector<XQPrimaryKeyData>& l) const;
    void CopyPrimaryKeyListToBuffer(const std::vector<XQPrimaryKeyData>& l, unsigned char* b,
                                    unsigned long* c) const;
    void GetPrimaryKeyListFromBuffer(std::vector<XQPrimaryKeyData>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateForeignKeyListSize(const std::vector<XQForeignKeyData>& l) const;
    void CopyForeignKeyListToBuffer(const std::vector<XQForeignKeyData>& l, unsigned char* b,
                                    unsigned long* c) const;
    void GetForeignKeyListFromBuffer(std::vector<XQForeignKeyData>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateDataListSize(const std::vector<XQAttributeData>& l) const;
    void CopyDataListToBuffer(const std::vector<XQAttributeData>& l, unsigned char* b, unsigned long* c) const;
    void GetDataListFromBuffer(std::vector<XQAttributeData>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateTableListSize(const std::vector<XQTableNameData>& l) const;
    void CopyTableListToBuffer(const std::vector<XQTableNameData>& l, unsigned char* b, unsigned long* c) const;
    void GetTableListFromBuffer(std::vector<XQTableNameData>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateDPTableListSize(const std::vector<XQDPTableNameData>& l) const;
    void CopyDPTableListToBuffer(const std::vector<XQDPTableNameData>& l, unsigned char* b, unsigned long* c) const;
    void GetDPTableListFromBuffer(std::vector<XQDPTableNameData>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateColAttrListSize(const std::vector<XQColAttrData>& l) const;
    void CopyColAttrListToBuffer(const std::vector<XQColAttrData>& l, unsigned char* b, unsigned long* c) const;
    void GetColAttrListFromBuffer(std::vector<XQColAttrData>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateResultSetSize(const std::vector<XQResultSetData>& l) const;
    void CopyResultSetToBuffer(const std::vector<XQResultSetData>& l, unsigned char* b, unsigned long* c) const;
    void GetResultSetFromBuffer(std::vector<XQResultSetData>& l, const unsigned char* b, unsigned long* c,
                                long rows);
    unsigned int CalculateCfgParmListSize(const std::vector<XQCfgParm>& l) const;
    void CopyCfgParmListToBuffer(const std::vector<XQCfgParm>& l, unsigned char* b, unsigned long* c) const;
    void GetCfgParmListFromBuffer(std::vector<XQCfgParm>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateCaptureSchemaListSize(const std::vector<XQSTRING>& l) const;
    void CopyCaptureSchemaListToBuffer(const std::vector<XQSTRING>& l, unsigned char* b, unsigned long* c) const;
    void GetCaptureSchemaListFromBuffer(std::vector<XQSTRING>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateRfcFieldDescListSize(const std::vector<XQRfcFieldDesc>& l) const;
    void CopyRfcFieldDescListToBuffer(const std::vector<XQRfcFieldDesc>& l, unsigned char* b,
                                      unsigned long* c) const;
    void GetRfcFieldDescListFromBuffer(std::vector<XQRfcFieldDesc>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateRfcStElemDescListSize(const std::vector<XQRfcStElemDesc>& l) const;
    void CopyRfcStElemDescListToBuffer(const std::vector<XQRfcStElemDesc>& l, unsigned char* b,
                                       unsigned long* c) const;
    void GetRfcStElemDescListFromBuffer(std::vector<XQRfcStElemDesc>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateBapiParamListSize(const std::vector<XQBapiParam>& l) const;
    void CopyBapiParamListToBuffer(const std::vector<XQBapiParam>& l, unsigned char* b, unsigned long* c) const;
    void GetBapiParamListFromBuffer(std::vector<XQBapiParam>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateBOBapiListSize(const std::vector<XQBOBapi>& l) const;
    void CopyBOBapiListToBuffer(const std::vector<XQBOBapi>& l, unsigned char* b, unsigned long* c) const;
    void GetBOBapiListFromBuffer(std::vector<XQBOBapi>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateBONodeListSize(const std::vector<XQBONode>& l) const;
    void CopyBONodeListToBuffer(const std::vector<XQBONode>& l, unsigned char* b, unsigned long* c) const;
    void GetBONodeListFromBuffer(std::vector<XQBONode>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateBONameListSize(const std::vector<XQBOName>& l) const;
    void CopyBONameListToBuffer(const std::vector<XQBOName>& l, unsigned char* b, unsigned long* c) const;
    void GetBONameListFromBuffer(std::vector<XQBOName>& l, const unsigned char* b, unsigned long* c);
    unsigned int CalculateLPZDataListSize(const std::vector<XQLPZData>& l) const;
    void CopyLPZDataListToBuffer(const std::vector<XQLPZData>& l, unsigned char* b, unsigned long* c) const;
    void GetLPZDataListFromBuffer(std::vector<XQLPZData>& l, const unsigned char* b, unsigned long* c);

    // Members, in declaration order.
    XQRC ReturnCode;  // the return code a reply carries back
    wchar_t EyeCatcher[11];
    ECHARTYPE CharacterType;
    unsigned int MessageID;
    XQSTRING ReleaseLevel;
    EMSGTYPE MessageType;
    XQSTRING OriginQueueName;
    XQSTRING OriginQueueHost;
    unsigned int OriginQueuePort;
    XQSTRING OriginInetAddr;
    XQSTRING DestQueueName;
    XQSTRING DestQueueHost;
    unsigned int DestQueuePort;
    int IsRequest;
    int ReplyNeeded;
    ECOMMAND Command;
    commandType SubCommand;
    EDEBUG DebugFlags;
    TimeStamp TransmitTS;
    int FilterFlag;
    XQSTRING BVName;
    unsigned int BENumber;
    XQSTRING SQLStmt1;
    XQSTRING SQLStmt2;
    long RowsRequested;
    long RowsReceived;
    std::vector<XQColAttrData> ColAttrList;
    std::vector<XQResultSetData> ResultSet;
    int CommitFlag;
    std::vector<XQBOName> BONameList;
    std::vector<XQBONode> BONodeList;
    std::vector<XQLPZData> LPZDataList;

protected:
    // How a derived message's Send differs from its siblings'.
    struct FamilySend {
        const wchar_t* method;        // recorded in the return codes
        const char* noSocketLine;     // after BVName, at trace level 3
        bool skipUnsentReplies;       // replies with Command 22, SubCommand 19/29
        const char* dumpHeader;       // before the size check, DebugFlags >= 3
        const char* tooLargeTitle;    // standard-output line when too large, or null
        const char* ownSizeName;      // name of the own size in that line
        bool sizeTraces;              // level-4 lines with sizes and addresses
    };
    // The send of the derived messages: sizes both parts (the derived part
    // through the virtual CalculateSize), packs the base part and then the
    // derived part through packOwn, and sends on a new socket: a request to
    // DestQueueHost/DestQueuePort, a reply to OriginInetAddr/OriginQueuePort.
    XQRC SendAsFamily(const FamilySend& how, const std::function<int(unsigned char*)>& packOwn);
    // Where reading must stop for the message at buffer: the announced total
    // size, narrowed by the limit of UnpackMessageBounded. Derived unpackers
    // bound their own part with it.
    unsigned long UnpackLimit(const unsigned char* buffer) const;
    // Appends header to "ORV2LOGC.LOG" in the current directory (skipped when
    // the file does not open), then prints the whole message into it.
    void DumpToLogFile(const char* header) const;

private:
    // Bytes present during UnpackMessageBounded; otherwise the largest value:
    // no limit beyond the announced size.
    unsigned long boundedEnd_ = static_cast<unsigned long>(-1);
};

#endif

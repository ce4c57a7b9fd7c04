#include "messages/XQBaseMessage.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "foundation/Trace.h"
#include "messages/FieldEncoding.h"
#include "messages/FieldReaderImpl.h"
#include "messages/FieldWriter.h"
#include "messages/MessagePrinter.h"
#include "messages/XQFieldReader.h"
#include "transport/XQOriginAddress.h"
#include "transport/XQSocket.h"

namespace {

inline void putText(unsigned char* b, unsigned long* c, const XQSTRING& s) { CopyStringFieldToBuffer(b, c, s); }
inline void putNumber(unsigned char* b, unsigned long* c, long v) { CopyNumberFieldToBuffer(b, c, v); }
inline void putRaw(unsigned char* b, unsigned long* c, const wchar_t* text, unsigned long chars) {
    memcpy(b + *c, text, chars * sizeof(wchar_t));
    *c += chars * sizeof(wchar_t);
}

// The total size as "%10d" prints it: right-aligned in ten characters,
// blank padded (the first ten of a longer number), without the wide printf.
void putSize(unsigned char* b, unsigned long* c, int size) {
    unsigned char text[4 * 11];
    const unsigned long chars = xqfield::storeNumberText(text, size);
    const unsigned long pad = chars < 10 ? 10 - chars : 0;
    for (unsigned long i = 0; i < pad; ++i) xqfield::storeChar(b + *c + 4 * i, L' ');
    std::memcpy(b + *c + 4 * pad, text, 4 * (10 - pad));
    *c += 4 * 10;
}

}  // namespace

namespace {

const wchar_t kReleaseLevel[] = L"8.1.0";
const unsigned long kEyeCatcherBytes = 40;
const unsigned long kSizeBytes = 40;

// Byte of a wide character that holds its low byte in host order: the
// eye-catcher scan looks there.
inline unsigned long lowByteOffset() {
    const wchar_t probe = 1;
    unsigned char first;
    memcpy(&first, &probe, 1);
    return first == 1 ? 0 : sizeof(wchar_t) - 1;
}

// Eye-catcher scan over the first 20 bytes: the offset of the message, or -1.
long findEyeCatcher(const unsigned char* buffer, unsigned long bytes) {
    for (unsigned long i = 0; i < 20; ++i) {
        if (i + 4 >= bytes) break;
        if (buffer[i] == 'X' && buffer[i + 4] == 'Q') {
            unsigned long low = lowByteOffset();
            return i >= low ? static_cast<long>(i - low) : 0;
        }
    }
    return -1;
}

std::string mb(const XQSTRING& s) { return xqToMultibyte(s); }

XQRC messageError(int code, const wchar_t* method) {
    XQRC rc(code, 0, XQRC::WhsSrv);
    formatXQRC(rc, method, XQSTRING(), code, 0);
    return rc;
}

}  // namespace

XQBaseMessage::XQBaseMessage()
    : ReturnCode(0, 0, XQRC::WhsSrv),
      CharacterType(XQCharUnicode),
      MessageID(0),
      MessageType(XQBaseMsgType),
      OriginQueuePort(0),
      DestQueuePort(0),
      IsRequest(1),
      ReplyNeeded(1),
      Command(0),
      SubCommand(0),
      DebugFlags(0),
      FilterFlag(0),
      BENumber(0),
      RowsRequested(0),
      RowsReceived(0),
      CommitFlag(0) {
    wmemset(EyeCatcher, L' ', 10);
    EyeCatcher[10] = 0;
    ReturnCode.Reset();
    Reset();
}

XQBaseMessage::~XQBaseMessage() = default;

void XQBaseMessage::Reset() {
    SetMessageType(XQBaseMsgType);
    CharacterType = XQCharUnicode;
    MessageID = 0;
    ReleaseLevel = kReleaseLevel;
    OriginQueueName.clear();
    OriginQueueHost.clear();
    OriginQueuePort = 0;
    DestQueueName.clear();
    DestQueueHost.clear();
    DestQueuePort = 0;
    IsRequest = 1;
    ReplyNeeded = 1;
    Command = 0;
    SubCommand = 0;
    DebugFlags = 0;
    TransmitTS.timeStamp();
    FilterFlag = 0;
    BVName.clear();
    BENumber = 0;
    SQLStmt1.clear();
    SQLStmt2.clear();
    RowsRequested = 0;
    RowsReceived = 0;
    ColAttrList.clear();
    ResultSet.clear();
    CommitFlag = 0;
    BONameList.clear();
    BONodeList.clear();
    LPZDataList.clear();
}

int XQBaseMessage::SetEyeCatcher(const XQSTRING& s) {
    if (s.size() > 10) return 0;
    wmemset(EyeCatcher, L' ', 10);
    if (!s.empty()) wmemcpy(EyeCatcher, s.data(), s.size());
    EyeCatcher[10] = 0;
    return 1;
}

int XQBaseMessage::SetMessageType(EMSGTYPE t) {
    MessageType = t;
    switch (t) {
        case XQBaseMsgType: SetEyeCatcher(L"XQBase"); break;
        case XQAgentMsgType: SetEyeCatcher(L"XQAgent"); break;
        case XQLogMsgType: SetEyeCatcher(L"XQLog"); break;
        case XQKernelMsgType: SetEyeCatcher(L"XQKernel"); break;
        case XQWipMsgType: SetEyeCatcher(L"XQWip"); break;
        default: SetEyeCatcher(XQSTRING()); break;
    }
    return 1;
}

int XQBaseMessage::SetCharacterType(ECHARTYPE t) { CharacterType = t; return 1; }
int XQBaseMessage::SetMessageID(unsigned int id) { MessageID = id; return 1; }
int XQBaseMessage::SetReleaseLevel(const XQSTRING& s) { ReleaseLevel = s; return 1; }
int XQBaseMessage::SetOriginQueueName(const XQSTRING& s) { OriginQueueName = s; return 1; }
int XQBaseMessage::SetOriginQueueHost(const XQSTRING& s) { OriginQueueHost = s; return 1; }
int XQBaseMessage::SetOriginQueuePort(unsigned int port) { OriginQueuePort = port; return 1; }
int XQBaseMessage::SetDestQueueName(const XQSTRING& s) { DestQueueName = s; return 1; }
int XQBaseMessage::SetDestQueueHost(const XQSTRING& s) { DestQueueHost = s; return 1; }
int XQBaseMessage::SetDestQueuePort(unsigned int port) { DestQueuePort = port; return 1; }
int XQBaseMessage::SetIsRequest(int v) { IsRequest = v; return 1; }
int XQBaseMessage::SetReplyNeeded(int v) { ReplyNeeded = v; return 1; }
int XQBaseMessage::SetCommand(ECOMMAND c) { Command = c; return 1; }
int XQBaseMessage::SetSubCommand(commandType c) { SubCommand = c; return 1; }
int XQBaseMessage::SetDebugFlags(EDEBUG d) { DebugFlags = d; return 1; }
int XQBaseMessage::SetTransmitTS(const TimeStamp& ts) { TransmitTS = ts; return 1; }
int XQBaseMessage::SetBVName(const XQSTRING& s) { BVName = s; return 1; }
int XQBaseMessage::SetBENumber(unsigned int n) { BENumber = n; return 1; }
int XQBaseMessage::SetSQLStmt1(const XQSTRING& s) { SQLStmt1 = s; return 1; }
int XQBaseMessage::SetSQLStmt2(const XQSTRING& s) { SQLStmt2 = s; return 1; }
void XQBaseMessage::SetRowsRequested(long n) { RowsRequested = n; }
void XQBaseMessage::SetRowsReceived(long n) { RowsReceived = n; }
int XQBaseMessage::SetCommitFlag(int v) { CommitFlag = v; return 1; }

XQSTRING XQBaseMessage::GetCharacterTypeCode(ECHARTYPE t) const {
    switch (t) {
        case XQCharUnicode:
        case XQCharUCS2: return L"U";
        case XQCharAscii: return L"A";
        case XQCharDbcs: return L"D";
        default: return L" ";
    }
}

unsigned int XQBaseMessage::CalculateSize() {
    XQ_TRACE_METHOD("XQBaseMessage::CalculateSize()");
    if (IsRequest == 1) {
        std::unique_ptr<XQSocket> socket(new (std::nothrow) XQSocket());
        if (!socket)
            traceUnlockedLine("Error during creating XQScoket: ");
        else if (socket->GetInetAddr(OriginInetAddr).code == 0)
            // A loopback host address would send a remote replier's answer to itself.
            OriginInetAddr = xqOriginAddressFor(OriginInetAddr, DestQueueHost);
    }
    TransmitTS.timeStamp();

    const XQRC& rc = ReturnCode;
    unsigned long chars = 0;
    auto num = [&chars](long v) { chars += NumberTextLength(v); };
    auto txt = [&chars](const XQSTRING& s) { chars += s.size(); };
    num(MessageID);
    txt(ReleaseLevel);
    num(MessageType);
    txt(OriginQueueName);
    txt(OriginQueueHost);
    num(OriginQueuePort);
    txt(DestQueueName);
    txt(DestQueueHost);
    num(DestQueuePort);
    num(IsRequest);
    num(ReplyNeeded);
    num(Command);
    num(SubCommand);
    num(DebugFlags);
    num(static_cast<long>(TransmitTS.get_Stamp()));
    txt(BVName);
    num(BENumber);
    txt(rc.methodName);
    txt(rc.executableName);
    num(rc.code);
    num(rc.secondaryCode);
    num(rc.isWarningFlag);
    num(rc.domain);
    txt(rc.systemMessage);
    txt(rc.hostName);
    txt(rc.comment);
    txt(rc.messageToken1);
    txt(rc.messageToken2);
    txt(rc.messageToken3);
    txt(rc.messageToken4);
    txt(rc.messageToken5);
    txt(rc.messageToken6);
    txt(rc.messageToken7);
    txt(rc.messageToken8);
    txt(rc.messageToken9);
    txt(rc.messageToken10);
    txt(rc.auxText);
    txt(OriginInetAddr);
    num(FilterFlag);
    txt(SQLStmt1);
    txt(SQLStmt2);
    num(RowsRequested);
    num(RowsReceived);
    num(CommitFlag);

    unsigned long size = 960 + 4 * GetCharacterTypeCode(CharacterType).size() + 4 * chars;
    size += CalculateColAttrListSize(ColAttrList);
    size += CalculateResultSetSize(ResultSet);
    size += CalculateBONameListSize(BONameList);
    size += CalculateBONodeListSize(BONodeList);
    size += CalculateLPZDataListSize(LPZDataList);
    return static_cast<unsigned int>(size);
}

int XQBaseMessage::PackMessage(unsigned char* buffer, unsigned long size) const {
    XQ_TRACE_METHOD("XQBaseMessage::PackMessage()");
    unsigned long cursor = 0;
    putRaw(buffer, &cursor, EyeCatcher, 10);
    XQSTRING code = GetCharacterTypeCode(CharacterType);
    putRaw(buffer, &cursor, code.data(), code.size());
    putSize(buffer, &cursor, static_cast<int>(size));

    const XQRC& rc = ReturnCode;
    putNumber(buffer, &cursor, MessageID);
    putText(buffer, &cursor, ReleaseLevel);
    putNumber(buffer, &cursor, MessageType);
    putText(buffer, &cursor, OriginQueueName);
    putText(buffer, &cursor, OriginQueueHost);
    putNumber(buffer, &cursor, OriginQueuePort);
    putText(buffer, &cursor, DestQueueName);
    putText(buffer, &cursor, DestQueueHost);
    putNumber(buffer, &cursor, DestQueuePort);
    putNumber(buffer, &cursor, IsRequest);
    putNumber(buffer, &cursor, ReplyNeeded);
    putNumber(buffer, &cursor, Command);
    putNumber(buffer, &cursor, SubCommand);
    putNumber(buffer, &cursor, DebugFlags);
    putNumber(buffer, &cursor, static_cast<long>(TransmitTS.get_Stamp()));
    putText(buffer, &cursor, BVName);
    putNumber(buffer, &cursor, BENumber);
    putText(buffer, &cursor, rc.methodName);
    putText(buffer, &cursor, rc.executableName);
    putNumber(buffer, &cursor, rc.code);
    putNumber(buffer, &cursor, rc.secondaryCode);
    putNumber(buffer, &cursor, rc.isWarningFlag);
    putNumber(buffer, &cursor, rc.domain);
    putText(buffer, &cursor, rc.systemMessage);
    putText(buffer, &cursor, rc.hostName);
    putText(buffer, &cursor, rc.comment);
    putText(buffer, &cursor, rc.messageToken1);
    putText(buffer, &cursor, rc.messageToken2);
    putText(buffer, &cursor, rc.messageToken3);
    putText(buffer, &cursor, rc.messageToken4);
    putText(buffer, &cursor, rc.messageToken5);
    putText(buffer, &cursor, rc.messageToken6);
    putText(buffer, &cursor, rc.messageToken7);
    putText(buffer, &cursor, rc.messageToken8);
    putText(buffer, &cursor, rc.messageToken9);
    putText(buffer, &cursor, rc.messageToken10);
    putText(buffer, &cursor, rc.auxText);
    putText(buffer, &cursor, OriginInetAddr);
    putNumber(buffer, &cursor, FilterFlag);
    putText(buffer, &cursor, SQLStmt1);
    putText(buffer, &cursor, SQLStmt2);
    putNumber(buffer, &cursor, RowsRequested);
    putNumber(buffer, &cursor, RowsReceived);
    CopyColAttrListToBuffer(ColAttrList, buffer, &cursor);
    CopyResultSetToBuffer(ResultSet, buffer, &cursor);
    putNumber(buffer, &cursor, CommitFlag);
    CopyBONameListToBuffer(BONameList, buffer, &cursor);
    CopyBONodeListToBuffer(BONodeList, buffer, &cursor);
    CopyLPZDataListToBuffer(LPZDataList, buffer, &cursor);

    if (DebugFlags >= 3) DumpToLogFile(">>>>>> Dumping base message after pack:\n");

    // A writer that ran past the size written in the head has overwritten
    // memory that is not the message's.
    const long written = static_cast<int>(size);
    const unsigned char* lastWritten = buffer + cursor - 1;
    const unsigned char* lastOfMessage = buffer + written - 1;
    if (lastWritten > lastOfMessage) {
        char line[160];
        snprintf(line, sizeof line, "\n!!! KOLTA XQBaseMessage::PackMessage found mismatched message info %p/%p",
                 static_cast<const void*>(lastWritten), static_cast<const void*>(lastOfMessage));
        traceUnlockedLine(line);
    }
    return 0;
}

unsigned long XQBaseMessage::GetAnnouncedSize(const unsigned char* buffer, unsigned long bytes) {
    long found = findEyeCatcher(buffer, bytes);
    unsigned long pos = found < 0 ? 0 : static_cast<unsigned long>(found);
    unsigned long sizePos = pos + kEyeCatcherBytes + 4;
    if (bytes < sizePos || bytes - sizePos < kSizeBytes) return 0;
    long size = xqfield::parseNumber(buffer + sizePos, kSizeBytes / 4);
    return size < 0 ? 0 : static_cast<unsigned long>(size);
}

unsigned long XQBaseMessage::UnpackLimit(const unsigned char* buffer) const {
    // Without a byte count the head is taken as present (the caller's contract).
    const unsigned long bytes = boundedEnd_;
    long found = findEyeCatcher(buffer, bytes);
    unsigned long pos = found < 0 ? 0 : static_cast<unsigned long>(found);
    unsigned long limit = pos + GetAnnouncedSize(buffer, bytes);
    return limit > bytes ? bytes : limit;
}

XQRC XQBaseMessage::UnpackMessageBounded(const unsigned char* buffer, unsigned long bytes) {
    boundedEnd_ = bytes;
    XQRC rc = UnpackMessage(buffer, nullptr);
    boundedEnd_ = static_cast<unsigned long>(-1);
    return rc;
}

XQRC XQBaseMessage::UnpackMessage(const unsigned char* buffer, unsigned long* cursor) {
    XQ_TRACE_METHOD("XQBaseMessage::UnpackMessage()");
    unsigned long position = 0;
    long found = findEyeCatcher(buffer, boundedEnd_);
    if (found >= 0) {
        position = static_cast<unsigned long>(found);
        XQ_TRACE(4, "Unpack found a X at pos " << position);
    } else {
        XQ_TRACE(4, " Bad message received, could not find eyecatcher in the first 20 bytes of the message buffer...");
    }
    const unsigned long limit = UnpackLimit(buffer);

    XQFieldReader r(buffer, limit, position);
    XQSTRING eye;
    r.ReadChars(10, eye);
    SetEyeCatcher(eye);

    XQSTRING unicode = GetCharacterTypeCode(XQCharUnicode);
    XQSTRING code;
    r.ReadChars(unicode.size(), code);
    if (code == unicode) CharacterType = XQCharUnicode;
    if (CharacterType != XQCharUnicode) {
        if (cursor != nullptr) *cursor = r.Cursor();
        return messageError(XQ_MSG_BAD_CHARTYPE, L"XQBaseMessage::UnpackMessage()");
    }
    // The total length (ten characters, space-padded): the reader's bound
    // already comes from it, so it is passed over unread.
    r.Skip(10 * sizeof(wchar_t));

    MessageID = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(ReleaseLevel);
    if (ReleaseLevel != kReleaseLevel) return messageError(XQ_MSG_BAD_RELEASE, L"XQBaseMessage::UnpackMessage()");
    SetMessageType(static_cast<EMSGTYPE>(r.ReadNumberLong()));

    XQRC& rc = ReturnCode;
    r.ReadString(OriginQueueName);
    r.ReadString(OriginQueueHost);
    OriginQueuePort = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(DestQueueName);
    r.ReadString(DestQueueHost);
    DestQueuePort = static_cast<unsigned int>(r.ReadNumber());
    IsRequest = static_cast<int>(r.ReadNumber());
    ReplyNeeded = static_cast<int>(r.ReadNumber());
    Command = static_cast<ECOMMAND>(r.ReadNumber());
    SubCommand = static_cast<commandType>(r.ReadNumber());
    DebugFlags = static_cast<EDEBUG>(r.ReadNumber());
    TransmitTS.set_Stamp(r.ReadNumber());
    r.ReadString(BVName);
    BENumber = static_cast<unsigned int>(r.ReadNumber());
    r.ReadString(rc.methodName);
    r.ReadString(rc.executableName);
    rc.code = static_cast<int>(r.ReadNumberLong());
    rc.secondaryCode = static_cast<int>(r.ReadNumberLong());
    rc.isWarningFlag = static_cast<int>(r.ReadNumber());
    // Kept as read, also outside the six domains, so that a relayed reply
    // carries the sender's number (its text form is "WhsInvDom").
    rc.domain = static_cast<XQRC::domainType>(static_cast<int32_t>(r.ReadNumber()));
    r.ReadString(rc.systemMessage);
    r.ReadString(rc.hostName);
    // AddComment's rule, without the copy of the whole return code that
    // AddComment returns: a reused message's comment only grows.
    if (!rc.comment.empty()) rc.comment += L'\n';
    XQFieldReaderAccess::AppendString(r, rc.comment);
    for (XQSTRING* token : {&rc.messageToken1, &rc.messageToken2, &rc.messageToken3, &rc.messageToken4,
                            &rc.messageToken5, &rc.messageToken6, &rc.messageToken7, &rc.messageToken8,
                            &rc.messageToken9, &rc.messageToken10})
        r.ReadString(*token);
    r.ReadString(rc.auxText);
    r.ReadString(OriginInetAddr);
    FilterFlag = static_cast<int>(r.ReadNumber());
    r.ReadString(SQLStmt1);
    r.ReadString(SQLStmt2);
    RowsRequested = static_cast<int32_t>(r.ReadNumberLong());
    RowsReceived = static_cast<int32_t>(r.ReadNumberLong());
    ::GetColAttrListFromBuffer(ColAttrList, r);
    ::GetResultSetFromBuffer(ResultSet, r, RowsReceived);
    // A result set cut short reads as empty; the count then says so too, so
    // that no reader looks for rows the message does not hold.
    if (RowsReceived > 0 && ResultSet.size() != static_cast<size_t>(RowsReceived))
        RowsReceived = static_cast<long>(ResultSet.size());
    CommitFlag = static_cast<int>(r.ReadNumber());
    ::GetBONameListFromBuffer(BONameList, r);
    ::GetBONodeListFromBuffer(BONodeList, r);
    ::GetLPZDataListFromBuffer(LPZDataList, r);

    if (DebugFlags >= 3) DumpToLogFile(">>>> Dumping base message from unpack:\n");
    if (cursor != nullptr) *cursor = r.Cursor();
    return XQRC(0, 0, XQRC::WhsSrv);
}

void XQBaseMessage::DumpToLogFile(const char* header) const {
    FILE* f = fopen("ORV2LOGC.LOG", "a+");
    if (f != nullptr) {
        fputs(header, f);
        fclose(f);
    }
    Print(L"ORV2LOGC.LOG");
}

XQRC XQBaseMessage::Send(unsigned int) {
    XQ_TRACE_METHOD("XQBaseMessage::Send()");
    XQRC result(0, 0, XQRC::WhsSrv);
    OneLineSendTrace(0);
    unsigned int size = CalculateSize();
    XQ_TRACE(4, "XQBaseMessage sending\t size= " << size);
    if (DebugFlags >= 3) DumpToLogFile(">>>> Dumping base message before send: \n");
    if (size > XQ_MAX_MESSAGE_SIZE) {
        XQ_TRACE(3, BVName << "... vmbase::send Buffer too large - " << size);
        return messageError(XQ_MSG_TOO_LARGE, L"XQBaseMessage::Send()");
    }
    std::unique_ptr<XQSocket> socket(new (std::nothrow) XQSocket());
    if (!socket) {
        XQ_TRACE(3, BVName << "... vmbase::send No socket allocated. Msg Not Sent.");
        return messageError(XQ_MSG_NOT_SENT, L"XQBaseMessage::Send()");
    }
    unsigned char* buffer = nullptr;
    result = socket->InitializeSend(&buffer, static_cast<int>(size));
    if (result.code != 0) {
        XQ_TRACE(3, BVName << "... vmbase::send initSend failed. Msg Not Sent.");
        return result;
    }
    if (PackMessage(buffer, size) != 0) {
        XQ_TRACE(3, "\tPackMessage Failed. Msg Not Sent.");
        return messageError(XQ_MSG_NOT_SENT, L"XQBaseMessage::Send()");
    }
    if (IsRequest == 0)
        result = socket->Send(OriginInetAddr, OriginQueuePort);
    else
        result = socket->Send(DestQueueHost, DestQueuePort);
    return result;
}

XQRC XQBaseMessage::SendAsFamily(const FamilySend& how, const std::function<int(unsigned char*)>& packOwn) {
    XQRC result(0, 0, XQRC::WhsSrv);
    std::unique_ptr<XQSocket> socket(new (std::nothrow) XQSocket());
    if (!socket) {
        XQ_TRACE(3, BVName << how.noSocketLine);
        return messageError(XQ_MSG_NOT_SENT, how.method);
    }
    XQRC setup = socket->GetSetupError();
    if (setup.code != 0) {
        traceUnlockedLine("Error during creating XQSocket: " + std::to_string(setup.code));
        return setup;
    }
    OneLineSendTrace(0);
    if (how.skipUnsentReplies && IsRequest == 0 && (Command == 22 || SubCommand == 29 || SubCommand == 19)) {
        XQ_TRACE(4, "\tNo response will be sent to port: " << OriginQueuePort);
        return result;
    }
    unsigned int baseSize = XQBaseMessage::CalculateSize();
    unsigned int ownSize = CalculateSize();
    unsigned long total = static_cast<unsigned long>(baseSize) + ownSize;
    if (how.sizeTraces) {
        XQ_TRACE(4, "Sending base message size = " << baseSize);
        XQ_TRACE(4, "Sending kernel message size = " << ownSize);
    }
    if (DebugFlags >= 3) DumpToLogFile(how.dumpHeader);
    if (total > XQ_MAX_MESSAGE_SIZE) {
        if (how.tooLargeTitle != nullptr) {
            traceUnlockedLine(std::string(how.tooLargeTitle) + "\n\t" + how.ownSizeName + " = " +
                              std::to_string(ownSize) + "\n\tuiBaseSize = " + std::to_string(baseSize) +
                              "\n\tMAX_BUFFER_SIZE = " + std::to_string(XQ_MAX_MESSAGE_SIZE));
        }
        return messageError(XQ_MSG_TOO_LARGE, how.method);
    }
    unsigned char* buffer = nullptr;
    result = socket->InitializeSend(&buffer, static_cast<int>(total));
    if (result.code != 0) return result;
    if (how.sizeTraces) XQ_TRACE(4, "Sending buffer pointer = " << static_cast<const void*>(buffer));
    if (XQBaseMessage::PackMessage(buffer, total) != 0) return messageError(XQ_MSG_NOT_SENT, how.method);
    if (how.sizeTraces)
        XQ_TRACE(4, "Add kernel message after base message at: " << static_cast<const void*>(buffer + baseSize));
    if (packOwn(buffer + baseSize) != 0) return messageError(XQ_MSG_NOT_SENT, how.method);
    if (IsRequest != 0)
        result = socket->Send(DestQueueHost, DestQueuePort);
    else
        result = socket->Send(OriginInetAddr, OriginQueuePort);
    return result;
}

XQRC XQBaseMessage::GetRCFromReply(XQRC& rc) const {
    rc.code = ReturnCode.code;
    rc.secondaryCode = ReturnCode.secondaryCode;
    rc.isWarningFlag = ReturnCode.isWarningFlag;
    rc.domain = ReturnCode.domain;
    rc.methodName = ReturnCode.methodName;
    rc.executableName = ReturnCode.executableName;
    rc.systemMessage = ReturnCode.systemMessage;
    rc.hostName = ReturnCode.hostName;
    rc.auxText = ReturnCode.auxText;
    rc.AddComment(ReturnCode.comment);
    XQSTRING t[10];
    ReturnCode.GetXQMessage(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
    rc.SetXQMessage(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
    return XQRC(0, 0, XQRC::WhsSrv);
}

void XQBaseMessage::OneLineSendTrace(int toTrace) {
    if (toTrace == 0 && !traceOn(3)) return;
    XQRC rc(0, 0, XQRC::WhsSrv);
    GetRCFromReply(rc);
    TraceText line;
    line << BVName << "... sending mt/ct/cst " << static_cast<long>(MessageType) << "/" << static_cast<long>(Command)
         << "/" << static_cast<long>(SubCommand) << " rc " << static_cast<long>(rc.code) << "/"
         << static_cast<long>(rc.secondaryCode) << " Orig/Dest " << static_cast<long>(OriginQueuePort) << "/"
         << static_cast<long>(DestQueuePort);
    if (toTrace != 0)
        traceXQLine(line.str());
    else
        traceBareLine(line.str());
}

void XQBaseMessage::Print(const XQSTRING& destination) const {
    MessagePrinter p(destination);
    if (!p.ok()) return;
        const bool cout = p.stream();
    const int w = 22;
    const XQRC& rc = ReturnCode;
    p.frame("======>>>>>>> START of BASE Message Class <<<<<<======");
    p.item("Character Type", w, static_cast<long>(CharacterType));
    p.item("MessageID", w, static_cast<int>(MessageID));
    p.item("Release Level", w, mb(ReleaseLevel));
    p.item("Message Type", w, static_cast<long>(MessageType));
    p.item("Origin Queue Name", w, mb(OriginQueueName));
    p.item("Origin Queue Host", w, mb(OriginQueueHost));
    p.item("Origin Queue Port", w, static_cast<int>(OriginQueuePort));
    if (!cout) p.item("Origin Inet Addr", w, mb(OriginInetAddr));
    p.item("Destination Queue Name", w, mb(DestQueueName));
    p.item("Destination Queue Host", w, mb(DestQueueHost));
    p.item("Destination Queue Port", w, static_cast<int>(DestQueuePort));
    if (cout) p.item("Origin Inet address", w, mb(OriginInetAddr));
    p.item("Is Request", w, IsRequest);
    p.item("Reply Needed", w, ReplyNeeded);
    p.item("Command", w, Command);
    p.item("Sub Command", w, SubCommand);
    p.item("Debug Flags", w, DebugFlags);
    p.item("Transmit TS", w, mb(TransmitTS.toString()));
    p.item("BV Name", w, mb(BVName));
    p.item("BE Number", w, static_cast<int>(BENumber));
    p.item(cout ? "XQRC Code" : "XQRC code", w, rc.code);
    p.item(cout ? "XQRC Secondary Code" : "XQRC secondary code", w, rc.secondaryCode);
    p.item(cout ? "XQRC Is Warning Flg" : "XQRC is warning flg", w, rc.isWarningFlag);
    p.item("XQRC Domain", w, static_cast<long>(rc.domain));
    p.item("XQRC Method Name", w, mb(rc.methodName));
    p.item("XQRC Executable Name", w, mb(rc.executableName));
    p.item("XQRC System Message", w, mb(rc.systemMessage));
    p.item("XQRC Comment", w, mb(rc.comment));
    p.item("XQRC Host Name", w, mb(rc.hostName));
    p.item("Filter Flag", w, FilterFlag);
    p.item("SQLStmt1", w, mb(SQLStmt1));
    p.item("SQLStmt2", w, printConnectStr(SQLStmt2));
    p.item("Data Rows Requested", w, static_cast<int>(RowsRequested));
    p.item("Data Rows Received", w, static_cast<int>(RowsReceived));
    p.item("Number Of DV Columns", w, static_cast<long>(ColAttrList.size()));
    p.item("Number Of DV Result Rows", w, static_cast<long>(ResultSet.size()));
    p.item("Commit Flag", w, CommitFlag);
    p.item("Number Of SAP BO names", w, static_cast<long>(BONameList.size()));
    p.item("Number Of SAP Business Objects", w, static_cast<long>(BONodeList.size()));
    p.item("Number Of LPZ Data Imports", w, static_cast<long>(LPZDataList.size()));
    p.frame("======>>>>>>> END of BASE Message Class <<<<<<======");
}

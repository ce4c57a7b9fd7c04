#include "support/MessageTestSupport.h"

#include <cwchar>
#include <type_traits>

#include "messages/ListCodec.h"

namespace {

// Every value shown as text, lists element by element and records field by
// field in wire order, so that two members compare by their text.
template <class T>
std::string show(const std::vector<T>& list);
std::string show(const XQSTRING& s) { return "\"" + xqToMultibyte(s) + "\""; }
std::string show(const TimeStamp& t) { return std::to_string(t.get_Stamp()); }
template <class N, class = std::enable_if_t<std::is_arithmetic<N>::value || std::is_enum<N>::value>>
std::string show(N v) {
    return std::to_string(static_cast<long>(v));
}

struct FieldShower {
    std::string out;
    template <class F>
    void operator()(const F& f) { out += show(f) + ","; }
};
template <class T>
std::string showRecord(const T& r) {
    FieldShower s;
    xqlist::Wire<T>::Fields(r, s);
    return "{" + s.out + "}";
}
std::string showRecord(const XQResultSetData& row) { return show(static_cast<const std::vector<XQSTRING>&>(row)); }
template <class T>
std::string show(const std::vector<T>& list) {
    std::string out = "[";
    for (const T& x : list) out += showRecord(x) + " ";
    return out + "]";
}

// The members every filled message sets, in filling order.
#define TCORE_BASE_FIELDS(X)                                                                                      \
    X(ReturnCode.code) X(ReturnCode.secondaryCode) X(ReturnCode.isWarningFlag) X(ReturnCode.methodName)           \
    X(ReturnCode.executableName) X(ReturnCode.systemMessage) X(ReturnCode.comment) X(ReturnCode.hostName)         \
    X(ReturnCode.auxText) X(ReturnCode.messageToken1) X(ReturnCode.messageToken2) X(ReturnCode.messageToken3)     \
    X(ReturnCode.messageToken4) X(ReturnCode.messageToken5) X(ReturnCode.messageToken6)                         \
    X(ReturnCode.messageToken7) X(ReturnCode.messageToken8) X(ReturnCode.messageToken9)                         \
    X(ReturnCode.messageToken10) X(MessageID) X(OriginQueueName) X(OriginQueueHost) X(OriginQueuePort)           \
    X(OriginInetAddr) X(DestQueueName) X(DestQueueHost) X(DestQueuePort) X(ReplyNeeded) X(Command) X(SubCommand) \
    X(TransmitTS) X(FilterFlag) X(BVName) X(BENumber) X(SQLStmt1) X(SQLStmt2) X(RowsRequested) X(ColAttrList)   \
    X(CommitFlag) X(BONameList) X(BONodeList) X(LPZDataList)
#define TCORE_AGENT_FIELDS(X)                                                                                     \
    X(FlatFileType) X(FlatFileFlag) X(BERowCountSoFar) X(BEByteCountSoFar) X(BEInsertDone) X(StatusMsg)          \
    X(SourceFileName) X(SourceBinaryFlag) X(SourceFTPServer) X(SourceMountString) X(SourceMountPoint)            \
    X(SourceDBConnectString) X(SourceDBName) X(SourceDBType) X(SourceDBVersion) X(SourceDBUserid)                \
    X(SourceDBPassword) X(SourceDBCodePage) X(TargetDBConnectString) X(TargetDBName) X(TargetDBType)             \
    X(TargetDBVersion) X(TargetDBUserid) X(TargetDBPassword) X(TargetDBCodePage) X(ControlDBQualifier)           \
    X(DataRequiredFlag) X(SourceFetchCount) X(UDPName) X(UDPFunction) X(UDPType) X(UDPArgs) X(SystemCommand)     \
    X(EditionToDelete) X(ProcessId) X(AgentModuleName) X(AgentPath) X(AgentArguments) X(AgentUserid)             \
    X(AgentPassword) X(InputDataList) X(OutputDataList) X(TableList) X(DPropTableList) X(PrimaryKeyList)         \
    X(ForeignKeyList) X(SourceDBMSServerName) X(TargetDBMSServerName) X(DefaultDelimiter) X(XfCreateType)        \
    X(CaptureSchemaList)
#define TCORE_KERNEL_FIELDS(X)                                                                                    \
    X(InformationResource) X(AliasName) X(TableList) X(IRColumnList) X(IRPrimaryKeyList) X(IRForeignKeyList)    \
    X(RowCount) X(ByteCount) X(RowLimit) X(ScheduleMode) X(Userid) X(AgentPassword) X(ControlDBQualifier)        \
    X(ControlDatabaseID) X(ConfigParmList) X(DatabaseRelease) X(ParentID) X(ParentBVEdition) X(SelectFlag)       \
    X(InformationResourceID) X(DataResourceID) X(DPTableList) X(DefaultDelimiter)                               \
    X(IsRequestFromExternalTrigger) X(TransformerCreateType) X(CaptureSchemaList) X(ProcessStepEdition)
#define TCORE_LOG_FIELDS(X)                                                                                       \
    X(LogMessageType) X(LogIsUpdate) X(EventID) X(EventMessage) X(BuildUser) X(BuildAction) X(BuildSubAction)    \
    X(BuildObjectType) X(BuildObjectName) X(BuildMessage) X(JobSource) X(CLCommand) X(TreeLeafCount)             \
    X(TreeLevelCount) X(TreeRetryCount) X(TreeRetryDelay) X(CLType) X(SourceDBType) X(SourceDBName)              \
    X(TargetDBType) X(TargetDBName) X(CLSubCommand) X(BERowCountSoFar) X(BEByteCountSoFar) X(CLStepTime)         \
    X(CLTotalTime) X(ExecTS) X(StepGroupType) X(ProcessName)

#define TCORE_DIFF(member) \
    if (show(a.member) != show(b.member)) out += #member ": " + show(a.member) + " != " + show(b.member) + "\n";

// Random values by type; lists down to `depth` levels of nesting (string
// lists at any depth).
struct RecordFiller {
    MessageRandom& random;
    unsigned maxList;
    int depth;
    void operator()(XQSTRING& text) { text = random.text(); }
    void operator()(TimeStamp& t) { t.set_Stamp(static_cast<unsigned long>(random.number())); }
    template <class N, class = std::enable_if_t<std::is_arithmetic<N>::value || std::is_enum<N>::value>>
    void operator()(N& number) { number = static_cast<N>(random.number()); }
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

std::string diffMessages(const XQBaseMessage& a, const XQBaseMessage& b) {
    std::string out;
    TCORE_BASE_FIELDS(TCORE_DIFF)
    TCORE_DIFF(ReturnCode.domain) TCORE_DIFF(CharacterType) TCORE_DIFF(ReleaseLevel) TCORE_DIFF(MessageType)
    TCORE_DIFF(IsRequest) TCORE_DIFF(DebugFlags) TCORE_DIFF(RowsReceived) TCORE_DIFF(ResultSet)
    if (XQSTRING(a.EyeCatcher, 11) != XQSTRING(b.EyeCatcher, 11)) out += "EyeCatcher\n";
    return out;
}

std::string diffMessages(const XQAgentMessage& a, const XQAgentMessage& b) {
    std::string out = diffMessages(static_cast<const XQBaseMessage&>(a), static_cast<const XQBaseMessage&>(b));
    TCORE_AGENT_FIELDS(TCORE_DIFF)
    return out;
}

std::string diffMessages(const XQKernelMessage& a, const XQKernelMessage& b) {
    std::string out = diffMessages(static_cast<const XQBaseMessage&>(a), static_cast<const XQBaseMessage&>(b));
    TCORE_KERNEL_FIELDS(TCORE_DIFF)
    return out;
}

std::string diffMessages(const XQLogMessage& a, const XQLogMessage& b) {
    std::string out = diffMessages(static_cast<const XQBaseMessage&>(a), static_cast<const XQBaseMessage&>(b));
    TCORE_LOG_FIELDS(TCORE_DIFF)
    return out;
}

XQSTRING MessageRandom::text() {
    if (counting_) return L"v" + std::to_wstring(++count_);
    unsigned len = rng_() % (maxText_ + 1);
    XQSTRING s;
    s.reserve(len);
    for (unsigned i = 0; i < len; ++i) {
        unsigned pick = rng_() % 8;
        if (ascii_ || pick < 6)
            s += static_cast<wchar_t>(0x20 + rng_() % 0x5F);
        else
            s += static_cast<wchar_t>(0xA0 + rng_() % (0xD7FF - 0xA0));
    }
    return s;
}

int32_t MessageRandom::number() {
    if (counting_) return ++count_;
    switch (rng_() % 4) {
        case 0: return static_cast<int32_t>(rng_() % 10);
        case 1: return -static_cast<int32_t>(rng_() % 1000);
        default: return static_cast<int32_t>(rng_());
    }
}

#define TCORE_FILL(member) filler(m.member);

void MessageRandom::fill(XQBaseMessage& m) {
    RecordFiller filler{*this, maxList_, 4};
    TCORE_BASE_FIELDS(TCORE_FILL)
    // Any number travels as the domain, not only the six domains.
    m.ReturnCode.domain = static_cast<XQRC::domainType>(static_cast<int>(rng_() % 24) - 8);
    m.ReleaseLevel = L"8.1.0";
    m.IsRequest = static_cast<int>(rng_() % 2);
    m.DebugFlags = static_cast<EDEBUG>(rng_() % 3);
    // Rows of one width: the column count travels once.
    m.ResultSet.assign(rng_() % (maxList_ + 1), XQResultSetData(1 + rng_() % 4));
    for (XQResultSetData& row : m.ResultSet)
        for (XQSTRING& value : row) value = text();
    m.RowsReceived = static_cast<long>(m.ResultSet.size());
}

void MessageRandom::fill(XQAgentMessage& m) {
    fill(static_cast<XQBaseMessage&>(m));
    RecordFiller filler{*this, maxList_, 4};
    TCORE_AGENT_FIELDS(TCORE_FILL)
}

void MessageRandom::fill(XQKernelMessage& m) {
    fill(static_cast<XQBaseMessage&>(m));
    RecordFiller filler{*this, maxList_, 4};
    TCORE_KERNEL_FIELDS(TCORE_FILL)
}

void MessageRandom::fill(XQLogMessage& m) {
    fill(static_cast<XQBaseMessage&>(m));
    RecordFiller filler{*this, maxList_, 4};
    TCORE_LOG_FIELDS(TCORE_FILL)
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

#include "foundation/XQRC.h"

#include <utility>

XQRC::XQRC(int c, int secondary, XQRC::domainType d)
    : code(c), secondaryCode(secondary), isWarningFlag(0), domain(d) {}

namespace {

// Most codes travel with most texts empty: copying only the texts that hold
// something makes copying a success value a handful of stores.
#define XQRC_TEXT_FIELDS(X)                                                                              \
    X(methodName) X(executableName) X(systemMessage) X(comment) X(hostName) X(auxText) X(messageToken1) \
    X(messageToken2) X(messageToken3) X(messageToken4) X(messageToken5) X(messageToken6)               \
    X(messageToken7) X(messageToken8) X(messageToken9) X(messageToken10)

inline void copyText(XQSTRING& to, const XQSTRING& from) {
    if (from.empty())
        to.clear();
    else
        to = from;
}

void copyCodes(XQRC& to, const XQRC& from) {
    to.code = from.code;
    to.secondaryCode = from.secondaryCode;
    to.isWarningFlag = from.isWarningFlag;
    to.domain = from.domain;
}

// Moves likewise touch only the texts that hold something, and leave the
// moved-from texts empty.
inline void moveText(XQSTRING& to, XQSTRING& from) {
    if (!from.empty())
        to = std::move(from);
    else if (!to.empty())
        to.clear();
}

}  // namespace

XQRC::XQRC(const XQRC& other)
    : code(other.code), secondaryCode(other.secondaryCode), isWarningFlag(other.isWarningFlag), domain(other.domain) {
#define XQRC_COPY(f) \
    if (!other.f.empty()) f = other.f;
    XQRC_TEXT_FIELDS(XQRC_COPY)
#undef XQRC_COPY
}

XQRC& XQRC::operator=(const XQRC& other) {
    if (this == &other) return *this;
    copyCodes(*this, other);
#define XQRC_ASSIGN(f) copyText(f, other.f);
    XQRC_TEXT_FIELDS(XQRC_ASSIGN)
#undef XQRC_ASSIGN
    return *this;
}

XQRC::XQRC(XQRC&& other) noexcept
    : code(other.code), secondaryCode(other.secondaryCode), isWarningFlag(other.isWarningFlag), domain(other.domain) {
#define XQRC_MOVE(f) \
    if (!other.f.empty()) f = std::move(other.f);
    XQRC_TEXT_FIELDS(XQRC_MOVE)
#undef XQRC_MOVE
}

XQRC& XQRC::operator=(XQRC&& other) noexcept {
    if (this == &other) return *this;
    copyCodes(*this, other);
#define XQRC_MOVE_ASSIGN(f) moveText(f, other.f);
    XQRC_TEXT_FIELDS(XQRC_MOVE_ASSIGN)
#undef XQRC_MOVE_ASSIGN
    return *this;
}

// Field by field: no temporary of sixteen strings for what is mostly a
// success value being made a success value again.
void XQRC::Reset() {
    code = 0;
    secondaryCode = 0;
    isWarningFlag = 0;
    domain = WhsSrv;
#define XQRC_CLEAR(f) f.clear();
    XQRC_TEXT_FIELDS(XQRC_CLEAR)
#undef XQRC_CLEAR
}

void XQRC::SetXQMessage(const XQSTRING& t1, const XQSTRING& t2, const XQSTRING& t3, const XQSTRING& t4,
                        const XQSTRING& t5, const XQSTRING& t6, const XQSTRING& t7, const XQSTRING& t8,
                        const XQSTRING& t9, const XQSTRING& t10) {
    messageToken1 = t1;
    messageToken2 = t2;
    messageToken3 = t3;
    messageToken4 = t4;
    messageToken5 = t5;
    messageToken6 = t6;
    messageToken7 = t7;
    messageToken8 = t8;
    messageToken9 = t9;
    messageToken10 = t10;
}

void XQRC::GetXQMessage(XQSTRING& t1, XQSTRING& t2, XQSTRING& t3, XQSTRING& t4, XQSTRING& t5, XQSTRING& t6,
                        XQSTRING& t7, XQSTRING& t8, XQSTRING& t9, XQSTRING& t10) const {
    t1 = messageToken1;
    t2 = messageToken2;
    t3 = messageToken3;
    t4 = messageToken4;
    t5 = messageToken5;
    t6 = messageToken6;
    t7 = messageToken7;
    t8 = messageToken8;
    t9 = messageToken9;
    t10 = messageToken10;
}

XQRC XQRC::AddComment(const XQSTRING& text) {
    if (!comment.empty()) comment += L'\n';
    comment += text;
    return *this;
}

XQRC XQRC::SetComment(const XQSTRING& text) {
    comment = text;
    return *this;
}

XQSTRING XQRC::domainTypeToString(const XQRC::domainType d) {
    switch (static_cast<int>(d)) {
        case Windows: return L"Windows";
        case ODBC: return L"ODBC";
        case WhsDDD: return L"WhsDDD";
        case WhsSrv: return L"WhsSrv";
        case WhsClnt: return L"WhsClnt";
        case Sockets: return L"Sockets";
        default: return L"WhsInvDom";
    }
}

XQRC::domainType XQRC::domainTypeFromString(const XQSTRING& s) {
    static const wchar_t* const names[] = {L"Windows", L"ODBC", L"WhsDDD", L"WhsSrv", L"WhsClnt", L"Sockets"};
    for (int i = 0; i < 6; ++i)
        if (s == names[i]) return static_cast<domainType>(i);
    return static_cast<domainType>(-1);
}

void formatXQRC(XQRC& rc, const XQSTRING& methodName, const XQSTRING& systemMessage, int code, int secondaryCode) {
    rc.methodName = methodName;
    rc.systemMessage = systemMessage;
    rc.code = code;
    rc.secondaryCode = secondaryCode;
}

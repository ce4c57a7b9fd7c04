#ifndef TCORE_FOUNDATION_XQRC_H
#define TCORE_FOUNDATION_XQRC_H

#include "foundation/Export.h"
#include "foundation/XQString.h"

// The return-code object of the library. Every operation that can fail
// returns one by value or fills one passed by reference; nothing is thrown.
// A plain value: copying copies all twenty fields. Not shared between threads.
// A success value (all texts empty) costs no allocation to build or copy.
class TCORE_EXPORT XQRC {
public:
    enum domainType : int { Windows = 0, ODBC = 1, WhsDDD = 2, WhsSrv = 3, WhsClnt = 4, Sockets = 5 };

    XQRC(int code, int secondaryCode, XQRC::domainType domain);
    XQRC(const XQRC& other);
    XQRC(XQRC&& other) noexcept;
    XQRC& operator=(const XQRC& other);
    XQRC& operator=(XQRC&& other) noexcept;
    ~XQRC() = default;

    void Reset();

    bool isRetryableImmediate() const { return false; }
    bool isRetryableWithDelay() const { return false; }

    void SetXQMessage(const XQSTRING& t1, const XQSTRING& t2, const XQSTRING& t3, const XQSTRING& t4,
                      const XQSTRING& t5, const XQSTRING& t6, const XQSTRING& t7, const XQSTRING& t8,
                      const XQSTRING& t9, const XQSTRING& t10);
    void GetXQMessage(XQSTRING& t1, XQSTRING& t2, XQSTRING& t3, XQSTRING& t4, XQSTRING& t5,
                      XQSTRING& t6, XQSTRING& t7, XQSTRING& t8, XQSTRING& t9, XQSTRING& t10) const;

    // Appends text to the comment, after a line feed when the comment is not
    // empty. Returns a copy of the object after the change.
    XQRC AddComment(const XQSTRING& text);
    XQRC SetComment(const XQSTRING& text);
    XQSTRING GetComment() const { return comment; }

    static XQSTRING domainTypeToString(const XQRC::domainType d);
    // Exact, case-sensitive match; a text matching no domain gives a value
    // outside 0..5, whose text form is "WhsInvDom".
    static XQRC::domainType domainTypeFromString(const XQSTRING& s);

    // The fields, in declared order; the library's own classes use them directly.
    int code;
    int secondaryCode;
    int isWarningFlag;
    domainType domain;
    XQSTRING methodName;
    XQSTRING executableName;
    XQSTRING systemMessage;
    XQSTRING comment;
    XQSTRING hostName;
    XQSTRING auxText;
    XQSTRING messageToken1;
    XQSTRING messageToken2;
    XQSTRING messageToken3;
    XQSTRING messageToken4;
    XQSTRING messageToken5;
    XQSTRING messageToken6;
    XQSTRING messageToken7;
    XQSTRING messageToken8;
    XQSTRING messageToken9;
    XQSTRING messageToken10;
};

// Sets four fields of rc and leaves the others as they are.
TCORE_EXPORT void formatXQRC(XQRC& rc, const XQSTRING& methodName, const XQSTRING& systemMessage, int code,
                             int secondaryCode);

#endif

#ifndef TCORE_FOUNDATION_XQRESOLVEMESSAGE_H
#define TCORE_FOUNDATION_XQRESOLVEMESSAGE_H

#include "foundation/Export.h"
#include "foundation/XQRC.h"

// Turns a return code into readable text from the message catalogue
// "ql7orx.mo" (see dbFormatMessage in db/DbClient.h for where it is found).
// Holds no lock: one object may be shared by threads, since it only reads its
// catalogue name and every buffer belongs to one call. A missing, damaged or
// silent catalogue gives empty texts and success.
//
// Inserts of a catalogue text: %1..%7 the return code's message tokens 1..7,
// %8 the caller's extra text, %9 the caller's number (decimal, as a signed
// 32-bit value), %10..%12 the tokens 8..10. An empty insert reads as "?";
// an insert is cut to twice its character count and to 512 bytes of its
// multibyte form.
class TCORE_EXPORT XQResolveMessage {
public:
    // An empty name or "ORV2MSG.DLL" (any case) means "ql7orx.mo".
    explicit XQResolveMessage(XQSTRING name = XQSTRING());
    ~XQResolveMessage();

    // primaryText: the catalogue text of rc.code with the inserts.
    // secondaryText by rc.domain: Windows: the system's text of the secondary
    // code (empty on this platform); Sockets: the catalogue text of the
    // secondary code with the same inserts; any other: rc.systemMessage.
    XQRC ResolveMsgs(XQRC& rc, XQSTRING& secondaryText, XQSTRING& primaryText, const XQSTRING& extraInsert,
                     unsigned int numberInsert);
    // The catalogue text of code, every insert "?".
    XQRC ResolveEvent(unsigned int code, XQSTRING& text);

    // The lookups allocate a text of 24576 wide characters (terminated) and
    // store it in *text; the caller releases it with free(). *text is null
    // only when that allocation failed. inserts: twelve texts or null.
    XQRC LookupSysMsg(int code, void** text);
    XQRC LookupFileMsg(int code, void** text, const wchar_t** inserts);
    // An empty fileName is set to the catalogue name.
    XQRC LookupFileMsg(XQSTRING& fileName, int code, void** text, const wchar_t** inserts);

    // code and domain of rc, and the twelve inserts (table above). The
    // inserts point to copies of the texts (tokens, extra text, the number in
    // decimal) kept per thread: they stay valid on the calling thread until
    // its next UnloadXqrc, whatever becomes of rc and extraInsert. So a
    // shared object serves any number of threads without a lock.
    void UnloadXqrc(XQRC rc, const XQSTRING& extraInsert, unsigned int numberInsert, int& code,
                    XQRC::domainType& domain, const wchar_t** inserts);

    // Event log: on this platform each only traces its entry and exit
    // (level 4) and returns success.
    XQRC OpenNTEventLog(const XQSTRING source);
    XQRC CloseNTEventLog();
    XQRC LogNTEventError(XQRC rc, XQSTRING text, unsigned int number);
    XQRC LogNTEventWarning(XQRC rc, XQSTRING text, unsigned int number);
    XQRC LogNTEventInfo(int code);
    XQRC LogNTEvent(XQRC rc, unsigned int type, const XQSTRING text, unsigned int number);

    XQSTRING catalogueName;
};

#endif

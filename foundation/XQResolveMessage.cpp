#include "foundation/XQResolveMessage.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "db/DbClient.h"
#include "foundation/Trace.h"

namespace {

constexpr size_t kOutputBytes = 24576;
constexpr size_t kTextChars = 24576;
constexpr size_t kInsertMaxBytes = 512;

XQRC success() { return XQRC(0, 0, XQRC::WhsSrv); }

// The multibyte form of one insert, cut to min(2 * characters, 512) bytes on
// a character boundary. A character the locale cannot express becomes "?".
std::string insertText(const wchar_t* s) {
    const size_t chars = std::wcslen(s);
    const size_t limit = std::min(2 * chars, kInsertMaxBytes);
    std::string out;
    std::mbstate_t state{};
    char one[MB_LEN_MAX];
    for (size_t i = 0; i < chars; ++i) {
        size_t n = std::wcrtomb(one, s[i], &state);
        if (n == static_cast<size_t>(-1)) {
            state = std::mbstate_t{};
            one[0] = '?';
            n = 1;
        }
        if (out.size() + n > limit) break;
        out.append(one, n);
    }
    return out;
}

wchar_t* allocateText() { return static_cast<wchar_t*>(std::calloc(kTextChars, sizeof(wchar_t))); }

XQSTRING takeText(void* buffer) {
    XQSTRING text = buffer ? XQSTRING(static_cast<wchar_t*>(buffer)) : XQSTRING();
    std::free(buffer);
    return text;
}

}  // namespace

XQResolveMessage::XQResolveMessage(XQSTRING name) {
    if (name.empty() || xqCompareNoCase(name, L"ORV2MSG.DLL") == 0)
        catalogueName = L"ql7orx.mo";
    else
        catalogueName = name;
}

XQResolveMessage::~XQResolveMessage() = default;

XQRC XQResolveMessage::ResolveMsgs(XQRC& rc, XQSTRING& secondaryText, XQSTRING& primaryText,
                                   const XQSTRING& extraInsert, unsigned int numberInsert) {
    const wchar_t* inserts[12] = {};
    int code = 0;
    XQRC::domainType domain = XQRC::WhsSrv;
    UnloadXqrc(rc, extraInsert, numberInsert, code, domain, inserts);

    XQSTRING fileName = catalogueName;
    void* buffer = nullptr;
    XQRC result = LookupFileMsg(fileName, code, &buffer, inserts);
    if (result.code != 0) {
        std::free(buffer);
        return result;
    }
    primaryText = takeText(buffer);

    if (domain == XQRC::Windows) {
        void* sys = nullptr;
        result = LookupSysMsg(rc.secondaryCode, &sys);
        if (result.code != 0) {
            std::free(sys);
            return result;
        }
        secondaryText = takeText(sys);
    } else if (domain == XQRC::Sockets) {
        void* sock = nullptr;
        result = LookupFileMsg(fileName, rc.secondaryCode, &sock, inserts);
        if (result.code != 0) {
            std::free(sock);
            return result;
        }
        secondaryText = takeText(sock);
    } else {
        secondaryText = rc.systemMessage;
    }
    if (traceOn(4)) traceMethodLine(false, "XQResolveMessage::ResolveMsgs()");
    return success();
}

XQRC XQResolveMessage::ResolveEvent(unsigned int code, XQSTRING& text) {
    const wchar_t* inserts[12] = {};
    XQSTRING fileName = catalogueName;
    void* buffer = nullptr;
    XQRC result = LookupFileMsg(fileName, static_cast<int>(code), &buffer, inserts);
    if (result.code != 0) {
        std::free(buffer);
        return result;
    }
    text = takeText(buffer);
    return success();
}

XQRC XQResolveMessage::LookupSysMsg(int, void** text) {
    *text = allocateText();
    return success();
}

XQRC XQResolveMessage::LookupFileMsg(int code, void** text, const wchar_t** inserts) {
    XQSTRING fileName;
    return LookupFileMsg(fileName, code, text, inserts);
}

XQRC XQResolveMessage::LookupFileMsg(XQSTRING& fileName, int code, void** text, const wchar_t** inserts) {
    if (fileName.empty()) fileName = catalogueName;
    const std::string file = xqToMultibyte(fileName);

    // Each thread needs a client context; one begun here ends here.
    bool contextBegun = false;
    dbContext context;
    if (dbInitAppData(DB_APPDATA_MAGIC) == DB_NO_CONTEXT) {
        std::memset(&context, 0, sizeof context);
        int status = 0;
        if (dbBeginContext(&context, 0, 0, &status) == 0) {
            dbInitAppData(DB_APPDATA_MAGIC);
            contextBegun = true;
        }
    }

    std::string texts[12];
    dbMessageToken tokens[12];
    for (int i = 0; i < 12; ++i) {
        const wchar_t* s = inserts ? inserts[i] : nullptr;
        texts[i] = (s == nullptr || *s == L'\0') ? std::string("?") : insertText(s);
        tokens[i].length = static_cast<unsigned short>(texts[i].size());
        tokens[i].text = texts[i].data();
    }

    *text = allocateText();
    char* output = static_cast<char*>(std::calloc(kOutputBytes, 1));
    if (output != nullptr && *text != nullptr) {
        int status = 0;
        dbFormatMessage(file.c_str(), code, tokens, output, kOutputBytes, &status);
        wchar_t* wide = static_cast<wchar_t*>(*text);
        if (std::mbstowcs(wide, output, kTextChars - 1) == static_cast<size_t>(-1)) {
            // Bytes the locale cannot read: keep what can be read, marked.
            XQSTRING readable = xqFromMultibyte(output);
            if (readable.size() > kTextChars - 1) readable.resize(kTextChars - 1);
            std::wmemcpy(wide, readable.data(), readable.size());
            wide[readable.size()] = L'\0';
        }
    }
    std::free(output);
    if (contextBegun) {
        int status = 0;
        dbEndContext(&context, 0, 0, &status);
    }
    return success();
}

namespace {

// The texts the inserts of the calling thread's last UnloadXqrc point to.
// The return code arrives by value and dies with the call, and one resolver
// may serve many threads unlocked, so the texts live per thread.
struct UnloadedTexts {
    XQSTRING tokens[10];
    XQSTRING extra;
    XQSTRING number;
};

}  // namespace

void XQResolveMessage::UnloadXqrc(XQRC rc, const XQSTRING& extraInsert, unsigned int numberInsert, int& code,
                                  XQRC::domainType& domain, const wchar_t** inserts) {
    XQ_TRACE_METHOD("XQResolveMessage::UnloadXqrc()");
    static thread_local UnloadedTexts texts;
    code = rc.code;
    domain = rc.domain;
    XQSTRING* t = texts.tokens;
    rc.GetXQMessage(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
    texts.extra = extraInsert;
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%d", static_cast<int>(numberInsert));
    texts.number = digits;
    for (int i = 0; i < 7; ++i) inserts[i] = t[i].c_str();
    inserts[7] = texts.extra.c_str();
    inserts[8] = texts.number.c_str();
    for (int i = 7; i < 10; ++i) inserts[i + 2] = t[i].c_str();
}

XQRC XQResolveMessage::OpenNTEventLog(const XQSTRING) {
    XQ_TRACE_METHOD("XQResolveMessage::OpenNTEventLog()");
    return success();
}

XQRC XQResolveMessage::CloseNTEventLog() {
    XQ_TRACE_METHOD("XQResolveMessage::CloseNTEventLog()");
    return success();
}

XQRC XQResolveMessage::LogNTEventError(XQRC, XQSTRING, unsigned int) {
    XQ_TRACE_METHOD("XQResolveMessage::LogNTEventError()");
    return success();
}

XQRC XQResolveMessage::LogNTEventWarning(XQRC, XQSTRING, unsigned int) {
    XQ_TRACE_METHOD("XQResolveMessage::LogNTEventWarning()");
    return success();
}

XQRC XQResolveMessage::LogNTEventInfo(int) {
    XQ_TRACE_METHOD("XQResolveMessage::LogNTEventInfo()");
    return success();
}

XQRC XQResolveMessage::LogNTEvent(XQRC, unsigned int, const XQSTRING, unsigned int) {
    XQ_TRACE_METHOD("XQResolveMessage::LogNTEvent()");
    return success();
}

#include "foundation/Conversion.h"

#include <langinfo.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/ConversionKernels.h"
#include "foundation/Trace.h"

const char* currentCCSID = "-";

namespace {

const wchar_t* const kWideToUnicode = L"VCAUTIL::ConvertWideToUnicode";
const wchar_t* const kUnicodeToWide = L"VCAUTIL::ConvertUnicodeToWide";

// The wire form; glibc's plain "UCS-2" is little-endian on x86.
const char* const kWireCodeset = "UCS-2BE";
const char* const kWireLabel = "UCS-2";

struct CodesetRow {
    const char* localeName;
    const char* iconvName;
};

const CodesetRow kCodesetTable[] = {
    {"UTF-7", "UTF-7"},
    {"UTF-8", "UTF-8"},
    {"UTF-16", "UTF-16"},
    {"UCS-2", "UCS-2"},
    {"UCS-4", "UCS-4"},
    {"iso2022", "iso2022"},
    {"KOI8-R", "KOI8-R"},
    {"SJIS", "SJIS"},
    {"eucJP", "eucJP"},
    {"PCK", "PCK"},
    {"ko_KR-euc", "ko_KR-euc"},
    {"ko_KR-johap", "ko_KR-johap"},
    {"ko_KR-johap92", "ko_KR-johap92"},
    {"ko_KR-iso2022-7", "ko_KR-iso2022-7"},
    {"ISO8859-1", "8859-1"},
    {"ISO8859-2", "8859-2"},
    {"ISO8859-3", "8859-3"},
    {"ISO8859-4", "8859-4"},
    {"ISO8859-5", "8859-5"},
    {"ISO8859-6", "8859-6"},
    {"ISO8859-7", "8859-7"},
    {"ISO8859-8", "8859-8"},
    {"ISO8859-9", "8859-9"},
    {"ISO8859-10", "8859-10"},
    {"ISO8859-13", "8859-13"},
    {"ISO8859-15", "8859-15"},
    {"ISO-2022-CN", "zh_CN.iso2022-7"},
    {"ISO-2022-TW", "zh_TW.iso2022-7"},
    {"ISO-2022-KR", "ko_KR-iso22022-7"},
    {"gb2312", "zh_CN.euc"},
    {"GBK", "zh_CN.euc"},
    {"cns11643", "zh_TW-euc"},
    {"BIG5", "zh_TW-big5"},
    {"5601", "ko_KR-euc"},
    // glibc's own spellings of the code sets its locales use.
    {"ANSI_X3.4-1968", "ANSI_X3.4-1968"},
    {"ISO-8859-1", "ISO-8859-1"},
    {"ISO-8859-2", "ISO-8859-2"},
    {"ISO-8859-3", "ISO-8859-3"},
    {"ISO-8859-4", "ISO-8859-4"},
    {"ISO-8859-5", "ISO-8859-5"},
    {"ISO-8859-6", "ISO-8859-6"},
    {"ISO-8859-7", "ISO-8859-7"},
    {"ISO-8859-8", "ISO-8859-8"},
    {"ISO-8859-9", "ISO-8859-9"},
    {"ISO-8859-10", "ISO-8859-10"},
    {"ISO-8859-11", "ISO-8859-11"},
    {"ISO-8859-13", "ISO-8859-13"},
    {"ISO-8859-14", "ISO-8859-14"},
    {"ISO-8859-15", "ISO-8859-15"},
    {"ISO-8859-16", "ISO-8859-16"},
    {"EUC-JP", "EUC-JP"},
    {"EUC-KR", "EUC-KR"},
    {"EUC-TW", "EUC-TW"},
    {"GB2312", "GB2312"},
    {"GB18030", "GB18030"},
    {"BIG5-HKSCS", "BIG5-HKSCS"},
    {"SHIFT_JIS", "SHIFT_JIS"},
    {"KOI8-U", "KOI8-U"},
    {"KOI8-T", "KOI8-T"},
    {"CP1251", "CP1251"},
    {"CP1255", "CP1255"},
    {"TIS-620", "TIS-620"},
    {"ARMSCII-8", "ARMSCII-8"},
    {"GEORGIAN-PS", "GEORGIAN-PS"},
    {"PT154", "PT154"},
    {"RK1048", "RK1048"},
    {"TCVN5712-1", "TCVN5712-1"},
    {"NONE", "NONE"},
};

const iconv_t kClosed = reinterpret_cast<iconv_t>(-1);

// One iconv descriptor, closed when its owner goes.
class IconvHandle {
public:
    IconvHandle() = default;
    ~IconvHandle() { reset(); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool open() const { return cd_ != kClosed; }
    iconv_t get() const { return cd_; }
    // Returns the errno of a failed open, 0 on success.
    int openFor(const char* to, const char* from) {
        reset();
        cd_ = iconv_open(to, from);
        return cd_ == kClosed ? errno : 0;
    }
    void reset() {
        if (cd_ != kClosed) iconv_close(cd_);
        cd_ = kClosed;
    }

private:
    iconv_t cd_ = kClosed;
};

// The calling thread's descriptors.
struct ThreadConversion {
    IconvHandle localToUtf8;  // cd_LOCAL_UTF8
    IconvHandle ucs2ToUtf8;   // cd_UCS2_UTF8
    IconvHandle utf8ToLocal;  // cd_UTF8_LOCAL
    IconvHandle utf8ToUcs2;   // cd_UTF8_UCS2
    std::string localName;  // the iconv name the locale side was opened with
    bool codesetTranslated = false;
    bool allOpen() const {
        return localToUtf8.open() && ucs2ToUtf8.open() && utf8ToLocal.open() && utf8ToUcs2.open();
    }
};

ThreadConversion& threadConversion() {
    thread_local ThreadConversion state;
    return state;
}

std::atomic<bool> fastPathAllowed{true};

std::once_flag codesetOnce;

void askCodesetOnce() {
    std::call_once(codesetOnce, [] {
        std::setlocale(LC_ALL, "");
        // Kept for the life of the process.
        currentCCSID = strdup(nl_langinfo(CODESET));
        if (currentCCSID == nullptr) currentCCSID = "-";
        XQ_TRACE(4, "Current locale setting: " << currentCCSID);
    });
}

void copyName(char* dst, const char* src) {
    std::strncpy(dst, src, XQ_CODESET_NAME_MAX - 1);
    dst[XQ_CODESET_NAME_MAX - 1] = '\0';
}

void resetState(iconv_t cd) { iconv(cd, nullptr, nullptr, nullptr, nullptr); }

enum class FastKind { None, Utf8, Ascii };

// The direct path applies only when the code set the staged path would use
// (the locale of this thread, and the one the descriptors were opened for)
// is UTF-8 or ASCII, and nobody asked for the code-set detail lines.
FastKind fastKind() {
    if (!fastPathAllowed.load(std::memory_order_relaxed) || traceOn(5)) return FastKind::None;
    const char* cs = nl_langinfo(CODESET);
    if (std::strcmp(cs, currentCCSID) != 0) return FastKind::None;
    if (std::strcmp(cs, "UTF-8") == 0) return FastKind::Utf8;
    if (std::strcmp(cs, "ANSI_X3.4-1968") == 0) return FastKind::Ascii;
    return FastKind::None;
}

// The message begins at the eye catcher "XQ...": the first position p with
// 'X' at p and 'Q' at p + 2 starts the message at p - 1 (the high byte of
// the 'X'). The scan starts at 1 because p - 1 must exist.
size_t findMessageStart(const unsigned char* p, size_t n) {
    if (n < 3) return 0;
    size_t pos = 1;
    while (pos + 2 < n) {
        const void* hit = std::memchr(p + pos, 'X', n - 2 - pos);
        if (hit == nullptr) break;
        pos = static_cast<size_t>(static_cast<const unsigned char*>(hit) - p);
        if (p[pos + 2] == 'Q') return pos - 1;
        ++pos;
    }
    return 0;
}

XQRC failure(const wchar_t* method, const wchar_t* text, int code, int secondary) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    formatXQRC(rc, method, text, code, secondary);
    return rc;
}

// Steps shared by both directions: the descriptors of this thread open.
bool ensureDescriptors(ThreadConversion& st) {
    if (st.allOpen()) return true;
    if (setConvDesc() == 0) {
        XQ_TRACE(4, "Failed to open conversion tables");
        return false;
    }
    return true;
}

XQRC wideToUnicodeStaged(wchar_t* buffer, unsigned int length, const char* name) {
    ThreadConversion& st = threadConversion();
    // Whole wide characters plus a zero one, so the text is always terminated.
    std::vector<wchar_t> wide((static_cast<size_t>(length) + 3) / 4 + 1, L'\0');
    std::memcpy(wide.data(), buffer, length);
    // Room for the whole text in the locale's longest form: a value the
    // locale writes in more bytes than its wide form (glibc's UTF-8 takes six
    // for values above U+10FFFF) must reach the converter and be refused
    // there, not fall off the end of a short buffer unnoticed.
    const size_t chars = std::wcslen(wide.data());
    std::vector<char> multibyte(chars * MB_CUR_MAX + 2, '\0');
    std::vector<char> ucs2(static_cast<size_t>(length) + 2, '\0');

    if (traceOn(5)) {
        XQ_TRACE(5, "Converting wide char to " << name << " and then to " << kWireLabel);
        hexTrace(reinterpret_cast<const char*>(buffer), length, "Wide char buffer received :", nullptr);
    }

    size_t rc1 = std::wcstombs(multibyte.data(), wide.data(), multibyte.size() - 2);
    if (rc1 == static_cast<size_t>(-1)) {
        XQ_TRACE(4, "Failed to convert wide char to multi-byte char; rc1 = " << static_cast<long>(rc1));
        return failure(kWideToUnicode, L"Failed to convert wide char to multi-byte char", 8462,
                       static_cast<int>(rc1));
    }
    if (traceOn(5)) {
        XQ_TRACE(5, "wcstombs return code (# of wide char processed) " << static_cast<unsigned long>(rc1));
        hexTrace(multibyte.data(), std::strlen(multibyte.data()),
                 "Buffer converted to multibyte  +1 byte(sbcs), +2 bytes(dbcs) :", nullptr);
    }

    unsigned int mbLength = static_cast<unsigned int>(std::strlen(multibyte.data()));
    unsigned int inLeft = mbLength;
    unsigned int outLeft = length;
    int rc2 = iconv_sun(st.localToUtf8.get(), multibyte.data(), inLeft, ucs2.data(), outLeft, kWireLabel);
    if (rc2 != 0) {
        XQ_TRACE(4, "Could not convert Orvane message; rc2 = " << rc2);
        return failure(kWideToUnicode, L"iconv error", 8461, rc2);
    }
    // glibc's converter skips some characters UCS-2 cannot carry (the
    // language tags from U+E0000) instead of refusing them: a text that came
    // out shorter than two bytes a character lost one, and is refused as the
    // others are.
    if (length - outLeft < 2 * chars) {
        XQ_TRACE(4, "Could not convert Orvane message; a character was dropped");
        return failure(kWideToUnicode, L"iconv error", 8461, -1);
    }

    const unsigned char* out = reinterpret_cast<const unsigned char*>(ucs2.data());
    size_t start = findMessageStart(out, ucs2.size());
    XQ_TRACE(4, "Message starts at position " << static_cast<unsigned long>(start));
    if (traceOn(5)) {
        XQ_TRACE(5, "Bytes to be converted " << mbLength);
        XQ_TRACE(5, "iconv() return code " << rc2);
        XQ_TRACE(5, "InBytesLeft " << inLeft << "; OutBytesLeft " << outLeft);
        hexTrace(ucs2.data(), length, "Buffer converted to unicode :", nullptr);
    }

    size_t avail = ucs2.size() - start;
    size_t take = avail < length ? avail : length;
    unsigned char* dst = reinterpret_cast<unsigned char*>(buffer);
    std::memcpy(dst, out + start, take);
    std::memset(dst + take, 0, length - take);
    return XQRC(0, 0, XQRC::WhsSrv);
}

// The direct path; returns false (with the buffer as it came) when the
// staged path must decide, which it does for every input that is not plain
// text of the code set or that a conversion would reject.
bool wideToUnicodeFast(wchar_t* buffer, unsigned int length, FastKind kind) {
    if (length % 4 != 0) return false;
    size_t n = length / 4;
    unsigned char* out = reinterpret_cast<unsigned char*>(buffer);
    size_t done = 0;
    tcore_conv::Stop stop = tcore_conv::wideToUcs2(buffer, n, out, kind == FastKind::Ascii, done);
    if (stop == tcore_conv::Stop::Unusual) {
        tcore_conv::restoreWide(out, done);
        return false;
    }
    size_t produced = 2 * done;
    std::memset(out + produced, 0, length - produced);
    size_t start = findMessageStart(out, produced);
    XQ_TRACE(4, "Message starts at position " << static_cast<unsigned long>(start));
    if (start > 0) {
        std::memmove(out, out + start, produced - start);
        std::memset(out + produced - start, 0, start);
    }
    return true;
}

XQRC unicodeToWideStaged(unsigned char*& buffer, int& length) {
    ThreadConversion& st = threadConversion();
    if (length < 0) return failure(kUnicodeToWide, L"iconv error", 8461, -1);
    size_t len = static_cast<size_t>(length);
    std::vector<char> in(len + 2, '\0');
    if (len > 0) std::memcpy(in.data(), buffer, len);
    // Room for the text in UTF-8 and in the locale's form: a character of
    // two UCS-2 bytes takes up to three in UTF-8 and MB_CUR_MAX in the locale,
    // so text mostly of such characters must not fail for want of space.
    const size_t room = (len / 2 + 1) * std::max<size_t>(MB_CUR_MAX, 3);
    std::vector<char> multibyte(room + 2, '\0');
    if (traceOn(5)) hexTrace(in.data(), len, "Unicode buffer received :", nullptr);

    unsigned int inLeft = static_cast<unsigned int>(len);
    unsigned int outLeft = static_cast<unsigned int>(room);
    int rc1 = iconv_sun(st.ucs2ToUtf8.get(), in.data(), inLeft, multibyte.data(), outLeft, currentCCSID);
    if (rc1 != 0) {
        XQ_TRACE(4, "Failed to convert Orvane message; rc1 = " << rc1);
        return failure(kUnicodeToWide, L"iconv error", 8461, rc1);
    }
    if (traceOn(5)) {
        XQ_TRACE(5, "iconv return code " << rc1);
        XQ_TRACE(5, "InBytesLeft " << inLeft << "; OutBytesLeft " << outLeft);
        hexTrace(multibyte.data(), std::strlen(multibyte.data()),
                 "Buffer converted to multibyte +1 byte(sbcs), +2 bytes(dbcs) :", nullptr);
    }

    size_t newLength = 2 * len;
    unsigned char* fresh = static_cast<unsigned char*>(std::malloc(newLength + 4));
    if (fresh == nullptr) return failure(kUnicodeToWide, L"Failed to convert Multi-byte to wide char", 8463, -1);
    std::memset(fresh, 0, newLength + 4);
    // Whole characters plus a zero one; copied out so the result is aligned.
    std::vector<wchar_t> wide(newLength / 4 + 1, L'\0');
    size_t rc2 = std::mbstowcs(wide.data(), multibyte.data(), newLength / 4);
    if (rc2 == static_cast<size_t>(-1)) {
        std::free(fresh);
        XQ_TRACE(4, "Failed to convert Multi-byte to wide char; rc2 = " << static_cast<long>(rc2));
        return failure(kUnicodeToWide, L"Failed to convert Multi-byte to wide char", 8463, static_cast<int>(rc2));
    }
    std::memcpy(fresh, wide.data(), newLength);
    if (traceOn(5)) {
        XQ_TRACE(5, "mbstowcs return code " << static_cast<unsigned long>(rc2));
        hexTrace(reinterpret_cast<const char*>(fresh), newLength, "Buffer converted to wide char :", nullptr);
    }
    std::free(buffer);
    buffer = fresh;
    length = static_cast<int>(newLength);
    return XQRC(0, 0, XQRC::WhsSrv);
}

bool unicodeToWideFast(unsigned char*& buffer, int& length, FastKind kind) {
    if (length % 2 != 0) return false;
    size_t len = static_cast<size_t>(length);
    size_t units = len / 2;
    size_t newLength = 2 * len;
    unsigned char* fresh = static_cast<unsigned char*>(std::malloc(newLength + 4));
    if (fresh == nullptr) return false;
    size_t nonAscii = 0;
    bool ok = tcore_conv::ucs2ToWide(buffer, units, reinterpret_cast<wchar_t*>(fresh), kind == FastKind::Ascii,
                                     nonAscii);
    if (!ok) {
        std::free(fresh);
        return false;
    }
    std::memset(fresh + newLength, 0, 4);
    std::free(buffer);
    buffer = fresh;
    length = static_cast<int>(newLength);
    return true;
}

}  // namespace

void xqSetConversionFastPath(bool allowed) { fastPathAllowed.store(allowed, std::memory_order_relaxed); }

const char* mySetlocale(int category, const char* locale) {
    static std::once_flag once;
    static std::string kept;
    static bool keptNull = false;
    std::call_once(once, [&] {
        const char* r = std::setlocale(category, locale);
        if (r == nullptr)
            keptNull = true;
        else
            kept = r;
    });
    return keptNull ? nullptr : kept.c_str();
}

int GetIconvCodeset(char* codeset) {
    XQ_TRACE_METHOD("GetIconvCodeset()");
    if (codeset == nullptr) return 0;
    size_t i = 0;
    while (std::strcmp(kCodesetTable[i].localeName, "NONE") != 0 &&
           std::strcmp(kCodesetTable[i].localeName, codeset) != 0)
        ++i;
    XQ_TRACE(5, "\tThe value of i after searching for matching codeset from first column="
                    << static_cast<unsigned long>(i));
    if (std::strcmp(kCodesetTable[i].localeName, "NONE") != 0) {
        copyName(codeset, kCodesetTable[i].iconvName);
        return 1;
    }
    i = 0;
    while (std::strcmp(kCodesetTable[i].iconvName, "NONE") != 0 &&
           std::strcmp(kCodesetTable[i].iconvName, codeset) != 0)
        ++i;
    XQ_TRACE(5, "\tThe value of i after searching for matching codeset from second column="
                    << static_cast<unsigned long>(i));
    if (std::strcmp(kCodesetTable[i].iconvName, "NONE") != 0) return 1;

    XQ_TRACE(5, "\tContinue to search for the environment variable $XQA_LOCALE_TALBE.");
    const char* env = std::getenv("XQA_LOCALE_TABLE");
    if (env != nullptr && std::strlen(env) < XQ_CODESET_NAME_MAX) {
        XQ_TRACE(4, "Using the value set in XQA_LOCALE_TABLE: " << env);
        copyName(codeset, env);
        return 1;
    }
    if (env != nullptr) XQ_TRACE(4, "XQA_LOCALE_TABLE is too long and is ignored");
    XQ_TRACE(4, "codeset not found: " << codeset);
    return 0;
}

int setConvDesc() {
    askCodesetOnce();
    char local[XQ_CODESET_NAME_MAX];
    copyName(local, currentCCSID);
    if (GetIconvCodeset(local) == 0) {
        XQ_TRACE(4, "Codeset " << currentCCSID << " could not be found or the locale is not supported.");
        return 0;
    }
    ThreadConversion& st = threadConversion();
    auto traceOpenFailure = [](const char* from, const char* to, int err) {
        XQ_TRACE(4, "Failed to open conversion table. FROM-CCSID=" << from << "; TO-CCSID=" << to
                                                                    << "; errno=" << err);
    };
    if (!st.localToUtf8.open()) {
        int err = st.localToUtf8.openFor("UTF-8", local);
        // A table name that glibc does not know (such as "8859-1") falls
        // back to the locale's own name.
        if (err != 0 && std::strcmp(local, currentCCSID) != 0 &&
            st.localToUtf8.openFor("UTF-8", currentCCSID) == 0) {
            err = 0;
            copyName(local, currentCCSID);
        }
        if (err != 0) {
            traceOpenFailure(local, "UTF-8", err);
            return 0;
        }
        st.localName = local;
    }
    if (!st.ucs2ToUtf8.open()) {
        int err = st.ucs2ToUtf8.openFor("UTF-8", kWireCodeset);
        if (err != 0) {
            traceOpenFailure(kWireLabel, "UTF-8", err);
            return 0;
        }
    }
    if (!st.utf8ToLocal.open()) {
        int err = st.utf8ToLocal.openFor(st.localName.c_str(), "UTF-8");
        if (err != 0) {
            traceOpenFailure("UTF-8", st.localName.c_str(), err);
            return 0;
        }
    }
    if (!st.utf8ToUcs2.open()) {
        int err = st.utf8ToUcs2.openFor(kWireCodeset, "UTF-8");
        if (err != 0) {
            traceOpenFailure("UTF-8", kWireLabel, err);
            return 0;
        }
    }
    st.codesetTranslated = true;
    return 1;
}

int iconv_sun(iconv_t cd, char* in, unsigned int& inLength, char* out, unsigned int& outLength,
              const char* target) {
    if (cd == kClosed || in == nullptr || out == nullptr || target == nullptr) return -1;
    ThreadConversion& st = threadConversion();
    size_t tempSize = outLength;
    std::vector<char> temp(tempSize + 4, '\0');

    resetState(cd);
    char* ip = in;
    size_t il = inLength;
    char* op = temp.data();
    size_t ol = tempSize;
    size_t r1 = iconv(cd, &ip, &il, &op, &ol);
    inLength = static_cast<unsigned int>(il);
    outLength = static_cast<unsigned int>(ol);
    if (traceOn(5)) {
        XQ_TRACE(5, "Return code for SUN first stage conversion is " << static_cast<long>(r1));
        XQ_TRACE(5, "ConvertLenIn changed to " << inLength << "; ConvertLen changed to " << outLength);
        hexTrace(temp.data(), tempSize, "iconv_sun(): Entire buffer in UTF-8 format ", nullptr);
    }
    if (r1 == static_cast<size_t>(-1)) {
        XQ_TRACE(4, "***Error*** - could not convert ORX message to codeset: " << target);
        return -1;
    }
    if (std::strcmp(target, "UTF-8") == 0) {
        size_t n = std::strlen(temp.data());
        std::memcpy(out, temp.data(), n + 1);
        return 0;
    }

    iconv_t cd2 = std::strcmp(target, kWireLabel) == 0 ? st.utf8ToUcs2.get() : st.utf8ToLocal.get();
    size_t produced = tempSize - ol;
    inLength = static_cast<unsigned int>(produced);
    outLength = static_cast<unsigned int>(tempSize);
    if (cd2 == kClosed) {
        XQ_TRACE(4, "rc2 = -1; could not convert Orvane message to codeset " << target);
        return -1;
    }
    resetState(cd2);
    ip = temp.data();
    il = produced;
    op = out;
    ol = tempSize;
    size_t r2 = iconv(cd2, &ip, &il, &op, &ol);
    inLength = static_cast<unsigned int>(il);
    outLength = static_cast<unsigned int>(ol);
    op[0] = '\0';
    op[1] = '\0';
    if (r2 == static_cast<size_t>(-1)) {
        XQ_TRACE(4, "rc2 = -1; could not convert Orvane message to codeset " << target);
        return -1;
    }
    return 0;
}

XQRC ConvertWideToUnicode(wchar_t* buffer, unsigned int length) {
    ThreadConversion& st = threadConversion();
    if (!ensureDescriptors(st))
        return failure(kWideToUnicode, L"iconv error - one or more conversion tables not opened", 8461, 0);

    char name[XQ_CODESET_NAME_MAX];
    copyName(name, currentCCSID);
    // The translation cannot change once the descriptors opened with it;
    // it is repeated only when its trace lines are wanted.
    if (traceOn(4) || !st.codesetTranslated) {
        if (GetIconvCodeset(name) == 0) {
            XQ_TRACE(4, "The following codeset is not found or locale is not supported Codeset: " << currentCCSID);
            return failure(kWideToUnicode, L"Codeset not supported.", 8461, 0);
        }
        st.codesetTranslated = true;
    }
    if (buffer == nullptr) length = 0;

    FastKind kind = fastKind();
    if (kind != FastKind::None && buffer != nullptr && wideToUnicodeFast(buffer, length, kind))
        return XQRC(0, 0, XQRC::WhsSrv);
    if (buffer == nullptr) return XQRC(0, 0, XQRC::WhsSrv);
    return wideToUnicodeStaged(buffer, length, name);
}

XQRC ConvertUnicodeToWide(unsigned char*& buffer, int& length) {
    ThreadConversion& st = threadConversion();
    if (!ensureDescriptors(st))
        return failure(kUnicodeToWide, L"iconv error - one or more conversion tables not opened", 8461, 0);
    if (length < 0 || (buffer == nullptr && length != 0) || length > (0x7FFFFFFF - 8) / 2)
        return failure(kUnicodeToWide, L"iconv error", 8461, -1);

    FastKind kind = fastKind();
    if (kind != FastKind::None && unicodeToWideFast(buffer, length, kind)) return XQRC(0, 0, XQRC::WhsSrv);
    return unicodeToWideStaged(buffer, length);
}

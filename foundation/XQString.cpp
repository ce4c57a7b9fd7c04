#include "foundation/XQString.h"

#include <climits>
#include <cwchar>
#include <cwctype>
#include <type_traits>

std::wstring::size_type xqFindNoCase(const XQSTRING& haystack, const XQSTRING& needle,
                                     std::wstring::size_type from) {
    if (needle.empty()) return from <= haystack.size() ? from : std::wstring::npos;
    if (needle.size() > haystack.size()) return std::wstring::npos;
    for (std::wstring::size_type i = from; i + needle.size() <= haystack.size(); ++i) {
        std::wstring::size_type k = 0;
        while (k < needle.size() && std::towupper(haystack[i + k]) == std::towupper(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::wstring::npos;
}

int xqCompareNoCase(const XQSTRING& a, const XQSTRING& b) {
    std::wstring::size_type n = a.size() < b.size() ? a.size() : b.size();
    for (std::wstring::size_type i = 0; i < n; ++i) {
        wint_t ca = std::towupper(a[i]);
        wint_t cb = std::towupper(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

XQSTRING xqToUpper(const XQSTRING& s) {
    XQSTRING out(s);
    for (auto& c : out) c = static_cast<wchar_t>(std::towupper(c));
    return out;
}

void xqReplaceRange(XQSTRING& s, std::wstring::size_type pos, std::wstring::size_type count,
                    const XQSTRING& text) {
    if (pos > s.size()) pos = s.size();
    s.replace(pos, count, text);
}

namespace {

// ASCII is the same in every character set a locale here can have (each is
// a superset of it, and none starts in a shifted state), and most texts
// converted (host names, addresses, keys, SQL) are ASCII only: they are
// copied, not converted a character at a time.
template <class Text>
bool allAscii(const Text& s) {
    using Unit = std::make_unsigned_t<typename Text::value_type>;
    for (auto c : s)
        if (static_cast<Unit>(c) > 0x7F) return false;
    return true;
}

}  // namespace

std::string xqToMultibyte(const XQSTRING& s) {
    if (allAscii(s)) return std::string(s.begin(), s.end());
    std::string out;
    out.reserve(s.size());
    std::mbstate_t st{};
    char buf[MB_LEN_MAX];
    for (wchar_t wc : s) {
        size_t n = std::wcrtomb(buf, wc, &st);
        if (n == static_cast<size_t>(-1)) {
            out.push_back('?');
            st = std::mbstate_t{};
        } else {
            out.append(buf, n);
        }
    }
    return out;
}

XQSTRING xqFromMultibyte(const std::string& s) {
    if (allAscii(s)) return XQSTRING(s.begin(), s.end());
    XQSTRING out;
    out.reserve(s.size());
    std::mbstate_t st{};
    const char* p = s.data();
    size_t left = s.size();
    while (left > 0) {
        wchar_t wc;
        size_t n = std::mbrtowc(&wc, p, left, &st);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
            out.push_back(L'\xFFFD');
            st = std::mbstate_t{};
            ++p;
            --left;
            continue;
        }
        if (n == 0) n = 1;  // embedded NUL
        out.push_back(wc);
        p += n;
        left -= n;
    }
    return out;
}

XQSTRING xqNumber(long value) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"%ld", value);
    return buf;
}

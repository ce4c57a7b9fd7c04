#include <cwchar>
#include <string>
#include <vector>

#include "foundation/Trace.h"

// Where a connect string holds a password. Drivers disagree on the syntax:
// ODBC quotes a value with braces when it holds ";" (a "}" inside doubled),
// some drivers take double quotes, some keep blanks, some stop at a blank,
// and older code cut a value at its first ";". The mask covers the value under
// every one of those readings, so that none of them sees a character of it
// in clear: it runs from the "=" to the closing brace or quote and on to the
// next ";", and every keyword is looked for everywhere, also inside values.

namespace {

char maskOf(unsigned char c) {
    if (c >= '0' && c <= '9') return 'N';
    if (c >= 'A' && c <= 'Z') return 'X';
    if (c >= 'a' && c <= 'z') return 'x';
    return '-';
}

// Blanks and the other white-space characters a driver may trim.
bool isBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

wchar_t asciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

// When a password keyword ("PWD" or "PASSWD", any case, blanks allowed
// before its "=") starts at at: the position after the "="; else npos.
std::wstring::size_type valueAfterKeyword(const XQSTRING& s, std::wstring::size_type at) {
    static const wchar_t* const keys[] = {L"PWD", L"PASSWD"};
    for (const wchar_t* key : keys) {
        const std::wstring::size_type n = std::wcslen(key);
        if (at + n > s.size()) continue;
        std::wstring::size_type k = 0;
        while (k < n && asciiUpper(s[at + k]) == key[k]) ++k;
        if (k < n) continue;
        std::wstring::size_type i = at + n;
        while (i < s.size() && isBlank(s[i])) ++i;
        if (i < s.size() && s[i] == L'=') return i + 1;
    }
    return std::wstring::npos;
}

// The closing quote of a value opened at open: the last of the first run of
// closing characters of odd length (a doubled one stands for itself); npos
// when the value is never closed.
std::wstring::size_type closingQuote(const XQSTRING& s, std::wstring::size_type open, wchar_t close) {
    std::wstring::size_type i = open + 1;
    while (i < s.size()) {
        if (s[i] != close) {
            ++i;
            continue;
        }
        std::wstring::size_type run = 0;
        while (i + run < s.size() && s[i + run] == close) ++run;
        if (run % 2 == 1) return i + run - 1;
        i += run;
    }
    return std::wstring::npos;
}

enum Mark : unsigned char { Clear, Delimiter, Masked };

void markValue(const XQSTRING& s, std::wstring::size_type value, std::vector<Mark>& marks) {
    std::wstring::size_type first = value;
    while (first < s.size() && isBlank(s[first])) ++first;
    std::wstring::size_type open = std::wstring::npos, close = std::wstring::npos, end;
    if (first < s.size() && (s[first] == L'{' || s[first] == L'"')) {
        open = first;
        close = closingQuote(s, open, s[open] == L'{' ? L'}' : L'"');
        end = close == std::wstring::npos ? s.size() : s.find(L';', close + 1);
    } else {
        end = s.find(L';', value);
    }
    if (end == std::wstring::npos) end = s.size();
    for (std::wstring::size_type k = value; k < end; ++k) {
        if (k == open || k == close) {
            if (marks[k] == Clear) marks[k] = Delimiter;
        } else {
            marks[k] = Masked;
        }
    }
}

void appendMasked(std::string& out, const XQSTRING& text) {
    for (char c : xqToMultibyte(text)) out += maskOf(static_cast<unsigned char>(c));
}

}  // namespace

char* MaskaString(char* text) {
    if (text == nullptr) return text;
    for (char* p = text; *p; ++p) *p = maskOf(static_cast<unsigned char>(*p));
    return text;
}

std::string xqMaskedText(const XQSTRING& text) {
    std::string out;
    appendMasked(out, text);
    return out;
}

std::string printConnectStr(const XQSTRING& connect) {
    std::vector<Mark> marks(connect.size(), Clear);
    bool any = false;
    for (std::wstring::size_type i = 0; i < connect.size(); ++i) {
        std::wstring::size_type value = valueAfterKeyword(connect, i);
        if (value == std::wstring::npos) continue;
        markValue(connect, value, marks);
        any = true;
    }
    if (!any) return xqToMultibyte(connect);

    std::string out;
    std::wstring::size_type i = 0;
    while (i < connect.size()) {
        const bool masked = marks[i] == Masked;
        std::wstring::size_type j = i;
        while (j < connect.size() && (marks[j] == Masked) == masked) ++j;
        if (masked)
            appendMasked(out, connect.substr(i, j - i));
        else
            out += xqToMultibyte(connect.substr(i, j - i));
        i = j;
    }
    return out;
}

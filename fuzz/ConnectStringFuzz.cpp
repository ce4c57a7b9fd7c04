#include <cwchar>
#include <vector>

#include "FuzzTargets.h"
#include "foundation/Trace.h"

// The readings below are independent of the masking code on purpose: each is
// how some driver, or older code, may take a connect string apart.

namespace {

typedef std::wstring::size_type Pos;
const Pos npos = std::wstring::npos;

bool isSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

bool isPasswordKey(const XQSTRING& s, Pos from, Pos to) {
    while (from < to && isSpace(s[from])) ++from;
    while (to > from && isSpace(s[to - 1])) --to;
    XQSTRING key;
    for (Pos i = from; i < to; ++i) key += (s[i] >= L'a' && s[i] <= L'z') ? static_cast<wchar_t>(s[i] - 32) : s[i];
    return key == L"PWD" || key == L"PASSWD";
}

struct Reading {
    const char* name;
    bool braces;       // "{...}" quotes a value
    bool doubleQuotes; // "\"...\"" quotes a value
    bool doubling;     // a doubled closing character inside stands for itself
    bool skipBlanks;   // blanks after "=" are not part of the value
};

const Reading kReadings[] = {
    {"ODBC braces", true, false, true, true},  {"braces, no doubling", true, false, false, true},
    {"braces, blanks kept", true, false, true, false}, {"double quotes", false, true, true, true},
    {"double quotes, no doubling", false, true, false, false}, {"plain", false, false, false, false},
};

Pos closing(const XQSTRING& s, Pos open, wchar_t close, bool doubling) {
    for (Pos i = open + 1; i < s.size(); ++i) {
        if (s[i] != close) continue;
        if (doubling && i + 1 < s.size() && s[i + 1] == close) {
            ++i;
            continue;
        }
        return i;
    }
    return npos;
}

struct Range {
    Pos from, to;
};

// key=value pairs separated by ";"; a quoted value may hold ";". Whatever
// follows a closing quote up to the next ";" is taken as part of the value.
void readPairs(const XQSTRING& s, const Reading& r, std::vector<Range>& values) {
    Pos pos = 0;
    while (pos < s.size()) {
        Pos eq = pos;
        while (eq < s.size() && s[eq] != L'=' && s[eq] != L';') ++eq;
        if (eq >= s.size()) return;
        if (s[eq] == L';') {
            pos = eq + 1;
            continue;
        }
        Pos first = eq + 1;
        if (r.skipBlanks)
            while (first < s.size() && isSpace(s[first])) ++first;
        Pos end;
        const bool quoted = first < s.size() && ((r.braces && s[first] == L'{') || (r.doubleQuotes && s[first] == L'"'));
        if (quoted) {
            Pos close = closing(s, first, s[first] == L'{' ? L'}' : L'"', r.doubling);
            end = close == npos ? s.size() : s.find(L';', close + 1);
        } else {
            end = s.find(L';', eq + 1);
        }
        if (end == npos) end = s.size();
        if (isPasswordKey(s, pos, eq)) values.push_back({eq + 1, end});
        pos = end + 1;
    }
}

// The older masking: "PWD=" or "PASSWD=" anywhere, the value cut at the first
// ";", else the first double quote, else the first blank.
void readOldWay(const XQSTRING& s, std::vector<Range>& values) {
    for (Pos i = 0; i < s.size(); ++i) {
        for (const wchar_t* key : {L"PWD=", L"PASSWD="}) {
            const Pos n = std::wcslen(key);
            if (i + n > s.size()) continue;
            Pos k = 0;
            while (k < n && ((s[i + k] >= L'a' && s[i + k] <= L'z') ? s[i + k] - 32 : s[i + k]) == key[k]) ++k;
            if (k < n) continue;
            Pos end = s.find(L';', i + n);
            if (end == npos) end = s.find(L'"', i + n);
            if (end == npos) end = s.find(L' ', i + n);
            if (end == npos) end = s.size();
            values.push_back({i + n, end});
        }
    }
}

wchar_t character(unsigned char b) {
    if (b < 0x80) return static_cast<wchar_t>(b);
    if (b < 0xC0) return static_cast<wchar_t>(0xA0 + (b - 0x80));    // Latin-1
    if (b < 0xF0) return static_cast<wchar_t>(0x4E00 + (b - 0xC0));  // CJK, three bytes in UTF-8
    return static_cast<wchar_t>(0x1F600 + (b - 0xF0));                // outside the BMP
}

char maskOf(unsigned char c) {
    if (c >= '0' && c <= '9') return 'N';
    if (c >= 'A' && c <= 'Z') return 'X';
    if (c >= 'a' && c <= 'z') return 'x';
    return '-';
}

}  // namespace

std::string fuzzConnectString(const unsigned char* data, std::size_t size) {
    XQSTRING s;
    for (std::size_t i = 0; i < size; ++i) s += character(data[i]);
    const std::string out = printConnectStr(s);

    // Where each character's multibyte form lies in the output.
    std::vector<std::string> forms;
    std::vector<std::size_t> at;
    std::size_t total = 0;
    for (wchar_t c : s) {
        forms.push_back(xqToMultibyte(XQSTRING(1, c)));
        at.push_back(total);
        total += forms.back().size();
    }
    if (out.size() != total) return "the output is not as long as the input";

    std::vector<Range> values;
    for (const Reading& r : kReadings) readPairs(s, r, values);
    readOldWay(s, values);
    if (out != xqToMultibyte(s)) {
        // Only a keyword with its "=" may change anything.
        bool keyword = false;
        for (Pos eq = 0; eq < s.size() && !keyword; ++eq) {
            if (s[eq] != L'=') continue;
            Pos end = eq;
            while (end > 0 && isSpace(s[end - 1])) --end;
            for (Pos n : {Pos(3), Pos(6)})
                if (end >= n && isPasswordKey(s, end - n, end)) keyword = true;
        }
        if (!keyword) return "a string without a password came out changed";
    }
    for (const Range& v : values) {
        for (Pos k = v.from; k < v.to; ++k) {
            // Quoting characters may stay: they are the syntax, not the secret.
            if (s[k] == L'{' || s[k] == L'}' || s[k] == L'"') continue;
            for (std::size_t b = 0; b < forms[k].size(); ++b) {
                if (out[at[k] + b] != maskOf(static_cast<unsigned char>(forms[k][b])))
                    return "character " + std::to_string(k) + " of a password is in clear";
            }
        }
    }
    return std::string();
}

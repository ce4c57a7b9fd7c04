#include "messages/XQFieldReader.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <wchar.h>
#include <cwctype>

#include "messages/FieldEncoding.h"

namespace {

// Characters are loaded through memcpy: a buffer or cursor need not be
// aligned to wchar_t.
inline wchar_t loadChar(const unsigned char* p) {
    wchar_t c;
    std::memcpy(&c, p, sizeof c);
    return c;
}

inline bool isAligned(const unsigned char* p) {
    return reinterpret_cast<std::uintptr_t>(p) % alignof(wchar_t) == 0;
}

// wcstol in base 10 over n characters that need not be NUL-terminated:
// white space (iswspace), an optional sign, then ASCII digits up to the first
// other character (a NUL included). Out of range clamps to LONG_MIN/LONG_MAX.
// No scratch copy, no allocation.
long parseNumber(const unsigned char* p, unsigned long n) {
    unsigned long i = 0;
    wchar_t c = 0;
    while (i < n) {
        c = loadChar(p + 4 * i);
        if (c >= L'0' && c <= L'9') break;
        if (c == L'-' || c == L'+' || !std::iswspace(static_cast<wint_t>(c))) break;
        ++i;
    }
    if (i == n) return 0;
    bool negative = false;
    if (c == L'-' || c == L'+') {
        negative = (c == L'-');
        ++i;
    }
    unsigned long magnitude = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        c = loadChar(p + 4 * i);
        if (c < L'0' || c > L'9') break;
        const unsigned long digit = static_cast<unsigned long>(c - L'0');
        if (magnitude > (ULONG_MAX - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (negative) {
        if (overflow || magnitude > static_cast<unsigned long>(LONG_MAX) + 1UL) return LONG_MIN;
        return magnitude == static_cast<unsigned long>(LONG_MAX) + 1UL ? LONG_MIN : -static_cast<long>(magnitude);
    }
    if (overflow || magnitude > static_cast<unsigned long>(LONG_MAX)) return LONG_MAX;
    return static_cast<long>(magnitude);
}

// The text of n characters at p, up to the first NUL among them.
void assignText(XQSTRING& out, const unsigned char* p, unsigned long n) {
    if (isAligned(p)) {
        const wchar_t* w = reinterpret_cast<const wchar_t*>(p);
        out.assign(w, ::wcsnlen(w, n));
        return;
    }
    unsigned long len = 0;
    while (len < n && loadChar(p + 4 * len) != L'\0') ++len;
    out.resize(len);
    if (len) std::memcpy(&out[0], p, 4 * len);
}

inline long toInt32(long value) {
    return static_cast<long>(static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(value))));
}

}  // namespace

XQFieldReader::XQFieldReader(const unsigned char* buffer, unsigned long size, unsigned long cursor)
    : buffer_(buffer), end_(size & ~3UL), cursor_(cursor), overrun_(false), bounded_(true) {
    if (cursor_ > end_ || buffer_ == nullptr) MarkOverrun();
}

XQFieldReader XQFieldReader::Unbounded(const unsigned char* buffer, unsigned long cursor) {
    XQFieldReader reader(buffer, ~3UL, cursor);
    reader.bounded_ = false;
    return reader;
}

void XQFieldReader::MarkOverrun() {
    cursor_ = end_;
    overrun_ = true;
}

bool XQFieldReader::Take(unsigned long bytes) {
    if (bytes > end_ - cursor_) {
        MarkOverrun();
        return false;
    }
    cursor_ += bytes;
    return true;
}

bool XQFieldReader::Fits(unsigned long count, unsigned long bytesEach) const {
    if (!bounded_ || bytesEach == 0) return true;
    return count <= Remaining() / bytesEach;
}

unsigned long XQFieldReader::ReadLengthPrefix() {
    if (!Take(XQ_FIELD_PREFIX_BYTES)) return 0;
    const long n = parseNumber(buffer_ + cursor_ - XQ_FIELD_PREFIX_BYTES, XQ_FIELD_PREFIX_CHARS);
    return n > 0 ? static_cast<unsigned long>(n) : 0;
}

void XQFieldReader::ReadString(XQSTRING& out) {
    const unsigned long n = ReadLengthPrefix();
    ReadChars(n, out);
}

XQSTRING XQFieldReader::ReadString() {
    XQSTRING out;
    ReadString(out);
    return out;
}

long XQFieldReader::ReadNumberLong() { return toInt32(ReadCharsAsNumber(ReadLengthPrefix())); }

unsigned long XQFieldReader::ReadNumber() {
    return static_cast<std::uint32_t>(static_cast<unsigned long>(ReadCharsAsNumber(ReadLengthPrefix())));
}

void XQFieldReader::ReadChars(unsigned long chars, XQSTRING& out) {
    if (chars == 0) {
        out.clear();
        return;
    }
    if (chars > Remaining() / 4) {
        MarkOverrun();
        out.clear();
        return;
    }
    const unsigned char* p = buffer_ + cursor_;
    cursor_ += 4 * chars;
    assignText(out, p, chars);
}

long XQFieldReader::ReadCharsAsNumber(unsigned long chars) {
    if (chars == 0) return 0;
    if (chars > Remaining() / 4) {
        MarkOverrun();
        return 0;
    }
    const unsigned char* p = buffer_ + cursor_;
    cursor_ += 4 * chars;
    return parseNumber(p, chars);
}

void XQFieldReader::Skip(unsigned long bytes) {
    if (bytes > Remaining()) {
        MarkOverrun();
        return;
    }
    Take((bytes + 3) & ~3UL);
}

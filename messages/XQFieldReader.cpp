#include "messages/XQFieldReader.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <wchar.h>
#include <cwctype>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "messages/FieldEncoding.h"

namespace {

// Characters are loaded through memcpy: a buffer or cursor need not be
// aligned to wchar_t.
inline wchar_t loadChar(const unsigned char* p) {
    wchar_t c;
    std::memcpy(&c, p, sizeof c);
    return c;
}

// wcstol in base 10 over n characters that need not be NUL-terminated:
// white space (iswspace), an optional sign, then ASCII digits up to the first
// other character (a NUL included). Out of range clamps to LONG_MIN/LONG_MAX.
// No scratch copy, no allocation.
long parseNumberSlow(const unsigned char* p, unsigned long n) {
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
        overflow |= __builtin_mul_overflow(magnitude, 10UL, &magnitude);
        overflow |= __builtin_add_overflow(magnitude, static_cast<unsigned long>(c - L'0'), &magnitude);
    }
    const unsigned long limit = static_cast<unsigned long>(LONG_MAX);
    if (negative) {
        if (overflow || magnitude > limit) return LONG_MIN;
        return -static_cast<long>(magnitude);
    }
    if (overflow || magnitude > limit) return LONG_MAX;
    return static_cast<long>(magnitude);
}

// Number fields hold at most 11 characters when a sender wrote them: a sign
// or a digit first, then digits. Up to 18 digits cannot overflow, so the
// common case needs no checks.
inline long parseNumber(const unsigned char* p, unsigned long n) {
    if (n == 0 || n > 18) return parseNumberSlow(p, n);
    const wchar_t first = loadChar(p);
    unsigned long i = 0;
    bool negative = false;
    if (first == L'-' || first == L'+') {
        negative = first == L'-';
        i = 1;
    } else if (first < L'0' || first > L'9') {
        return parseNumberSlow(p, n);
    }
    unsigned long magnitude = 0;
    for (; i < n; ++i) {
        const unsigned long digit = static_cast<unsigned long>(loadChar(p + 4 * i)) - L'0';
        if (digit > 9) break;
        magnitude = magnitude * 10 + digit;
    }
    return negative ? -static_cast<long>(magnitude) : static_cast<long>(magnitude);
}

// The five prefix characters: almost always five digits.
inline long parsePrefix(const unsigned char* p) {
    unsigned long value = 0;
    for (int i = 0; i < 5; ++i) {
        const unsigned long digit = static_cast<unsigned long>(loadChar(p + 4 * i)) - L'0';
        if (digit > 9) return parseNumberSlow(p, XQ_FIELD_PREFIX_CHARS);
        value = value * 10 + digit;
    }
    return static_cast<long>(value);
}

// Characters before the first NUL among the n at p.
inline unsigned long textLength(const unsigned char* p, unsigned long n) {
    unsigned long i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi32(block, zero));
        if (mask != 0) return i + static_cast<unsigned long>(__builtin_ctz(static_cast<unsigned>(mask))) / 4;
    }
#endif
    while (i < n && loadChar(p + 4 * i) != L'\0') ++i;
    return i;
}

// The text of n characters at p, up to the first NUL among them. The
// string's storage is reused when it is large enough.
inline void assignText(XQSTRING& out, const unsigned char* p, unsigned long n) {
    const unsigned long len = textLength(p, n);
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

inline bool XQFieldReader::Take(unsigned long bytes) {
    if (bytes > end_ - cursor_) {
        MarkOverrun();
        return false;
    }
    cursor_ += bytes;
    return true;
}

inline unsigned long XQFieldReader::ReadLengthPrefix() {
    if (!Take(XQ_FIELD_PREFIX_BYTES)) return 0;
    const long n = parsePrefix(buffer_ + cursor_ - XQ_FIELD_PREFIX_BYTES);
    return n > 0 ? static_cast<unsigned long>(n) : 0;
}

inline void XQFieldReader::TakeText(unsigned long chars, XQSTRING& out) {
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

inline long XQFieldReader::TakeNumber(unsigned long chars) {
    if (chars == 0) return 0;
    if (chars > Remaining() / 4) {
        MarkOverrun();
        return 0;
    }
    const unsigned char* p = buffer_ + cursor_;
    cursor_ += 4 * chars;
    return parseNumber(p, chars);
}

bool XQFieldReader::Fits(unsigned long count, unsigned long bytesEach) const {
    if (!bounded_ || bytesEach == 0) return true;
    return count <= Remaining() / bytesEach;
}

void XQFieldReader::ReadString(XQSTRING& out) { TakeText(ReadLengthPrefix(), out); }

XQSTRING XQFieldReader::ReadString() {
    XQSTRING out;
    TakeText(ReadLengthPrefix(), out);
    return out;
}

long XQFieldReader::ReadNumberLong() { return toInt32(TakeNumber(ReadLengthPrefix())); }

unsigned long XQFieldReader::ReadNumber() {
    return static_cast<std::uint32_t>(static_cast<unsigned long>(TakeNumber(ReadLengthPrefix())));
}

void XQFieldReader::ReadChars(unsigned long chars, XQSTRING& out) { TakeText(chars, out); }

long XQFieldReader::ReadCharsAsNumber(unsigned long chars) { return TakeNumber(chars); }

void XQFieldReader::Skip(unsigned long bytes) {
    if (bytes > Remaining()) {
        MarkOverrun();
        return;
    }
    Take((bytes + 3) & ~3UL);
}

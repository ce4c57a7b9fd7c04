#ifndef TCORE_MESSAGES_FIELDREADERIMPL_H
#define TCORE_MESSAGES_FIELDREADERIMPL_H

// Inside the library only: the reads of XQFieldReader as inline functions,
// so that the list decoders make no call per field. XQFieldReader's exported
// members are these same functions.

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "messages/FieldEncoding.h"
#include "messages/FieldWriter.h"
#include "messages/XQFieldReader.h"

// The list decoders' per-field reads, inlined into each record's loop.
#define XQ_FIELD_INLINE inline __attribute__((always_inline))

namespace xqfield {

// Characters are loaded through memcpy: a buffer or cursor need not be
// aligned to wchar_t.
inline wchar_t loadChar(const unsigned char* p) {
    wchar_t c;
    std::memcpy(&c, p, sizeof c);
    return c;
}

// wcstol in base 10 over n characters that need not be NUL-terminated, for
// the rare texts that do not start with a sign or a digit or that are longer
// than 18 characters.
long parseNumberSlow(const unsigned char* p, unsigned long n);

// Character i at p minus '0': 0 to 9 for a digit, above 9 for anything else.
inline unsigned long digitAt(const unsigned char* p, unsigned long i) {
    return static_cast<unsigned long>(loadChar(p + 4 * i)) - L'0';
}

// wcstol in base 10 over n characters: white space (iswspace), an optional
// sign, then ASCII digits up to the first other character (a NUL included);
// out of range clamps to LONG_MIN/LONG_MAX. A sender's number field is a
// sign or a digit, then digits, at most 11 characters; up to 18 digits cannot
// overflow, so that case needs no checks.
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
        const unsigned long digit = digitAt(p, i);
        if (digit > 9) break;
        magnitude = magnitude * 10 + digit;
    }
    return negative ? -static_cast<long>(magnitude) : static_cast<long>(magnitude);
}

// The five prefix characters: almost always five digits, checked together.
inline long parsePrefix(const unsigned char* p) {
    const unsigned long d0 = digitAt(p, 0), d1 = digitAt(p, 1), d2 = digitAt(p, 2),
                        d3 = digitAt(p, 3), d4 = digitAt(p, 4);
    if ((d0 > 9) | (d1 > 9) | (d2 > 9) | (d3 > 9) | (d4 > 9))
        return parseNumberSlow(p, XQ_FIELD_PREFIX_CHARS);
    return static_cast<long>(d0 * 10000 + d1 * 1000 + d2 * 100 + d3 * 10 + d4);
}

// Characters before the first NUL among the n at p.
inline unsigned long textLength(const unsigned char* p, unsigned long n) {
    unsigned long i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi32(block, zero));
        if (mask != 0)
            return i + static_cast<unsigned long>(__builtin_ctz(static_cast<unsigned>(mask))) / 4;
    }
#endif
    while (i < n && loadChar(p + 4 * i) != L'\0') ++i;
    return i;
}

// Copies the n characters at p into out up to the first NUL among them.
// A string without the room gets new storage of exactly the text's length,
// filled once. One with the room keeps its storage; the characters are
// scanned and copied in one pass, and a string that already has n
// characters (a reused message's field often has the same length as
// before) is not resized at all unless a NUL cuts the text.
inline void assignText(XQSTRING& out, const unsigned char* p, unsigned long n) {
    if (out.capacity() < n && reinterpret_cast<std::uintptr_t>(p) % alignof(wchar_t) == 0) {
        out = XQSTRING(reinterpret_cast<const wchar_t*>(p), textLength(p, n));
        return;
    }
    if (out.size() != n) out.resize(n);
    unsigned char* q = reinterpret_cast<unsigned char*>(&out[0]);
    unsigned long i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * i));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi32(block, zero));
        if (mask != 0) {
            const unsigned long before =
                static_cast<unsigned long>(__builtin_ctz(static_cast<unsigned>(mask))) / 4;
            std::memcpy(q + 4 * i, p + 4 * i, 4 * before);
            out.resize(i + before);
            return;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 4 * i), block);
    }
#endif
    for (; i < n; ++i) {
        const wchar_t c = loadChar(p + 4 * i);
        if (c == L'\0') {
            out.resize(i);
            return;
        }
        std::memcpy(q + 4 * i, &c, sizeof c);
    }
}

}  // namespace xqfield

struct XQFieldReaderAccess {
    static bool Take(XQFieldReader& r, unsigned long bytes) {
        if (bytes > r.end_ - r.cursor_) {
            r.MarkOverrun();
            return false;
        }
        r.cursor_ += bytes;
        return true;
    }

    static unsigned long ReadLengthPrefix(XQFieldReader& r) {
        if (!Take(r, XQ_FIELD_PREFIX_BYTES)) return 0;
        const long n = xqfield::parsePrefix(r.buffer_ + r.cursor_ - XQ_FIELD_PREFIX_BYTES);
        return n > 0 ? static_cast<unsigned long>(n) : 0;
    }

    static void TakeText(XQFieldReader& r, unsigned long chars, XQSTRING& out) {
        if (chars == 0) {
            out.clear();
            return;
        }
        if (chars > (r.end_ - r.cursor_) / 4) {
            r.MarkOverrun();
            out.clear();
            return;
        }
        const unsigned char* p = r.buffer_ + r.cursor_;
        r.cursor_ += 4 * chars;
        xqfield::assignText(out, p, chars);
    }

    static long TakeNumber(XQFieldReader& r, unsigned long chars) {
        if (chars == 0) return 0;
        if (chars > (r.end_ - r.cursor_) / 4) {
            r.MarkOverrun();
            return 0;
        }
        const unsigned char* p = r.buffer_ + r.cursor_;
        r.cursor_ += 4 * chars;
        return xqfield::parseNumber(p, chars);
    }

    XQ_FIELD_INLINE static void ReadString(XQFieldReader& r, XQSTRING& out) {
        TakeText(r, ReadLengthPrefix(r), out);
    }
    // One text field appended to out (up to the first NUL in the field).
    static void AppendString(XQFieldReader& r, XQSTRING& out) {
        const unsigned long chars = ReadLengthPrefix(r);
        if (chars == 0) return;
        if (chars > (r.end_ - r.cursor_) / 4) {
            r.MarkOverrun();
            return;
        }
        const unsigned char* p = r.buffer_ + r.cursor_;
        r.cursor_ += 4 * chars;
        const unsigned long length = xqfield::textLength(p, chars);
        const XQSTRING::size_type before = out.size();
        out.resize(before + length);
        std::memcpy(&out[before], p, 4 * length);
    }
    XQ_FIELD_INLINE static long ReadNumberLong(XQFieldReader& r) {
        return xqfield::toInt32(TakeNumber(r, ReadLengthPrefix(r)));
    }
    XQ_FIELD_INLINE static unsigned long ReadNumber(XQFieldReader& r) {
        return static_cast<std::uint32_t>(
            static_cast<unsigned long>(TakeNumber(r, ReadLengthPrefix(r))));
    }
};

#endif

#ifndef TCORE_MESSAGES_FIELDWRITER_H
#define TCORE_MESSAGES_FIELDWRITER_H

// Inside the library only: the field writers inlined into the list encoders.
// Programs use the exported functions of messages/FieldEncoding.h, which
// call these. The caller must have sized the buffer.

#include <wchar.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "messages/FieldEncoding.h"

namespace xqfield {

// Cuts a text longer than 99999 characters, writing both warning lines at
// trace level 2 and above (the prefix writer's and the data writer's).
unsigned long clampTextWithWarnings(unsigned long chars);

inline void storeChar(unsigned char* p, wchar_t c) {
    std::memcpy(p, &c, sizeof c);
}

// Two-digit groups "00" to "99", one wchar_t each.
struct DigitPairs {
    wchar_t chars[200];
    constexpr DigitPairs() : chars() {
        for (int i = 0; i < 100; ++i) {
            chars[2 * i] = static_cast<wchar_t>(L'0' + i / 10);
            chars[2 * i + 1] = static_cast<wchar_t>(L'0' + i % 10);
        }
    }
};
inline constexpr DigitPairs kDigitPairs{};

inline void storePair(unsigned char* p, std::uint32_t pair) {
    std::memcpy(p, kDigitPairs.chars + 2 * pair, 2 * sizeof(wchar_t));
}

// The five prefix digits of length (at most 99999).
inline void storePrefix(unsigned char* p, std::uint32_t length) {
    if (length < 100) {
        // Nearly every field: "000" and one digit pair, no division.
        static constexpr wchar_t kZeros[3] = {L'0', L'0', L'0'};
        std::memcpy(p, kZeros, sizeof kZeros);
        storePair(p + 12, length);
        return;
    }
    const std::uint32_t high = length / 100;
    storeChar(p, static_cast<wchar_t>(L'0' + high / 100));
    storePair(p + 4, high % 100);
    storePair(p + 12, length % 100);
}

inline std::int32_t toInt32(long value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(value)));
}

inline unsigned long digitCount(std::uint32_t v) {
    if (v < 10) return 1;
    if (v < 100) return 2;
    if (v < 1000) return 3;
    if (v < 10000) return 4;
    if (v < 100000) return 5;
    if (v < 1000000) return 6;
    if (v < 10000000) return 7;
    if (v < 100000000) return 8;
    if (v < 1000000000) return 9;
    return 10;
}

inline std::uint32_t magnitude(std::int32_t v) {
    return v < 0 ? 0U - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
}

// Characters of the "%ld" text of the 32-bit value.
inline unsigned long numberTextLength(long value) {
    const std::int32_t v = toInt32(value);
    if (static_cast<std::uint32_t>(v) < 10) return 1;
    return digitCount(magnitude(v)) + (v < 0 ? 1 : 0);
}

// The "%ld" text of the 32-bit value at p; returns its length.
inline unsigned long storeNumberText(unsigned char* p, long value) {
    const std::int32_t v = toInt32(value);
    std::uint32_t m = magnitude(v);
    const unsigned long sign = v < 0 ? 1 : 0;
    const unsigned long len = digitCount(m) + sign;
    if (sign) storeChar(p, L'-');
    unsigned char* q = p + 4 * len;
    while (m >= 100) {
        q -= 8;
        storePair(q, m % 100);
        m /= 100;
    }
    if (m >= 10) {
        storePair(q - 8, m);
    } else {
        storeChar(q - 4, static_cast<wchar_t>(L'0' + m));
    }
    return len;
}

// wcsncpy of chars characters into the buffer: the characters before the
// first NUL, then NULs to the end of the slot. One pass, four characters at
// a time where SSE2 is there; never reads text past chars.
inline void storeText(unsigned char* p, const wchar_t* text, unsigned long chars) {
    unsigned long i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= chars; i += 4) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(block, zero)) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * i), block);
    }
    if (i < chars && i == (chars & ~3UL) && chars >= 4) {
        // The last one to three characters: the last four again, overlapping
        // the block before, when none of them is a NUL.
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + chars - 4));
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(block, zero)) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * (chars - 4)), block);
            return;
        }
    }
#endif
    for (; i < chars; ++i) {
        if (text[i] == L'\0') {
            std::memset(p + 4 * i, 0, 4 * (chars - i));
            return;
        }
        storeChar(p + 4 * i, text[i]);
    }
}

inline void writeTextField(unsigned char* buffer, unsigned long& cursor, const wchar_t* text,
                           unsigned long chars) {
    if (chars > XQ_FIELD_MAX_CHARS) chars = clampTextWithWarnings(chars);
    unsigned char* p = buffer + cursor;
    storePrefix(p, static_cast<std::uint32_t>(chars));
    storeText(p + XQ_FIELD_PREFIX_BYTES, text, chars);
    cursor += XQ_FIELD_PREFIX_BYTES + 4 * chars;
}

inline void writeNumberField(unsigned char* buffer, unsigned long& cursor, long value) {
    unsigned char* p = buffer + cursor;
    const std::uint32_t small = static_cast<std::uint32_t>(toInt32(value));
    if (small < 100) {
        // Most numbers (flags, types, counts): a fixed prefix and one or two digits.
        static constexpr wchar_t kOneDigit[5] = {L'0', L'0', L'0', L'0', L'1'};
        static constexpr wchar_t kTwoDigits[5] = {L'0', L'0', L'0', L'0', L'2'};
        if (small < 10) {
            std::memcpy(p, kOneDigit, sizeof kOneDigit);
            storeChar(p + XQ_FIELD_PREFIX_BYTES, static_cast<wchar_t>(L'0' + small));
            cursor += XQ_FIELD_PREFIX_BYTES + 4;
        } else {
            std::memcpy(p, kTwoDigits, sizeof kTwoDigits);
            storePair(p + XQ_FIELD_PREFIX_BYTES, small);
            cursor += XQ_FIELD_PREFIX_BYTES + 8;
        }
        return;
    }
    const unsigned long len = storeNumberText(p + XQ_FIELD_PREFIX_BYTES, value);
    storePrefix(p, static_cast<std::uint32_t>(len));
    cursor += XQ_FIELD_PREFIX_BYTES + 4 * len;
}

}  // namespace xqfield

#endif

#include "foundation/ConversionKernels.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define TCORE_CONV_X86 1
#endif

namespace tcore_conv {
namespace {

inline bool plainWide(int32_t c, bool ascii) {
    if (ascii) return c >= 1 && c <= 0x7F;
    return c >= 1 && c <= 0xFFFF && (c & 0xFFFFF800) != 0xD800;
}

// One character at index i; reads it before writing, so in place is safe.
inline bool wideOne(const wchar_t* in, size_t i, unsigned char* out, bool ascii, Stop& stop) {
    int32_t c;
    std::memcpy(&c, reinterpret_cast<const unsigned char*>(in) + 4 * i, 4);
    if (c == 0) {
        stop = Stop::Nul;
        return false;
    }
    if (!plainWide(c, ascii)) {
        stop = Stop::Unusual;
        return false;
    }
    out[2 * i] = static_cast<unsigned char>(c >> 8);
    out[2 * i + 1] = static_cast<unsigned char>(c);
    return true;
}

Stop wideToUcs2Scalar(const wchar_t* in, size_t from, size_t n, unsigned char* out, bool ascii, size_t& done) {
    Stop stop = Stop::End;
    size_t i = from;
    for (; i < n; ++i)
        if (!wideOne(in, i, out, ascii, stop)) break;
    done = i;
    return stop;
}

inline bool ucs2One(const unsigned char* in, size_t i, wchar_t* out, bool ascii, bool& afterNul, size_t& nonAscii) {
    uint32_t u = (static_cast<uint32_t>(in[2 * i]) << 8) | in[2 * i + 1];
    if ((u & 0xF800) == 0xD800 || (ascii && u >= 0x80)) return false;
    nonAscii += u >= 0x80;
    if (u == 0) afterNul = true;
    int32_t w = afterNul ? 0 : static_cast<int32_t>(u);
    std::memcpy(reinterpret_cast<unsigned char*>(out) + 4 * i, &w, 4);
    return true;
}

bool ucs2ToWideScalar(const unsigned char* in, size_t from, size_t n, wchar_t* out, bool ascii, bool afterNul,
                      size_t& nonAscii) {
    for (size_t i = from; i < n; ++i)
        if (!ucs2One(in, i, out, ascii, afterNul, nonAscii)) return false;
    return true;
}

#ifdef TCORE_CONV_X86

// 16 characters (64 bytes in, 32 bytes out) per step.
__attribute__((target("avx2"))) Stop wideToUcs2Avx2(const wchar_t* in, size_t n, unsigned char* out, bool ascii,
                                                    size_t& done) {
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i limit = _mm256_set1_epi32(ascii ? 0x7E : 0xFFFE);
    const __m256i surMask = _mm256_set1_epi32(static_cast<int>(0xFFFFF800u));
    const __m256i surValue = _mm256_set1_epi32(ascii ? -1 : 0xD800);
    // Bytes 1,0 of each 32-bit character: its low 16 bits, big-endian; the
    // first shuffle fills the low quadword of each lane, the second the high.
    const __m256i toLow = _mm256_setr_epi8(1, 0, 5, 4, 9, 8, 13, 12, -1, -1, -1, -1, -1, -1, -1, -1, 1, 0, 5, 4, 9,
                                           8, 13, 12, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i toHigh = _mm256_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 1, 0, 5, 4, 9, 8, 13, 12, -1, -1, -1,
                                            -1, -1, -1, -1, -1, 1, 0, 5, 4, 9, 8, 13, 12);
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const unsigned char* src = reinterpret_cast<const unsigned char*>(in) + 4 * i;
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 32));
        __m256i ta = _mm256_sub_epi32(a, one);
        __m256i tb = _mm256_sub_epi32(b, one);
        __m256i okA = _mm256_cmpeq_epi32(_mm256_min_epu32(ta, limit), ta);
        __m256i okB = _mm256_cmpeq_epi32(_mm256_min_epu32(tb, limit), tb);
        __m256i surA = _mm256_cmpeq_epi32(_mm256_and_si256(a, surMask), surValue);
        __m256i surB = _mm256_cmpeq_epi32(_mm256_and_si256(b, surMask), surValue);
        __m256i good = _mm256_and_si256(_mm256_andnot_si256(surA, okA), _mm256_andnot_si256(surB, okB));
        if (_mm256_movemask_epi8(good) != -1) break;
        __m256i packed = _mm256_or_si256(_mm256_shuffle_epi8(a, toLow), _mm256_shuffle_epi8(b, toHigh));
        packed = _mm256_permute4x64_epi64(packed, 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i), packed);
    }
    return wideToUcs2Scalar(in, i, n, out, ascii, done);
}

// 16 units (32 bytes in, 64 bytes out) per step.
__attribute__((target("avx2,popcnt"))) bool ucs2ToWideAvx2(const unsigned char* in, size_t n, wchar_t* out,
                                                           bool ascii, size_t& nonAscii) {
    const __m256i swap = _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4,
                                          7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i surMask = _mm256_set1_epi16(static_cast<short>(0xF800));
    const __m256i surValue = _mm256_set1_epi16(static_cast<short>(0xD800));
    const __m256i asciiMask = _mm256_set1_epi16(static_cast<short>(0xFF80));
    unsigned char* dst = reinterpret_cast<unsigned char*>(out);
    bool afterNul = false;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256i u = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + 2 * i)), swap);
        __m256i isAscii = _mm256_cmpeq_epi16(_mm256_and_si256(u, asciiMask), zero);
        __m256i bad = _mm256_cmpeq_epi16(_mm256_and_si256(u, surMask), surValue);
        if (ascii) bad = _mm256_or_si256(bad, _mm256_xor_si256(isAscii, _mm256_cmpeq_epi16(zero, zero)));
        __m256i nul = _mm256_cmpeq_epi16(u, zero);
        if (_mm256_movemask_epi8(bad) != 0) return false;
        nonAscii += static_cast<size_t>(16 - __builtin_popcount(static_cast<unsigned>(_mm256_movemask_epi8(isAscii))) / 2);
        if (!afterNul && _mm256_movemask_epi8(nul) != 0) {
            // The first NUL lies in this block: finish it one unit at a time.
            size_t ignored = 0;
            for (size_t j = i; j < i + 16; ++j) ucs2One(in, j, out, ascii, afterNul, ignored);
            continue;
        }
        if (afterNul) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i), zero);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i + 32), zero);
        } else {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i),
                                _mm256_cvtepu16_epi32(_mm256_castsi256_si128(u)));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i + 32),
                                _mm256_cvtepu16_epi32(_mm256_extracti128_si256(u, 1)));
        }
    }
    return ucs2ToWideScalar(in, i, n, out, ascii, afterNul, nonAscii);
}

// 8 characters per step, with the x86-64 baseline.
Stop wideToUcs2Sse2(const wchar_t* in, size_t n, unsigned char* out, bool ascii, size_t& done) {
    const __m128i one = _mm_set1_epi32(1);
    const __m128i sign = _mm_set1_epi32(static_cast<int>(0x80000000u));
    const __m128i limit = _mm_set1_epi32(static_cast<int>((ascii ? 0x7Eu : 0xFFFEu) ^ 0x80000000u));
    const __m128i surMask = _mm_set1_epi32(static_cast<int>(0xFFFFF800u));
    const __m128i surValue = _mm_set1_epi32(ascii ? -1 : 0xD800);
    const __m128i bias32 = _mm_set1_epi32(0x8000);
    const __m128i bias16 = _mm_set1_epi16(static_cast<short>(0x8000));
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        const unsigned char* src = reinterpret_cast<const unsigned char*>(in) + 4 * i;
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
        __m128i badA = _mm_or_si128(_mm_cmpgt_epi32(_mm_xor_si128(_mm_sub_epi32(a, one), sign), limit),
                                    _mm_cmpeq_epi32(_mm_and_si128(a, surMask), surValue));
        __m128i badB = _mm_or_si128(_mm_cmpgt_epi32(_mm_xor_si128(_mm_sub_epi32(b, one), sign), limit),
                                    _mm_cmpeq_epi32(_mm_and_si128(b, surMask), surValue));
        if (_mm_movemask_epi8(_mm_or_si128(badA, badB)) != 0) break;
        __m128i p = _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(a, bias32), _mm_sub_epi32(b, bias32)), bias16);
        p = _mm_or_si128(_mm_slli_epi16(p, 8), _mm_srli_epi16(p, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), p);
    }
    return wideToUcs2Scalar(in, i, n, out, ascii, done);
}

// TCORE_CONV_NO_AVX2 keeps to the baseline code, so that it can be tested
// on machines that have AVX2.
bool haveAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt") &&
                            std::getenv("TCORE_CONV_NO_AVX2") == nullptr;
    return has;
}

#endif

}  // namespace

Stop wideToUcs2(const wchar_t* in, size_t n, unsigned char* out, bool ascii, size_t& done) {
#ifdef TCORE_CONV_X86
    if (haveAvx2()) return wideToUcs2Avx2(in, n, out, ascii, done);
    return wideToUcs2Sse2(in, n, out, ascii, done);
#else
    return wideToUcs2Scalar(in, 0, n, out, ascii, done);
#endif
}

void restoreWide(unsigned char* buffer, size_t count) {
    // Backwards, so that no unit is overwritten before it is read.
    for (size_t j = count; j-- > 0;) {
        int32_t w = (static_cast<int32_t>(buffer[2 * j]) << 8) | buffer[2 * j + 1];
        std::memcpy(buffer + 4 * j, &w, 4);
    }
}

bool ucs2ToWide(const unsigned char* in, size_t n, wchar_t* out, bool ascii, size_t& nonAscii) {
    nonAscii = 0;
#ifdef TCORE_CONV_X86
    if (haveAvx2()) return ucs2ToWideAvx2(in, n, out, ascii, nonAscii);
#endif
    return ucs2ToWideScalar(in, 0, n, out, ascii, false, nonAscii);
}

}  // namespace tcore_conv

#include "security/DesCipher.h"

#include <array>
#include <cstdint>
#include <cstring>

// The tables of the DES standard (FIPS 46-3), bit numbers counted from 1 at
// the most significant bit. The tables the cipher runs on (kseltab, masks,
// sbtab) are derived from them at compile time, so nothing but the standard's
// own numbers is written out here.
namespace {

constexpr unsigned char IP[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                  62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                  57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                  61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr unsigned char PC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                   10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                   63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                   14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr unsigned char PC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                   23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                   41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                   44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr unsigned char SHIFTS[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

constexpr unsigned char P[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                 2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr unsigned char SBOX[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0, 7,  0, 15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5,  3,  8,  4,  1,  14, 8,  13, 6, 2, 11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6, 13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7,  2,  13, 12, 0, 5,  10, 3,  13, 4,  7,  15, 2,
     8,  14, 12, 0,  1,  10, 6,  9,  11, 5,  0,  14, 7,  11, 10, 4, 13, 1,  5,  8,  12, 6,
     9,  3,  2,  15, 13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0, 5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,  13, 7, 0,  9,  3,  4,
     6,  10, 2,  8,  5,  14, 12, 11, 15, 1,  13, 6,  4,  9,  8,  15, 3,  0, 11, 1,  2,  12,
     5,  10, 14, 7,  1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5, 2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2,  8,  5,  11, 12, 4,  15, 13, 8, 11, 5,  6,  15,
     0,  3,  4,  7,  2,  12, 1,  10, 14, 9,  10, 6,  9,  0,  12, 11, 7,  13, 15, 1, 3,  14,
     5,  2,  8,  4,  3,  15, 0,  6,  10, 1,  13, 8,  9,  4,  5,  11, 12, 7,  2, 14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,  14, 11, 2,  12, 4, 7,
     13, 1,  5,  0,  15, 10, 3,  9,  8,  6,  4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0,  14, 11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11, 10, 15, 4,  2,  7, 12,
     9,  5,  6,  1,  13, 14, 0,  11, 3,  8,  9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4, 10,
     1,  13, 11, 6,  4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7,  5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1,  10, 14, 3,  5,  12, 2,  15, 8,  6,  1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0,  5,  9,  2,  6,  11, 13, 8,  1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,  1,  15, 13, 8,  10, 3,
     7,  4,  12, 5,  6,  11, 0,  14, 9,  2,  7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13,
     15, 3,  5,  8,  2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

// kseltab[2r + w][j]: the index in keya (the 56 key bits without parity, in
// key order) of bit j of round key word w of round r.
constexpr std::array<std::array<unsigned char, 24>, 32> makeKseltab() {
    std::array<std::array<unsigned char, 24>, 32> t{};
    unsigned char c[28] = {}, d[28] = {};
    for (int i = 0; i < 28; ++i) {
        c[i] = PC1[i];
        d[i] = PC1[28 + i];
    }
    for (int r = 0; r < 16; ++r) {
        for (int s = 0; s < SHIFTS[r]; ++s) {
            unsigned char c0 = c[0], d0 = d[0];
            for (int i = 0; i < 27; ++i) {
                c[i] = c[i + 1];
                d[i] = d[i + 1];
            }
            c[27] = c0;
            d[27] = d0;
        }
        for (int k = 0; k < 48; ++k) {
            int pos = PC2[k] - 1;
            int keyBit = (pos < 28 ? c[pos] : d[pos - 28]) - 1;  // 0..63, never a parity bit
            t[2 * r + k / 24][k % 24] = static_cast<unsigned char>(keyBit / 8 * 7 + keyBit % 8);
        }
    }
    return t;
}

constexpr std::array<uint32_t, 24> makeMasks() {
    std::array<uint32_t, 24> m{};
    for (int j = 0; j < 24; ++j) m[j] = uint32_t{1} << (23 - j);
    return m;
}

// sbtab[i][g]: S-box i+1 applied to the 6-bit group g, its 4 output bits put
// in their place of the 32-bit word and passed through P.
constexpr std::array<std::array<uint32_t, 64>, 8> makeSbtab() {
    std::array<std::array<uint32_t, 64>, 8> t{};
    for (int i = 0; i < 8; ++i) {
        for (int g = 0; g < 64; ++g) {
            int row = ((g >> 4) & 2) | (g & 1);
            int col = (g >> 1) & 15;
            uint32_t v = uint32_t{SBOX[i][row * 16 + col]} << (28 - 4 * i);
            uint32_t out = 0;
            for (int j = 0; j < 32; ++j)
                if ((v >> (32 - P[j])) & 1u) out |= uint32_t{1} << (31 - j);
            t[i][g] = out;
        }
    }
    return t;
}

constexpr std::array<unsigned char, 64> makeFp() {
    std::array<unsigned char, 64> fp{};
    for (int j = 0; j < 64; ++j) fp[IP[j] - 1] = static_cast<unsigned char>(j + 1);
    return fp;
}

constexpr auto kseltab = makeKseltab();
constexpr auto masks = makeMasks();
constexpr auto sbtab = makeSbtab();
constexpr auto FP = makeFp();

uint64_t permute64(uint64_t in, const unsigned char* table) {
    uint64_t out = 0;
    for (int j = 0; j < 64; ++j) out = (out << 1) | ((in >> (64 - table[j])) & 1u);
    return out;
}

inline uint32_t rotl32(uint32_t v, int n) {
    n &= 31;
    return n == 0 ? v : (v << n) | (v >> (32 - n));
}

// One block; keys points at 16 round-key pairs in the order to apply them.
uint64_t desBlock(uint64_t block, const unsigned long* keys) {
    uint64_t x = permute64(block, IP);
    uint32_t l = static_cast<uint32_t>(x >> 32), r = static_cast<uint32_t>(x);
    for (int round = 0; round < 16; ++round) {
        uint32_t k0 = static_cast<uint32_t>(keys[2 * round]), k1 = static_cast<uint32_t>(keys[2 * round + 1]);
        uint32_t f = 0;
        for (int i = 0; i < 8; ++i) {
            // Group i of the expansion E(R): bits 4i .. 4i+5, cyclically.
            uint32_t e = rotl32(r, 5 + 4 * i) & 63u;
            uint32_t k = i < 4 ? (k0 >> (18 - 6 * i)) & 63u : (k1 >> (18 - 6 * (i - 4))) & 63u;
            f |= sbtab[i][e ^ k];
        }
        uint32_t t = l ^ f;
        l = r;
        r = t;
    }
    return permute64((uint64_t{r} << 32) | l, FP.data());
}

uint64_t load64(const unsigned char* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

void store64(uint64_t v, unsigned char* p) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<unsigned char>(v);
        v >>= 8;
    }
}

}  // namespace

void initktab(const unsigned char key[8], unsigned long ktab[64]) {
    unsigned char keya[56];
    for (int i = 0; i < 56; ++i) {
        int bit = i / 7 * 8 + i % 7;
        keya[i] = (key[bit / 8] >> (7 - bit % 8)) & 1u;
    }
    for (int word = 0; word < 32; ++word) {
        uint32_t v = 0;
        for (int j = 0; j < 24; ++j)
            if (keya[kseltab[word][j]]) v |= masks[j];
        ktab[word] = v;
        int round = word / 2;
        ktab[32 + 2 * (15 - round) + word % 2] = v;
    }
}

void encstring(int encrypt, const unsigned long* ktab, const unsigned char chain[8], unsigned long length,
               unsigned char* buffer) {
    const unsigned long full = length / 8;
    const unsigned long rest = length % 8;
    const uint64_t iv = load64(chain);
    unsigned char* tail = buffer + full * 8;
    auto padPartial = [&](uint64_t lastCipher) {
        unsigned char pad[8];
        store64(desBlock(lastCipher, ktab), pad);
        for (unsigned long i = 0; i < rest; ++i) tail[i] ^= pad[i];
    };
    if (encrypt) {
        uint64_t prev = iv;
        for (unsigned long b = 0; b < full; ++b) {
            prev = desBlock(load64(buffer + 8 * b) ^ prev, ktab);
            store64(prev, buffer + 8 * b);
        }
        if (rest) padPartial(prev);
        return;
    }
    if (rest) padPartial(full ? load64(buffer + 8 * (full - 1)) : iv);
    for (unsigned long b = full; b-- > 0;) {
        uint64_t before = b ? load64(buffer + 8 * (b - 1)) : iv;
        store64(desBlock(load64(buffer + 8 * b), ktab + 32) ^ before, buffer + 8 * b);
    }
}

void swapbytes(unsigned long length, char* buffer) {
    for (unsigned long i = 0; i + 1 < length; i += 2) {
        char t = buffer[i];
        buffer[i] = buffer[i + 1];
        buffer[i + 1] = t;
    }
}

int is_swap() {
    const uint32_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1 ? 1 : 0;
}

unsigned long reverse_order(unsigned long word) {
    return ((word & 0xFFul) << 24) | ((word & 0xFF00ul) << 8) | ((word >> 8) & 0xFF00ul) | ((word >> 24) & 0xFFul);
}

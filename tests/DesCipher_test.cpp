#include "security/DesCipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> fromHex(const std::string& hex) {
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::string toHex(const unsigned char* p, size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

struct Table {
    unsigned long ktab[64];
    explicit Table(const std::string& keyHex) { initktab(fromHex(keyHex).data(), ktab); }
};

const unsigned char kZero[8] = {0, 0, 0, 0, 0, 0, 0, 0};

// ECB of one block is CBC of one block with a zero chaining value.
std::string ecb(const std::string& keyHex, const std::string& blockHex, bool encrypt = true) {
    Table t(keyHex);
    auto b = fromHex(blockHex);
    encstring(encrypt ? 1 : 0, t.ktab, kZero, 8, b.data());
    return toHex(b.data(), 8);
}

const char kFipsText[] = "Now is the time for all ";

}  // namespace

TEST(DesCipher, PublishedKnownAnswers) {
    struct Vector {
        const char* key;
        const char* plain;
        const char* cipher;
    } vectors[] = {
        {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
        {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
        {"0000000000000000", "0000000000000000", "8ca64de9c1b123a7"},
        {"ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58"},
        {"7ca110454a1a6e57", "01a1d6d039776742", "690f5b0d9a26939b"},
        {"fedcba9876543210", "0123456789abcdef", "ed39d950fa74bcc4"},
    };
    for (const auto& v : vectors) {
        EXPECT_EQ(ecb(v.key, v.plain), v.cipher) << v.key;
        EXPECT_EQ(ecb(v.key, v.cipher, false), v.plain) << v.key;
    }
}

TEST(DesCipher, ParityBitsAreIgnored) {
    // 0101... and 0000... differ only in parity bits.
    EXPECT_EQ(ecb("0101010101010101", "0000000000000000"), "8ca64de9c1b123a7");
}

TEST(DesCipher, Fips81EcbExample) {
    Table t("0123456789abcdef");
    unsigned char buf[24];
    std::memcpy(buf, kFipsText, 24);
    for (int b = 0; b < 3; ++b) encstring(1, t.ktab, kZero, 8, buf + 8 * b);
    EXPECT_EQ(toHex(buf, 24), "3fa40e8a984d48156a271787ab8883f9893d51ec4b563b53");
}

TEST(DesCipher, Fips81CbcExample) {
    Table t("0123456789abcdef");
    auto iv = fromHex("1234567890abcdef");
    unsigned char buf[24];
    std::memcpy(buf, kFipsText, 24);
    encstring(1, t.ktab, iv.data(), 24, buf);
    EXPECT_EQ(toHex(buf, 24), "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6");
    encstring(0, t.ktab, iv.data(), 24, buf);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 24), kFipsText);
}

TEST(DesCipher, PartialBlockAfterFullBlocks) {
    // "Now is the": one CBC block, then "he" XORed with the first two bytes of
    // E(first ciphertext block) = 2148fd91...
    Table t("0123456789abcdef");
    auto iv = fromHex("1234567890abcdef");
    unsigned char buf[12] = {};
    std::memcpy(buf, kFipsText, 10);
    buf[10] = 0x5a;
    buf[11] = 0xa5;
    encstring(1, t.ktab, iv.data(), 10, buf);
    EXPECT_EQ(toHex(buf, 10), "e5c7cdde872bf27c" + toHex(std::vector<unsigned char>{0x68 ^ 0x21, 0x65 ^ 0x48}.data(), 2));
    EXPECT_EQ(buf[10], 0x5a) << "bytes past the length are not touched";
    EXPECT_EQ(buf[11], 0xa5);
    encstring(0, t.ktab, iv.data(), 10, buf);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 10), "Now is the");
}

TEST(DesCipher, PartialBlockOnlyUsesChainingValue) {
    // Fewer than 8 bytes: XORed with E(chain) = bd661569..., which is also the
    // first block of the FIPS 81 CFB example.
    Table t("0123456789abcdef");
    auto iv = fromHex("1234567890abcdef");
    unsigned char buf[4] = {'N', 'o', 'w', 0x77};
    encstring(1, t.ktab, iv.data(), 3, buf);
    EXPECT_EQ(toHex(buf, 3), "f30962");
    EXPECT_EQ(buf[3], 0x77);
    encstring(0, t.ktab, iv.data(), 3, buf);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), "Now");
}

TEST(DesCipher, RoundTripEveryLength) {
    Table t("5a3c96e1f00fd24b");
    auto iv = fromHex("0f1e2d3c4b5a6978");
    for (unsigned long n = 0; n <= 41; ++n) {
        std::vector<unsigned char> plain(n), buf(n + 8);
        for (unsigned long i = 0; i < n; ++i) plain[i] = static_cast<unsigned char>(i * 37 + n);
        if (n) std::memcpy(buf.data(), plain.data(), n);
        encstring(1, t.ktab, iv.data(), n, buf.data());
        if (n >= 8) {
            EXPECT_NE(std::memcmp(buf.data(), plain.data(), n), 0) << n;
        }
        encstring(0, t.ktab, iv.data(), n, buf.data());
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), buf.begin())) << n;
    }
}

TEST(DesCipher, KeyTableDecryptionHalfIsReversedRounds) {
    Table t("0123456789abcdef");
    for (int r = 0; r < 16; ++r) {
        EXPECT_EQ(t.ktab[32 + 2 * r], t.ktab[2 * (15 - r)]);
        EXPECT_EQ(t.ktab[32 + 2 * r + 1], t.ktab[2 * (15 - r) + 1]);
        EXPECT_LT(t.ktab[2 * r], 1ul << 24);
    }
}

TEST(DesCipher, ByteOrderHelpers) {
    char b[4] = {0x00, 0x41, 0x00, 0x42};
    swapbytes(4, b);
    EXPECT_EQ(std::string(b, 4), std::string("\x41\x00\x42\x00", 4));
    EXPECT_EQ(reverse_order(0x11223344ul), 0x44332211ul);
    const unsigned int probe = 1;
    EXPECT_EQ(is_swap(), *reinterpret_cast<const unsigned char*>(&probe) == 1 ? 1 : 0);
}

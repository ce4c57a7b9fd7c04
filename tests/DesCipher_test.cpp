#include "security/DesCipher.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> fromHex(const std::string& hex) {
    std::vector<unsigned char> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

struct Table {
    unsigned long ktab[64];
    explicit Table(const std::string& keyHex) { initktab(fromHex(keyHex).data(), ktab); }
};

const unsigned char kZero[8] = {0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

// One block with a zero chaining value is ECB, both ways.
TEST(DesCipher, PublishedKnownAnswers) {
    struct Vector {
        const char* key;
        const char* plain;
        const char* cipher;
    } vectors[] = {
        {"133457799bbcdff1", "0123456789abcdef", "85e813540f0ab405"},
        {"0101010101010101", "8000000000000000", "95f8a5e5dd31d900"},
        {"0101010101010101", "0000000000000000", "8ca64de9c1b123a7"},  // parity bits are ignored
        {"ffffffffffffffff", "ffffffffffffffff", "7359b2163e4edc58"},
        // FIPS 81, ECB: the first block of "Now is the time for all ".
        {"0123456789abcdef", "4e6f772069732074", "3fa40e8a984d4815"},
    };
    for (const auto& v : vectors) {
        Table t(v.key);
        for (bool encrypt : {true, false}) {
            auto b = fromHex(encrypt ? v.plain : v.cipher);
            encstring(encrypt ? 1 : 0, t.ktab, kZero, 8, b.data());
            EXPECT_EQ(b, fromHex(encrypt ? v.cipher : v.plain)) << v.key;
        }
    }
}

// FIPS 81 CBC; a partial last block (or a lone one) is XORed with the
// encipherment of the chaining value: E(first ciphertext block) = 2148fd91...,
// E(chain) = bd661569..., the first block of the FIPS 81 CFB example.
TEST(DesCipher, CbcAndPartialBlocksLeaveTheBytesAfterAlone) {
    const std::string text = "Now is the time for all ";
    const struct {
        size_t length;
        const char* cipher;
    } cases[] = {{24, "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6"},
                 {10, "e5c7cdde872bf27c492d"},
                 {3, "f30962"}};
    Table t("0123456789abcdef");
    auto iv = fromHex("1234567890abcdef");
    for (const auto& c : cases) {
        std::vector<unsigned char> buf(text.begin(), text.end());
        buf.push_back(0x5a);
        encstring(1, t.ktab, iv.data(), c.length, buf.data());
        const std::vector<unsigned char> cipher(buf.begin(), buf.begin() + c.length);
        EXPECT_EQ(cipher, fromHex(c.cipher));
        EXPECT_EQ(std::string(buf.begin() + c.length, buf.end()), text.substr(c.length) + "\x5a")
            << "bytes past the length are not touched";
        encstring(0, t.ktab, iv.data(), c.length, buf.data());
        EXPECT_EQ(std::string(buf.begin(), buf.begin() + c.length), text.substr(0, c.length));
    }
}

TEST(DesCipher, ByteOrderHelpers) {
    char b[4] = {0x00, 0x41, 0x00, 0x42};
    swapbytes(4, b);
    EXPECT_EQ(std::string(b, 4), std::string("\x41\x00\x42\x00", 4));
    EXPECT_EQ(reverse_order(0x11223344ul), 0x44332211ul);
}

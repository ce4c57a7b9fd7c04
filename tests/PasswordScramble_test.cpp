#include "security/PasswordScramble.h"

#include <gtest/gtest.h>

#include <langinfo.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "security/DesCipher.h"

namespace {

// DES-CBC of whole blocks under the library's key and chain, computed here
// block by block from single-block encipherments.
std::vector<unsigned char> cbcBlocks(std::vector<unsigned char> plain) {
    unsigned long ktab[64];
    initktab(xqPasswordKey(), ktab);
    const unsigned char zero[8] = {};
    std::vector<unsigned char> prev(xqPasswordChain(), xqPasswordChain() + 8);
    for (size_t b = 0; b + 8 <= plain.size(); b += 8) {
        for (int i = 0; i < 8; ++i) plain[b + i] ^= prev[i];
        encstring(1, ktab, zero, 8, &plain[b]);
        prev.assign(plain.begin() + b, plain.begin() + b + 8);
    }
    return plain;
}

std::vector<unsigned char> ucs2le(const std::string& ascii) {
    std::vector<unsigned char> v;
    for (char c : ascii) {
        v.push_back(static_cast<unsigned char>(c));
        v.push_back(0);
    }
    v.push_back(0);
    v.push_back(0);
    return v;
}

}  // namespace

TEST(PasswordScramble, PreprocessGivesLittleEndianUcs2) {
    wchar_t buf[5] = {L'a', L'b', L'c', L'\0', L'\0'};
    unsigned long length = 16;
    ASSERT_EQ(preprocessencstring(&length, reinterpret_cast<char*>(buf)).code, 0);
    EXPECT_EQ(length, 8ul) << "3 characters and the terminator: one DES block";
    EXPECT_EQ(std::memcmp(buf, "a\0b\0c\0\0\0", 8), 0);

    unsigned long back = length;
    ASSERT_EQ(postprocessencstring(&back, reinterpret_cast<char*>(buf)).code, 0);
    EXPECT_EQ(back, 16ul);
    EXPECT_EQ(std::wstring(buf), L"abc");
}

TEST(PasswordScramble, ThreeCharactersAreExactlyOneBlock) {
    std::vector<unsigned char> s;
    ASSERT_EQ(scramblePassword(L"abc", s).code, 0);
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(s, cbcBlocks(ucs2le("abc")));
}

TEST(PasswordScramble, FourCharactersAreABlockAndTwoPartialBytes) {
    std::vector<unsigned char> s;
    ASSERT_EQ(scramblePassword(L"abcd", s).code, 0);
    ASSERT_EQ(s.size(), 10u);
    std::vector<unsigned char> plain = ucs2le("abcd");
    std::vector<unsigned char> first = cbcBlocks(std::vector<unsigned char>(plain.begin(), plain.begin() + 8));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), s.begin()));
    // The two remaining bytes: XORed with E(first ciphertext block).
    unsigned long ktab[64];
    initktab(xqPasswordKey(), ktab);
    const unsigned char zero[8] = {};
    std::vector<unsigned char> pad(first);
    encstring(1, ktab, zero, 8, pad.data());
    EXPECT_EQ(s[8], plain[8] ^ pad[0]);
    EXPECT_EQ(s[9], plain[9] ^ pad[1]);
    XQSTRING back;
    ASSERT_EQ(unscramblePassword(s, back).code, 0);
    EXPECT_EQ(back, L"abcd");
}

TEST(PasswordScramble, RoundTrips) {
    for (size_t n : {0u, 1u, 3u, 4u, 7u, 8u, 40u}) {
        XQSTRING pw;
        for (size_t i = 0; i < n; ++i) pw += static_cast<wchar_t>(L'!' + (i * 7) % 90);
        std::vector<unsigned char> s;
        ASSERT_EQ(scramblePassword(pw, s).code, 0) << n;
        EXPECT_EQ(s.size(), 2 * n + 2) << n;
        if (n >= 4) {
            EXPECT_EQ(std::string(s.begin(), s.end()).find(xqToMultibyte(pw.substr(0, 1))[0] + std::string(1, '\0')),
                      std::string::npos)
                << "no plain UCS-2 left for " << n;
        }
        XQSTRING back = L"junk";
        ASSERT_EQ(unscramblePassword(s, back).code, 0) << n;
        EXPECT_EQ(back, pw) << n;
    }
}

TEST(PasswordScramble, EyeCatcherLettersInAPassword) {
    for (const XQSTRING pw : {L"XQ", L"abXQcd", L"aXQXQ", L"QX"}) {
        std::vector<unsigned char> s;
        ASSERT_EQ(scramblePassword(pw, s).code, 0);
        EXPECT_EQ(s.size(), 2 * pw.size() + 2);
        XQSTRING back;
        ASSERT_EQ(unscramblePassword(s, back).code, 0);
        EXPECT_EQ(back, pw);
    }
}

TEST(PasswordScramble, SameBytesWhateverTheHost) {
    // Scrambled bytes depend only on the text: recomputed from the cipher on
    // byte strings, whose words are read big-endian on every host.
    std::vector<unsigned char> s;
    ASSERT_EQ(scramblePassword(L"secret1", s).code, 0);
    EXPECT_EQ(s, cbcBlocks(ucs2le("secret1")));
}

TEST(PasswordScramble, NonAsciiInAUtf8Locale) {
    std::vector<unsigned char> s;
    XQRC rc = scramblePassword(L"p\u00e4\u00df\u20ac", s);
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        EXPECT_NE(rc.code, 0) << "a locale that cannot express the characters refuses them";
        GTEST_SKIP() << "not a UTF-8 locale: " << nl_langinfo(CODESET);
    }
    ASSERT_EQ(rc.code, 0);
    ASSERT_EQ(s.size(), 10u);
    XQSTRING back;
    ASSERT_EQ(unscramblePassword(s, back).code, 0);
    EXPECT_EQ(back, L"p\u00e4\u00df\u20ac");
}

TEST(PasswordScramble, OutsideTheBasicPlaneIsRefused) {
    std::vector<unsigned char> s{1, 2, 3};
    XQRC rc = scramblePassword(L"a\U0001F600", s);
    EXPECT_NE(rc.code, 0);
    EXPECT_EQ(s, (std::vector<unsigned char>{1, 2, 3}));
}

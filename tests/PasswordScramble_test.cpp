#include "security/PasswordScramble.h"

#include <gtest/gtest.h>

#include <langinfo.h>

#include <cstring>
#include <string>
#include <vector>

#include "security/DesCipher.h"

namespace {

// The scrambled bytes recomputed from single-block encipherments of the
// password as UCS-2, little-endian whatever the host, with its terminator:
// DES-CBC under the library's key and chain, and the bytes of a partial
// last block XORed with the encipherment of the block before.
std::vector<unsigned char> expectedScramble(const XQSTRING& password) {
    std::vector<unsigned char> v;
    for (wchar_t c : password) {
        v.push_back(static_cast<unsigned char>(c & 0xFF));
        v.push_back(static_cast<unsigned char>(c >> 8));
    }
    v.insert(v.end(), {0, 0});
    unsigned long ktab[64];
    initktab(xqPasswordKey(), ktab);
    const unsigned char zero[8] = {};
    std::vector<unsigned char> prev(xqPasswordChain(), xqPasswordChain() + 8);
    size_t b = 0;
    for (; b + 8 <= v.size(); b += 8) {
        for (int i = 0; i < 8; ++i) v[b + i] ^= prev[i];
        encstring(1, ktab, zero, 8, &v[b]);
        prev.assign(v.begin() + b, v.begin() + b + 8);
    }
    encstring(1, ktab, zero, 8, prev.data());
    for (size_t i = b; i < v.size(); ++i) v[i] ^= prev[i - b];
    return v;
}

}  // namespace

// Whole blocks, partial ones, a lone partial one; the letters of the eye
// catcher the converter looks for.
TEST(PasswordScramble, SameBytesOnEveryHostAndRoundTrips) {
    std::vector<XQSTRING> passwords = {L"abc", L"secret1", L"XQ", L"abXQcd", L"aXQXQ", L"QX"};
    for (size_t n : {0u, 1u, 3u, 4u, 7u, 8u, 40u}) {
        XQSTRING pw;
        for (size_t i = 0; i < n; ++i) pw += static_cast<wchar_t>(L'!' + (i * 7) % 90);
        passwords.push_back(pw);
    }
    for (const XQSTRING& pw : passwords) {
        SCOPED_TRACE(xqToMultibyte(pw));
        std::vector<unsigned char> s;
        ASSERT_EQ(scramblePassword(pw, s).code, 0);
        EXPECT_EQ(s.size(), 2 * pw.size() + 2);
        EXPECT_EQ(s, expectedScramble(pw));
        XQSTRING back = L"junk";
        ASSERT_EQ(unscramblePassword(s, back).code, 0);
        EXPECT_EQ(back, pw);
    }
}

TEST(PasswordScramble, NonAsciiInAUtf8Locale) {
    std::vector<unsigned char> s;
    XQRC rc = scramblePassword(L"p\u00e4\u00df\u20ac", s);
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        EXPECT_NE(rc.code, 0) << "a locale that cannot express the characters refuses them";
        GTEST_SKIP() << "not a UTF-8 locale: " << nl_langinfo(CODESET);
    }
    ASSERT_EQ(rc.code, 0);
    EXPECT_EQ(s, expectedScramble(L"p\u00e4\u00df\u20ac"));
    XQSTRING back;
    ASSERT_EQ(unscramblePassword(s, back).code, 0);
    EXPECT_EQ(back, L"p\u00e4\u00df\u20ac");
}

TEST(PasswordScramble, OutsideTheBasicPlaneIsRefused) {
    std::vector<unsigned char> s{1, 2, 3};
    EXPECT_NE(scramblePassword(L"a\U0001F600", s).code, 0);
    EXPECT_EQ(s, (std::vector<unsigned char>{1, 2, 3}));
}

// Code-set conversion between packed wide buffers and the UCS-2 wire form.
// The program is run once per locale (see Conversion.cmake); each run checks
// the codes that locale must give.

#include <gtest/gtest.h>

#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/Conversion.h"
#include "foundation/Trace.h"

namespace {

enum class Codeset { Ascii, Utf8, Latin1, Other };

// The code set the library settles on; asked through a first conversion.
Codeset libraryCodeset() {
    setConvDesc();
    if (std::strcmp(currentCCSID, "UTF-8") == 0) return Codeset::Utf8;
    if (std::strcmp(currentCCSID, "ANSI_X3.4-1968") == 0) return Codeset::Ascii;
    if (std::strcmp(currentCCSID, "ISO-8859-1") == 0) return Codeset::Latin1;
    return Codeset::Other;
}

// A run registered for a locale that could not be made is skipped.
class Conversion : public ::testing::Test {
protected:
    void SetUp() override {
        const char* want = std::getenv("TCORE_EXPECT_CODESET");
        codeset_ = libraryCodeset();
        if (want != nullptr && std::strcmp(want, currentCCSID) != 0)
            GTEST_SKIP() << "locale with code set " << want << " is not available here (got " << currentCCSID
                         << ")";
        xqSetConversionFastPath(true);
    }
    void TearDown() override {
        xqSetConversionFastPath(true);
        setDebugTcore(0);
    }
    Codeset codeset_ = Codeset::Other;
};

std::vector<wchar_t> packed(const std::wstring& text, size_t chars) {
    std::vector<wchar_t> v(chars, L'\0');
    std::copy(text.begin(), text.end(), v.begin());
    return v;
}

std::vector<unsigned char> ucs2Of(const std::wstring& text, size_t bytes) {
    std::vector<unsigned char> v(bytes, 0);
    for (size_t i = 0; i < text.size(); ++i) {
        v[2 * i] = static_cast<unsigned char>(text[i] >> 8);
        v[2 * i + 1] = static_cast<unsigned char>(text[i]);
    }
    return v;
}

struct WideResult {
    int code;
    int secondary;
    std::wstring method;
    std::wstring text;
    std::vector<unsigned char> bytes;
};

WideResult toUnicode(std::vector<wchar_t> in, unsigned int length, bool fast) {
    xqSetConversionFastPath(fast);
    XQRC rc = ConvertWideToUnicode(in.data(), length);
    xqSetConversionFastPath(true);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(in.data());
    return {rc.code, rc.secondaryCode, rc.methodName, rc.systemMessage, std::vector<unsigned char>(p, p + length)};
}

// The buffer comes from malloc() and the result goes to free(), as the
// function's contract says (the sanitizer builds see any mismatch).
WideResult toWide(const std::vector<unsigned char>& in, int length, bool fast) {
    unsigned char* buf = static_cast<unsigned char*>(std::malloc(in.size() + 1));
    if (!in.empty()) std::memcpy(buf, in.data(), in.size());
    unsigned char* const original = buf;
    int len = length;
    xqSetConversionFastPath(fast);
    XQRC rc = ConvertUnicodeToWide(buf, len);
    xqSetConversionFastPath(true);
    WideResult r{rc.code, rc.secondaryCode, rc.methodName, rc.systemMessage, {}};
    if (rc.code == 0) {
        EXPECT_EQ(len, 2 * length);
        EXPECT_NE(buf, original);
        r.bytes.assign(buf, buf + len);
    } else {
        EXPECT_EQ(buf, original) << "a failed conversion keeps the caller's buffer";
        EXPECT_EQ(len, length);
    }
    std::free(buf);
    return r;
}

TEST_F(Conversion, PackedTextTravelsAsHalfTheBytesAndComesBack) {
    // Text before the eye catcher is dropped; without one the text starts at
    // 0, and a NUL ends it.
    const struct {
        std::wstring text;
        size_t chars;
        std::wstring wire;
    } cases[] = {
        {L"XQBase    U     5 00005hello", 64, L"XQBase    U     5 00005hello"},
        {L"aX QXQBase  rest", 32, L"XQBase  rest"},
        {std::wstring(L"STOP RECEIVING\0\0Z", 17), 20, L"STOP RECEIVING"},
    };
    for (const auto& c : cases) {
        const unsigned int length = static_cast<unsigned int>(c.chars * 4);
        for (bool fast : {true, false}) {
            SCOPED_TRACE(testing::Message() << "fast=" << fast << " " << c.chars);
            WideResult r = toUnicode(packed(c.text, c.chars), length, fast);
            ASSERT_EQ(r.code, 0);
            EXPECT_EQ(r.bytes, ucs2Of(c.wire, length));
            WideResult back = toWide(r.bytes, static_cast<int>(length), fast);
            ASSERT_EQ(back.code, 0);
            ASSERT_EQ(back.bytes.size(), 2u * length);
            EXPECT_EQ(0, std::memcmp(back.bytes.data(), packed(c.wire, 2 * c.chars).data(),
                                     back.bytes.size()));
        }
    }
}

TEST_F(Conversion, CodesOfCharactersTheWireOrLocaleCannotCarry) {
    std::vector<wchar_t> latin = packed(L"XQ caf\xE9", 16);
    std::vector<wchar_t> astral = packed(L"XQ \x1F600", 16);
    for (bool fast : {true, false}) {
        WideResult l = toUnicode(latin, 64, fast);
        WideResult a = toUnicode(astral, 64, fast);
        if (codeset_ == Codeset::Ascii) {
            EXPECT_EQ(l.code, 8462);
            EXPECT_EQ(l.text, L"Failed to convert wide char to multi-byte char");
            EXPECT_EQ(a.code, 8462);
        } else {
            EXPECT_EQ(l.code, 0);
            EXPECT_EQ(l.bytes, ucs2Of(L"XQ caf\xE9", 64));
        }
        if (codeset_ == Codeset::Utf8) {
            EXPECT_EQ(a.code, 8461);
        }
        if (codeset_ == Codeset::Latin1) {
            EXPECT_EQ(a.code, 8462);
        }
    }
    // A value above U+10FFFF (six bytes in glibc's UTF-8) is refused, never
    // dropped from the text; so is a language tag (U+E0001), which glibc's
    // converter would skip.
    for (wchar_t c : {static_cast<wchar_t>(0x4A4A4A4A), static_cast<wchar_t>(0xE0001)}) {
        const std::vector<wchar_t> one = {c};
        for (bool fast : {true, false}) EXPECT_NE(toUnicode(one, 4, fast).code, 0) << std::hex << c;
    }
    // A surrogate in UCS-2 is no character in any locale.
    std::vector<unsigned char> bad = ucs2Of(L"XQ", 16);
    bad[6] = 0xD8;
    for (bool fast : {true, false}) {
        WideResult r = toWide(bad, 16, fast);
        EXPECT_EQ(r.code, 8461);
        EXPECT_EQ(r.secondary, -1);
        EXPECT_EQ(r.method, L"VCAUTIL::ConvertUnicodeToWide");
        EXPECT_EQ(r.text, L"iconv error");
    }
}

TEST_F(Conversion, TextOfCharactersLongerInUtf8ThanInUcs2ComesBack) {
    if (codeset_ != Codeset::Utf8) GTEST_SKIP() << "needs a UTF-8 locale";
    // Three UTF-8 bytes for every two UCS-2 bytes, and no slack at all.
    const std::wstring text(40, L'\x4E2D');
    for (bool fast : {true, false}) {
        WideResult r = toWide(ucs2Of(text, 80), 80, fast);
        ASSERT_EQ(r.code, 0) << "fast=" << fast;
        EXPECT_EQ(0, std::memcmp(r.bytes.data(), packed(text, 40).data(), 160)) << "fast=" << fast;
    }
}

// Random wide characters drawn from a class, with NULs sprinkled in.
wchar_t drawWide(std::mt19937& rng, int cls) {
    switch (cls) {
    case 0: return static_cast<wchar_t>(0x20 + rng() % 0x5F);
    case 1: return static_cast<wchar_t>(0x20 + rng() % 0xE0);
    case 2: return static_cast<wchar_t>(0x4E00 + rng() % 0x5000);
    case 3: return static_cast<wchar_t>(0x10000 + rng() % 0x100000);
    case 4: return static_cast<wchar_t>(0xD800 + rng() % 0x800);
    case 5: return static_cast<wchar_t>(rng());
    default: return static_cast<wchar_t>(1 + rng() % 0xFFFF);
    }
}

TEST_F(Conversion, DirectPathGivesTheStagedPathsBytesAndCodes) {
    std::mt19937 rng(20261205);
    int succeeded = 0;
    auto compare = [&succeeded](const WideResult& fast, const WideResult& staged, int round) {
        ASSERT_TRUE(fast.code == staged.code && fast.secondary == staged.secondary &&
                    fast.bytes == staged.bytes)
            << "round " << round << ": codes " << fast.code << ", " << staged.code;
        succeeded += fast.code == 0;
    };
    // Both directions over the same draws: as UCS-2 each character keeps its
    // low 16 bits (ASCII, Latin-1, three UTF-8 bytes, surrogates, any unit).
    for (int round = 0; round < 3000; ++round) {
        const size_t chars = rng() % 250;
        const int mainClass = static_cast<int>(rng() % 7);
        const int rareClass = rng() % 2 ? mainClass : static_cast<int>(rng() % 7);
        std::wstring text(chars, L'\0');
        for (wchar_t& c : text) {
            const unsigned pick = rng() % 1000;
            c = pick < 3 ? L'\0' : drawWide(rng, pick < 20 ? rareClass : mainClass);
        }
        if (rng() % 4 == 0) std::fill(text.begin() + chars / 2, text.end(), L'\0');  // a real frame
        if (chars >= 2 && rng() % 2) text.replace(0, 2, L"XQ");
        if (round % 2 == 0) {
            unsigned int length = static_cast<unsigned int>(chars * 4);
            if (round % 20 == 0 && length > 0) length -= 1 + rng() % 3;  // ragged lengths
            const std::vector<wchar_t> wide = packed(text, chars + 1);
            compare(toUnicode(wide, length, true), toUnicode(wide, length, false), round);
        } else {
            const int length = static_cast<int>(2 * chars) + (round % 20 == 1);  // a stray odd byte
            const std::vector<unsigned char> ucs2 = ucs2Of(text, static_cast<size_t>(length));
            compare(toWide(ucs2, length, true), toWide(ucs2, length, false), round);
        }
    }
    EXPECT_GT(succeeded, 300) << "too few inputs converted to compare the paths on success";
}

TEST_F(Conversion, ThreadsConvertAtOnceWithTheirOwnDescriptors) {
    xqSetConversionFastPath(false);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 200; ++i) {
                const std::wstring text = L"XQBase thread " + std::to_wstring(1000 * t + i);
                std::vector<wchar_t> buf = packed(text, 64);
                if (ConvertWideToUnicode(buf.data(), 256).code != 0) ++failures[t];
                unsigned char* bytes = static_cast<unsigned char*>(std::malloc(256));
                std::memcpy(bytes, buf.data(), 256);
                int len = 256;
                XQRC rc = ConvertUnicodeToWide(bytes, len);
                if (rc.code != 0 || len != 512 || std::memcmp(bytes, packed(text, 128).data(), 512))
                    ++failures[t];
                std::free(bytes);
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST_F(Conversion, CodeSetNamesTranslateThroughTheTable) {
    // Names of the table are translated, glibc's own pass as they are; an
    // unknown one takes XQA_LOCALE_TABLE when it fits.
    const struct {
        const char* name;
        const char* table;
        int found;
        const char* result;
    } cases[] = {{"ISO8859-1", nullptr, 1, "8859-1"},
                 {"BIG5", nullptr, 1, "zh_TW-big5"},
                 {"EUC-JP", nullptr, 1, "EUC-JP"},
                 {"NONE", nullptr, 0, "NONE"},
                 {"MADE-UP-9", nullptr, 0, "MADE-UP-9"},
                 {"MADE-UP-9", "ISO-8859-2", 1, "ISO-8859-2"}};
    for (const auto& c : cases) {
        char name[XQ_CODESET_NAME_MAX];
        std::strcpy(name, c.name);
        if (c.table != nullptr) setenv("XQA_LOCALE_TABLE", c.table, 1);
        EXPECT_EQ(GetIconvCodeset(name), c.found) << c.name;
        EXPECT_STREQ(name, c.result);
        unsetenv("XQA_LOCALE_TABLE");
    }
    char name[XQ_CODESET_NAME_MAX] = "MADE-UP-9";
    setenv("XQA_LOCALE_TABLE", std::string(XQ_CODESET_NAME_MAX, 'A').c_str(), 1);
    EXPECT_EQ(GetIconvCodeset(name), 0);
    EXPECT_STREQ(name, "MADE-UP-9");
    unsetenv("XQA_LOCALE_TABLE");
}

TEST_F(Conversion, CodeSetDetailIsTracedAtLevelFiveOnly) {
    for (int level : {5, 3}) {
        std::vector<wchar_t> buf = packed(L"XQBase", 8);
        setDebugTcore(level);
        testing::internal::CaptureStdout();
        EXPECT_EQ(ConvertWideToUnicode(buf.data(), 32).code, 0);
        setDebugTcore(0);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.find(": enter method GetIconvCodeset()") < out.size(), level == 5) << out;
    }
}

TEST_F(Conversion, SetlocaleIsRunOnlyOnce) {
    std::string before = std::setlocale(LC_MONETARY, nullptr);
    const char* first = mySetlocale(LC_MONETARY, "C");
    ASSERT_NE(first, nullptr);
    std::string kept = first;
    const char* second = mySetlocale(LC_MONETARY, "C.UTF-8");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(kept, second);
    EXPECT_STREQ(std::setlocale(LC_MONETARY, nullptr), "C");
    std::setlocale(LC_MONETARY, before.c_str());
}

}  // namespace

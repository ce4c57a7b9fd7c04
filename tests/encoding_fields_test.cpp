// The field primitives and the bounded reader: exact wire characters, the
// 99999 limit and its warnings, number text, and reads that stay inside the
// buffer whatever the prefixes say.

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "foundation/Trace.h"
#include "messages/FieldEncoding.h"
#include "messages/XQFieldReader.h"
#include "support/EncodingTestUtil.h"

namespace {

Bytes writeText(const std::wstring& text, unsigned long* cursorOut = nullptr) {
    Bytes buffer(StringFieldSize(text) + 64, 0xEE);
    unsigned long cursor = 0;
    CopyStringFieldToBuffer(buffer.data(), &cursor, text);
    if (cursorOut) *cursorOut = cursor;
    buffer.resize(cursor);
    return buffer;
}

Bytes writeNumber(long value) {
    Bytes buffer(NumberFieldSize(value) + 64, 0xEE);
    unsigned long cursor = 0;
    CopyNumberFieldToBuffer(buffer.data(), &cursor, value);
    EXPECT_EQ(cursor, NumberFieldSize(value));
    buffer.resize(cursor);
    return buffer;
}

TEST(FieldEncoding, TextAndNumberFieldsAreAFiveDigitLengthAndTheCharacters) {
    // Unsigned values of 2^31 and above travel negative, as from a 32-bit sender.
    const struct {
        std::wstring wire, expected;
    } cases[] = {
        {payloadText(writeText(L"")), L"00000"},
        {payloadText(writeText(L"ABCDEFGHIJKL")), L"00012ABCDEFGHIJKL"},
        {payloadText(writeNumber(-1)), L"00002-1"},
        {payloadText(writeNumber(0)), L"000010"},
        {payloadText(writeNumber(42)), L"0000242"},
        {payloadText(writeNumber(2147483647)), L"000102147483647"},
        {payloadText(writeNumber(-2147483647L - 1)), L"00011-2147483648"},
        {payloadText(writeNumber(4294967295L)), L"00002-1"},
        {payloadText(writeNumber(3000000000L)), L"00011-1294967296"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.wire, c.expected);
    wchar_t prefix[6];
    EXPECT_EQ(ConvertNumberToLengthSize(4000000000u, prefix), 99999u);
    EXPECT_EQ(std::wstring(prefix), L"99999");
}

TEST(FieldEncoding, FieldsOf99999CharactersAreWholeAndLongerOnesCutWithTwoWarningsAtLevel2) {
    std::wstring text(100000, L'y');
    text[99999] = L'Z';  // the character that is cut
    const std::wstring whole = text.substr(0, 99999);
    setDebugTcore(2);
    testing::internal::CaptureStdout();
    unsigned long cursor = 0;
    const Bytes b = writeText(whole, &cursor);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(cursor, 20u + 4u * 99999u);
    EXPECT_EQ(payloadText(b), L"99999" + whole);
    XQFieldReader r(b.data(), b.size());
    EXPECT_EQ(r.ReadString(), whole);
    EXPECT_EQ(r.Cursor(), cursor);
    testing::internal::CaptureStdout();
    EXPECT_EQ(writeText(text), b);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\tWARNING!!!! Message field length exceeds 99999; length=100000, which will be "
              "truncated to 99999.\n"
              "\tWARNING!!!! data exceeds 99999 bytes; length=100000, which will be truncated to "
              "99999.\n");
    // Below level 2 the cut is silent.
    setDebugTcore(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(writeText(text), b);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    setDebugTcore(0);
}

TEST(FieldEncoding, NulAtEveryPositionOfALongerField) {
    // Lengths past whole blocks of four by one, two and three characters.
    for (unsigned n : {13u, 14u, 15u}) {
        for (unsigned pos = 0; pos < n; ++pos) {
            std::wstring text = std::wstring(L"0123456789abcde").substr(0, n);
            text[pos] = L'\0';
            Bytes b(4 + StringFieldSize(text) + NumberFieldSize(5));
            unsigned long cursor = 0;
            CopyStringFieldToBuffer(b.data() + 4, &cursor, text);  // any alignment of the target
            CopyNumberFieldToBuffer(b.data() + 4, &cursor, 5);
            EXPECT_EQ(
                payloadText(Bytes(b.begin() + 4, b.begin() + 4 + 20 + 4 * n)),
                L"000" + std::to_wstring(n) + text.substr(0, pos) + std::wstring(n - pos, L'\0'));
            unsigned long rc = 0;
            XQSTRING out;
            GetStringDataFromBuffer(b.data() + 4, &rc, out);
            EXPECT_EQ(out, text.substr(0, pos));
            EXPECT_EQ(rc, StringFieldSize(text));
            EXPECT_EQ(GetStringData(b.data() + 24, n), text.substr(0, pos));
            for (unsigned shift : {0u, 1u, 3u}) {
                Bytes copy(b.begin() + 4 - shift, b.begin() + 4 + cursor);
                XQFieldReader r(copy.data() + shift, cursor);
                EXPECT_EQ(r.ReadString(), text.substr(0, pos)) << pos;
                EXPECT_EQ(r.ReadNumberLong(), 5) << pos;
                EXPECT_FALSE(r.Overrun());
            }
        }
    }
}

void compareWithWcstol(const std::wstring& s) {
    const Bytes b = packedChars(s);
    const long expected = std::wcstol(s.c_str(), nullptr, 10);
    ASSERT_EQ(ConvertStringToNumber(b.data(), s.size()), expected) << s.size();
    ASSERT_EQ(ConvertStringToNumberLong(b.data(), s.size()), expected) << s.size();
}

void compareWithWcstol(unsigned seed) {
    // Past LONG_MAX by overflowing the digits' value, and without.
    for (const wchar_t* s :
         {L"     12345", L"-17x9", L"+8", L"abc", L"- 5", L"99999999999999999999",
          L"-99999999999999999999", L"9999999999999999999", L"-9999999999999999999"})
        compareWithWcstol(s);
    RandomValues random(seed);
    static const wchar_t kAlphabet[] = L"0123456789-+ \t\n\v\f\ra\u3000\u00a0\u2003";
    const unsigned alphabetSize = sizeof kAlphabet / sizeof kAlphabet[0];  // the NUL included
    for (int i = 0; i < 20000; ++i) {
        std::wstring s(random.below(24), L' ');
        for (wchar_t& c : s) c = kAlphabet[random.below(alphabetSize)];
        compareWithWcstol(s);
    }
}

TEST(FieldEncoding, ConvertStringToNumberAgreesWithWcstolOnRandomText) {
    compareWithWcstol(1u);
    EXPECT_EQ(ConvertStringToNumber(packedChars(L"123").data(), 2), 12);  // only count characters
    // iswspace depends on the locale: check a UTF-8 one as well when present.
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "C.UTF-8")) compareWithWcstol(2u);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(FieldEncoding, GetAStringWalksASemicolonList) {
    // Empty tokens are left to the caller; past the end the position stays.
    const struct {
        const wchar_t* source;
        unsigned int position, count;
        const wchar_t* token;
        unsigned int positionAfter, countAfter;
        int end;
    } steps[] = {{L"a;b", 0, 0, L"a", 2, 1, 0},
                 {L"a;b", 2, 1, L"b", 0, 2, 1},
                 {L"a;;c", 2, 1, L"", 2, 1, 0},
                 {L"abc", 9, 1, L"", 9, 1, 1},
                 {L"", 0, 0, L"", 0, 0, 1}};
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << s.position << " in " << s.source);
        unsigned int position = s.position, count = s.count;
        int end = 0;
        EXPECT_EQ(getAString(s.source, position, count, end), s.token);
        EXPECT_EQ(position, s.positionAfter);
        EXPECT_EQ(count, s.countAfter);
        EXPECT_EQ(end, s.end);
    }
}

// ---- the bounded reader ----

TEST(FieldReader, ReadsFieldsInOrderAndStopsExactlyAtTheEnd) {
    // Numbers come back as the same 32-bit pattern, signed or not.
    const Bytes b = packedChars(fieldsText({L"abc", L"-1", L"", L"-1", L"3000000000"}));
    XQFieldReader r(b.data(), b.size());
    EXPECT_EQ(r.ReadString(), L"abc");
    EXPECT_EQ(r.ReadNumberLong(), -1);
    EXPECT_EQ(r.ReadString(), L"");
    EXPECT_EQ(r.ReadNumber(), 4294967295UL);
    EXPECT_EQ(r.ReadNumberLong(), -1294967296L);
    EXPECT_EQ(r.Cursor(), b.size());
    EXPECT_FALSE(r.Overrun());
    EXPECT_EQ(r.ReadString(), L"");
    EXPECT_TRUE(r.Overrun());
    EXPECT_EQ(r.Cursor(), r.End());
}

TEST(FieldReader, PrefixesThatAreNoLengthOrRunPastTheEnd) {
    // Not a length: length 0, read on behind it. Past the end (an exactly
    // sized heap copy: ASan sees any read beyond it): empty, overrun, at the end.
    const struct {
        const wchar_t* text;
        unsigned long cursor;
        bool overrun;
    } cases[] = {{L"abcde00002hi", 20, false}, {L"-0003abc", 20, false}, {L"99999abc", 32, true}};
    for (const auto& c : cases) {
        const Bytes b = packedChars(c.text);
        XQFieldReader r(b.data(), b.size());
        XQSTRING out = L"old";
        r.ReadString(out);
        EXPECT_EQ(out, L"") << b.size();
        EXPECT_EQ(r.Cursor(), c.cursor);
        EXPECT_EQ(r.Overrun(), c.overrun);
    }
}

TEST(FieldReader, SkipAndFits) {
    const Bytes b = packedChars(L"0123456789");
    XQFieldReader r(b.data(), b.size());
    r.Skip(6);  // rounded up to whole characters
    EXPECT_EQ(r.Cursor(), 8u);
    EXPECT_TRUE(r.Fits(1, 32));
    EXPECT_FALSE(r.Fits(1, 33));
    EXPECT_FALSE(r.Fits(2000000000UL, 20));
    r.Skip(ULONG_MAX);
    EXPECT_TRUE(r.Overrun());
    EXPECT_EQ(r.Cursor(), 40u);
    EXPECT_TRUE(XQFieldReader::Unbounded(b.data()).Fits(2000000000UL, 20));
}

}  // namespace

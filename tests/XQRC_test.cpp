#include <gtest/gtest.h>

#include <utility>

#include "foundation/XQRC.h"

namespace {

// Every field of a return code, in declared order, "|" between them.
XQSTRING fields(const XQRC& r) {
    XQSTRING t[10];
    r.GetXQMessage(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
    XQSTRING all = std::to_wstring(r.code) + L"|" + std::to_wstring(r.secondaryCode) + L"|" +
                   std::to_wstring(r.isWarningFlag) + L"|" + std::to_wstring(r.domain);
    for (const XQSTRING* f :
         {&r.methodName, &r.executableName, &r.systemMessage, &r.comment, &r.hostName, &r.auxText})
        all += L"|" + *f;
    for (const XQSTRING& token : t) all += L"|" + token;
    return all;
}

TEST(XQRC, CopiesAndMovesCarryEveryFieldAndResetClearsThem) {
    XQRC rc(2005, -1, XQRC::ODBC);
    rc.isWarningFlag = 1;
    rc.methodName = L"m";
    rc.executableName = L"e";
    rc.systemMessage = L"s";
    rc.hostName = L"h";
    rc.auxText = L"42S02";
    rc.SetXQMessage(L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"", L"10");
    ASSERT_EQ(fields(rc), L"2005|-1|1|1|m|e|s||h|42S02|1|2|3|4|5|6|7|8||10");
    XQRC copy(rc);
    EXPECT_EQ(fields(copy), fields(rc));
    // Assignment over a code whose texts are all set: the empty ones are cleared.
    XQRC assigned(6105, 111, XQRC::Windows);
    assigned.SetXQMessage(L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i", L"j");
    assigned.comment = L"stale";
    assigned = rc;
    EXPECT_EQ(fields(assigned), fields(rc));
    // Moves likewise, long texts (on the heap) included; the moved-from
    // texts are left empty.
    rc.systemMessage = XQSTRING(100, L'x');
    const XQSTRING expected = fields(rc);
    XQRC moved(std::move(rc));
    EXPECT_EQ(fields(moved), expected);
    EXPECT_EQ(rc.systemMessage + rc.methodName + rc.messageToken10, L"");
    XQRC target(6105, 111, XQRC::Windows);
    target.SetXQMessage(L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i", L"j");
    target = std::move(moved);
    EXPECT_EQ(fields(target), expected);
    rc = std::move(target);
    rc.Reset();
    EXPECT_EQ(fields(rc), fields(XQRC(0, 0, XQRC::WhsSrv)));
}

TEST(XQRC, DomainTexts) {
    const wchar_t* const texts[] = {L"Windows", L"ODBC",    L"WhsDDD",
                                    L"WhsSrv",  L"WhsClnt", L"Sockets"};
    for (int d = 0; d < 6; ++d) {
        auto dt = static_cast<XQRC::domainType>(d);
        EXPECT_EQ(XQRC::domainTypeToString(dt), texts[d]);
        EXPECT_EQ(XQRC::domainTypeFromString(texts[d]), dt);
    }
    EXPECT_EQ(XQRC::domainTypeToString(static_cast<XQRC::domainType>(6)), L"WhsInvDom");
    EXPECT_EQ(XQRC::domainTypeToString(XQRC::domainTypeFromString(L"odbc")), L"WhsInvDom");
}

TEST(XQRC, FormatXQRCSetsFourFieldsOnly) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    rc.comment = L"kept";
    rc.hostName = L"host";
    formatXQRC(rc, L"ConvertWideToUnicode", L"iconv error", 8461, 84);
    EXPECT_EQ(fields(rc), L"8461|84|0|3|ConvertWideToUnicode||iconv error|kept|host|||||||||||");
}

}  // namespace

#include <gtest/gtest.h>

#include "foundation/XQRC.h"

namespace {

TEST(XQRC, CopyCopiesEveryField) {
    XQRC rc(2005, -1, XQRC::ODBC);
    rc.isWarningFlag = 1;
    rc.methodName = L"m";
    rc.executableName = L"e";
    rc.systemMessage = L"s";
    rc.comment = L"c";
    rc.hostName = L"h";
    rc.auxText = L"42S02";
    rc.SetXQMessage(L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9", L"10");
    XQRC copy(rc);
    XQRC assigned(0, 0, XQRC::WhsSrv);
    assigned = rc;
    for (const XQRC* r : {&copy, &assigned}) {
        EXPECT_EQ(r->code, 2005);
        EXPECT_EQ(r->secondaryCode, -1);
        EXPECT_EQ(r->isWarningFlag, 1);
        EXPECT_EQ(r->domain, XQRC::ODBC);
        EXPECT_EQ(r->methodName, L"m");
        EXPECT_EQ(r->executableName, L"e");
        EXPECT_EQ(r->systemMessage, L"s");
        EXPECT_EQ(r->comment, L"c");
        EXPECT_EQ(r->hostName, L"h");
        EXPECT_EQ(r->auxText, L"42S02");
        XQSTRING t[10];
        r->GetXQMessage(t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], t[8], t[9]);
        for (int i = 0; i < 10; ++i) EXPECT_EQ(t[i], std::to_wstring(i + 1));
    }
}

TEST(XQRC, ResetClearsEverythingIncludingAuxTextAndTokens) {
    XQRC rc(6105, 111, XQRC::Windows);
    rc.auxText = L"HY000";
    rc.comment = L"x";
    rc.isWarningFlag = 1;
    rc.SetXQMessage(L"a", L"b", L"c", L"d", L"e", L"f", L"g", L"h", L"i", L"j");
    EXPECT_FALSE(rc.isRetryableImmediate() || rc.isRetryableWithDelay()) << "no code is retried";
    rc.Reset();
    EXPECT_TRUE(rc.code == 0 && rc.secondaryCode == 0 && rc.isWarningFlag == 0 && rc.domain == XQRC::WhsSrv);
    EXPECT_TRUE(rc.auxText.empty() && rc.comment.empty() && rc.messageToken1.empty() && rc.messageToken10.empty());
}

TEST(XQRC, AddCommentJoinsWithLineFeed) {
    XQRC rc(1, 0, XQRC::WhsSrv);
    XQRC returned = rc.AddComment(L"first");
    EXPECT_EQ(rc.comment, L"first");
    EXPECT_EQ(returned.comment, L"first");
    rc.AddComment(L"second");
    EXPECT_EQ(rc.GetComment(), L"first\nsecond");
    rc.AddComment(L"");
    EXPECT_EQ(rc.comment, L"first\nsecond\n");
    EXPECT_EQ(rc.SetComment(L"only").comment, L"only");
}

TEST(XQRC, DomainTexts) {
    const wchar_t* const texts[] = {L"Windows", L"ODBC", L"WhsDDD", L"WhsSrv", L"WhsClnt", L"Sockets"};
    for (int d = 0; d < 6; ++d) {
        auto dt = static_cast<XQRC::domainType>(d);
        EXPECT_EQ(XQRC::domainTypeToString(dt), texts[d]);
        EXPECT_EQ(XQRC::domainTypeFromString(texts[d]), dt);
    }
    EXPECT_EQ(XQRC::domainTypeToString(static_cast<XQRC::domainType>(6)), L"WhsInvDom");
    EXPECT_EQ(XQRC::domainTypeToString(static_cast<XQRC::domainType>(-1)), L"WhsInvDom");
    EXPECT_EQ(XQRC::domainTypeToString(XQRC::domainTypeFromString(L"odbc")), L"WhsInvDom");
    EXPECT_EQ(XQRC::domainTypeToString(XQRC::domainTypeFromString(L"ODBC ")), L"WhsInvDom");
}

TEST(XQRC, FormatXQRCSetsFourFieldsOnly) {
    XQRC rc(0, 0, XQRC::WhsSrv);
    rc.comment = L"kept";
    rc.hostName = L"host";
    formatXQRC(rc, L"ConvertWideToUnicode", L"iconv error", 8461, 84);
    EXPECT_EQ(rc.methodName, L"ConvertWideToUnicode");
    EXPECT_EQ(rc.systemMessage, L"iconv error");
    EXPECT_EQ(rc.code, 8461);
    EXPECT_EQ(rc.secondaryCode, 84);
    EXPECT_EQ(rc.comment, L"kept");
    EXPECT_EQ(rc.hostName, L"host");
    EXPECT_EQ(rc.domain, XQRC::WhsSrv);
}

}  // namespace

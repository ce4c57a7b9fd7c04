#include <gtest/gtest.h>

#include <cstring>

#include "messages/FieldEncoding.h"
#include "messages/XQBaseMessage.h"
#include "support/MessageTestSupport.h"

namespace {

// The head and fields of a freshly constructed base message, as a receiver
// on any host must see them.
XQSTRING expectedFreshBase(const XQBaseMessage& m, unsigned int size) {
    wchar_t sizeText[16];
    swprintf(sizeText, 16, L"%10d", static_cast<int>(size));
    XQSTRING s = XQSTRING(L"XQBase    ") + L"U" + sizeText;
    s += fieldNumber(0) + fieldText(L"8.1.0") + fieldNumber(1);              // id, release, type
    s += fieldText(L"") + fieldText(L"") + fieldNumber(0);                   // origin
    s += fieldText(L"") + fieldText(L"") + fieldNumber(0);                   // destination
    s += fieldNumber(1) + fieldNumber(1) + fieldNumber(0) + fieldNumber(0);  // request, reply, commands
    s += fieldNumber(0) + fieldNumber(static_cast<long>(m.TransmitTS.get_Stamp()));
    s += fieldText(L"") + fieldNumber(0);                                    // BVName, BENumber
    s += fieldText(L"") + fieldText(L"") + fieldNumber(0) + fieldNumber(0) + fieldNumber(0) + fieldNumber(3);
    s += fieldText(L"") + fieldText(L"") + fieldText(L"");                   // system message, host, comment
    for (int i = 0; i < 10; ++i) s += fieldText(L"");                        // tokens
    s += fieldText(L"");                                                     // aux text
    s += fieldText(m.OriginInetAddr) + fieldNumber(0) + fieldText(L"") + fieldText(L"");
    s += fieldNumber(0) + fieldNumber(0);                                    // rows
    s += fieldNumber(0) + fieldNumber(0);                                    // column attributes, result set
    s += fieldNumber(0);                                                     // commit flag
    s += fieldNumber(0) + fieldNumber(0) + fieldNumber(0);                   // BO names, BO nodes, LPZ
    return s;
}

}  // namespace

TEST(BaseMessage, FreshMessageWireBytesAndSize) {
    XQBaseMessage m;
    PackedMessage p = packBase(m);
    EXPECT_FALSE(m.OriginInetAddr.empty()) << "a request gets the local address when sized";
    EXPECT_EQ(p.written, p.baseSize);
    unsigned long digits = NumberTextLength(static_cast<long>(m.TransmitTS.get_Stamp()));
    EXPECT_EQ(p.baseSize, 964 + 4 * (18 + digits + 5 + m.OriginInetAddr.size()) + 5 * 24);
    EXPECT_EQ(payloadText(p.bytes), expectedFreshBase(m, p.baseSize));

    XQBaseMessage r;
    unsigned long cursor = 0;
    EXPECT_EQ(r.UnpackMessage(p.bytes.data(), &cursor).code, 0);
    EXPECT_EQ(cursor, p.baseSize);
    EXPECT_EQ(diffMessages(m, r), "");
}

TEST(BaseMessage, ReplyIsSizedWithoutTouchingTheOriginAddress) {
    XQBaseMessage m;
    m.IsRequest = 2;  // a request, but only 1 fills the address
    m.OriginInetAddr = L"10.9.8.7";
    m.CalculateSize();
    EXPECT_EQ(m.OriginInetAddr, L"10.9.8.7");
}

TEST(BaseMessage, EyeCatcherAndMessageType) {
    XQBaseMessage m;
    EXPECT_EQ(m.SetEyeCatcher(L"ABCDEFGHIJK"), 0);
    EXPECT_EQ(XQSTRING(m.EyeCatcher), L"XQBase    ");
    EXPECT_EQ(m.SetEyeCatcher(L"ABCDEFGHIJ"), 1);
    EXPECT_EQ(XQSTRING(m.EyeCatcher), L"ABCDEFGHIJ");
    // The derived kinds' eye catchers are checked with their wire bytes.
    for (int t : {0, 5, 6}) {
        EXPECT_EQ(m.SetMessageType(static_cast<EMSGTYPE>(t)), 1);
        EXPECT_EQ(XQSTRING(m.EyeCatcher), t == 5 ? L"XQWip     " : L"          ") << t;
    }
    m.SetMessageType(static_cast<EMSGTYPE>(7));
    PackedMessage p = packBase(m);
    EXPECT_EQ(payloadText(p.bytes).substr(0, 11), L"          U");
}

TEST(BaseMessage, ResetKeepsTheCarriedReturnCodeAndOrigin) {
    XQBaseMessage m;
    m.SetCharacterType(XQCharAscii);
    m.SetSQLStmt2(L"g");
    m.ReturnCode.code = 77;
    m.OriginInetAddr = L"1.2.3.4";
    m.Reset();
    EXPECT_EQ(m.ReturnCode.code, 77);
    EXPECT_EQ(m.OriginInetAddr, L"1.2.3.4");
    EXPECT_EQ(m.CharacterType, XQCharUnicode);
    EXPECT_TRUE(m.SQLStmt2.empty());
}

TEST(BaseMessage, LeadingGarbageIsSkipped) {
    XQBaseMessage m;
    m.BVName = L"shifted";
    PackedMessage p = packBase(m);
    std::vector<unsigned char> shifted(4 + p.bytes.size(), 0x01);
    memcpy(shifted.data() + 4, p.bytes.data(), p.bytes.size());
    XQBaseMessage r;
    EXPECT_EQ(r.UnpackMessageBounded(shifted.data(), shifted.size()).code, 0);
    EXPECT_EQ(diffMessages(m, r), "");
    EXPECT_EQ(XQBaseMessage::GetAnnouncedSize(shifted.data(), shifted.size()), p.baseSize);
}

TEST(BaseMessage, WrongReleaseIsRefusedAndCursorKept) {
    XQBaseMessage m;
    m.ReleaseLevel = L"8.0.0";
    PackedMessage p = packBase(m);
    XQBaseMessage r;
    unsigned long cursor = 12345;
    XQRC rc = r.UnpackMessage(p.bytes.data(), &cursor);
    EXPECT_EQ(rc.code, 9149);
    EXPECT_EQ(rc.domain, XQRC::WhsSrv);
    EXPECT_EQ(cursor, 12345u);
    m.ReleaseLevel = L"8.1.0 ";
    p = packBase(m);
    EXPECT_EQ(XQBaseMessage().UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 9149);
}

TEST(BaseMessage, CharacterTypeCheckReadsTheReceiver) {
    XQBaseMessage m;
    m.CharacterType = XQCharDbcs;
    PackedMessage p = packBase(m);
    EXPECT_EQ(payloadText(p.bytes)[10], L'D');
    XQBaseMessage accepting;  // still type 1 after construction
    EXPECT_EQ(accepting.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    XQBaseMessage refusing;
    refusing.CharacterType = XQCharAscii;
    unsigned long cursor = 0;
    XQRC rc = refusing.UnpackMessage(p.bytes.data(), &cursor);
    EXPECT_EQ(rc.code, 9146);
    EXPECT_EQ(cursor, 44u) << "stops behind the character-type code";
}

TEST(BaseMessage, CommentsAccumulateOnReuseAndInReplies) {
    XQBaseMessage m;
    m.ReturnCode.code = 6105;
    m.ReturnCode.domain = static_cast<XQRC::domainType>(42);  // no domain of this library: relayed as it is
    m.ReturnCode.comment = L"remote";
    m.ReturnCode.messageToken3 = L"t3";
    PackedMessage p = packBase(m);
    XQBaseMessage r;
    r.UnpackMessageBounded(p.bytes.data(), p.bytes.size());
    EXPECT_EQ(r.ReturnCode.comment, L"remote");
    EXPECT_EQ(r.ReturnCode.domain, 42);
    r.UnpackMessageBounded(p.bytes.data(), p.bytes.size());
    EXPECT_EQ(r.ReturnCode.comment, L"remote\nremote");

    XQRC local(0, 0, XQRC::WhsSrv);
    local.comment = L"local";
    EXPECT_EQ(m.GetRCFromReply(local).code, 0);
    EXPECT_EQ(local.code, 6105);
    EXPECT_EQ(local.comment, L"local\nremote");
    EXPECT_EQ(local.messageToken3, L"t3");
}


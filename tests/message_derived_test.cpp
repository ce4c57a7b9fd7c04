#include <gtest/gtest.h>

#include <cstring>

#include "messages/FieldEncoding.h"
#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "support/MessageTestSupport.h"

namespace {

XQSTRING N(long v) { return fieldNumber(v); }
XQSTRING T(const XQSTRING& s = XQSTRING()) { return fieldText(s); }

XQSTRING partOf(const PackedMessage& p) {
    XQSTRING all = payloadText(p.bytes);
    return all.substr(p.baseSize / sizeof(wchar_t));
}

}  // namespace

TEST(AgentMessage, FreshMessageSizeAndWireBytes) {
    XQAgentMessage m;
    EXPECT_EQ(m.CalculateSize(), 944u + 7 * 24);
    PackedMessage p = packWhole(m);
    EXPECT_EQ(p.written, p.bytes.size());
    XQSTRING expected = N(0) + N(0) + N(0) + T() + T() + N(0) + T() + T() + T();  // 1-9
    expected += T() + T() + N(0) + T() + T() + T() + N(0);                         // 10-16 source
    expected += T() + T() + N(0) + T() + T() + T() + N(0);                         // 17-23 target
    expected += T() + N(0) + N(0) + T() + T() + N(3) + T() + T() + N(0) + N(0);    // 24-33
    expected += T() + T() + T() + T() + T();                                       // 34-38 agent
    for (int i = 0; i < 6; ++i) expected += N(0);                                  // 39-44 lists
    expected += N(0) + N(0) + T() + T() + T() + N(0) + N(0);                       // 45-51
    EXPECT_EQ(partOf(p), expected);
    EXPECT_EQ(payloadText(p.bytes).substr(0, 10), L"XQAgent   ");

    XQAgentMessage r;
    EXPECT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    EXPECT_EQ(diffMessages(m, r), "");
}

TEST(AgentMessage, WireOrderOfNumbersAndTexts) {
    XQAgentMessage m;
    m.FlatFileType = 45;
    m.FlatFileFlag = 46;
    m.BERowCountSoFar = 1;
    m.StatusMsg = L"four";
    m.SourceDBPassword = L"pw15";
    m.AgentPassword = L"pw38";
    m.XfCreateType = 50;
    m.CaptureSchemaList = {L"S1", L"S2"};
    m.SourceFetchCount = 0xFFFFFFFFu;
    PackedMessage p = packWhole(m);
    XQSTRING part = partOf(p);
    EXPECT_EQ(part.find(N(1) + N(0) + N(0) + T(L"four")), 0u);
    EXPECT_NE(part.find(T(L"pw15")), XQSTRING::npos);
    EXPECT_NE(part.find(T(L"pw38") + N(0)), XQSTRING::npos) << "passwords travel as held";
    EXPECT_NE(part.find(N(-1) + T()), XQSTRING::npos) << "unsigned values of 2^31 and above travel negative";
    XQSTRING tail = N(0) + N(45) + N(46) + T() + T() + T() + N(50) + N(2) + T(L"S1") + T(L"S2");
    EXPECT_EQ(part.substr(part.size() - tail.size() - (p.bytes.size() - p.written) / 4, tail.size()), tail);
    EXPECT_LT(p.written, p.bytes.size()) << "the capture-schema size is an upper bound";
    XQAgentMessage r;
    EXPECT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    EXPECT_EQ(diffMessages(m, r), "");
}

TEST(AgentMessage, RequestDataHelpers) {
    XQAgentMessage m;
    std::vector<XQAttributeData> cols(2);
    cols[1].Text1 = L"B";
    EXPECT_EQ(m.SetSelectEditionData(L"select", cols).code, 0);
    std::vector<XQAttributeData> out(3);
    XQSTRING stmt;
    m.GetSelectEditionData(stmt, out);
    EXPECT_EQ(stmt, L"select");
    ASSERT_EQ(out.size(), 2u) << "replaced";
    EXPECT_EQ(m.SetPrepareInsertStatementData(L"insert", {cols[1]}).code, 0);
    m.GetPrepareInsertStatementData(stmt, out);
    EXPECT_EQ(stmt, L"insert");
    ASSERT_EQ(out.size(), 3u) << "appended";
    EXPECT_EQ(out[2].Text1, L"B");
    EXPECT_EQ(m.SetFetchAndInsertXData(L"fetch", cols, 1, 500).code, 0);
    int required = 0;
    unsigned int fetch = 0;
    m.GetFetchAndInsertXData(stmt, out, required, fetch);
    EXPECT_EQ(stmt, L"fetch");
    EXPECT_EQ(required, 1);
    EXPECT_EQ(fetch, 500u);
    EXPECT_EQ(m.OutputDataList.size(), 2u);
}

TEST(KernelMessage, FreshMessageWireBytesAndEmptyRoundTrip) {
    XQKernelMessage m;
    EXPECT_EQ(XQSTRING(m.EyeCatcher), L"XQKernel  ");
    PackedMessage p = packWhole(m);
    EXPECT_EQ(p.ownSize, 400u + 4 * 9 + 7 * 24);
    EXPECT_EQ(p.written, p.bytes.size());
    XQSTRING expected = T() + T() + N(0) + N(0) + N(0) + N(0);     // 1-6
    expected += N(0) + N(0) + N(0) + N(0) + T() + T() + T() + T();  // 7-14
    expected += N(0) + T() + T() + N(0) + N(0) + T() + T() + N(0);  // 15-22
    expected += T() + N(0) + N(0) + N(0) + N(0);                    // 23-27
    EXPECT_EQ(partOf(p), expected);
    XQKernelMessage r;
    EXPECT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    EXPECT_EQ(diffMessages(m, r), "");
}

TEST(LogMessage, BuildObjectPairTravelsSwapped) {
    XQLogMessage m;
    EXPECT_EQ(XQSTRING(m.EyeCatcher), L"XQLog     ");
    m.BuildObjectType = L"TYPE";
    m.BuildObjectName = L"NAME";
    m.ExecTS.set_Stamp(1234567890);
    m.SetTreeRetryDelay(4000000000u);
    PackedMessage p = packWhole(m);
    EXPECT_EQ(p.written, p.bytes.size());
    EXPECT_EQ(p.ownSize, 580u + 4 * (3 + 3 + 10 + 4 + 10 + 1 + 4 + 4));  // numbers, then the two texts
    XQSTRING expected = N(0) + N(0) + N(0) + T() + T() + T() + T() + T(L"NAME") + T(L"TYPE") + T() + T() + T();
    expected += N(0) + N(0) + N(0) + N(-294967296) + T() + T() + T() + T() + T() + T();
    expected += N(0) + N(0) + N(0) + N(0) + N(1234567890) + N(0) + T();
    EXPECT_EQ(partOf(p), expected);
    XQLogMessage r;
    EXPECT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0);
    EXPECT_EQ(diffMessages(m, r), "");
}

// Each kind's Reset keeps members of its own; the rest is emptied.
TEST(MessageReset, EachKindKeepsItsOwnMembers) {
    MessageRandom rnd(5);
    XQAgentMessage a;
    rnd.fill(a);
    const XQAgentMessage before = a;
    a.Reset();
    EXPECT_EQ(a.DestQueueHost, before.DestQueueHost);
    EXPECT_EQ(a.Command, before.Command);
    EXPECT_EQ(a.ReturnCode.code, before.ReturnCode.code);
    EXPECT_EQ(a.UDPType, 3);
    EXPECT_EQ(a.CalculateSize(), 944u + 7 * 24) << "every other agent member emptied";
    XQKernelMessage k;
    rnd.fill(k);
    const XQKernelMessage kept = k;
    k.Reset();
    EXPECT_EQ(k.InformationResource, kept.InformationResource);
    EXPECT_EQ(k.TableList.size(), kept.TableList.size());
    EXPECT_TRUE(k.BVName.empty());
    XQLogMessage m;
    rnd.fill(m);
    m.ExecTS.set_Stamp(777777777);
    m.SetMessageType(XQBaseMsgType);
    m.Reset();
    EXPECT_EQ(m.ExecTS.get_Stamp(), 777777777u);
    EXPECT_EQ(XQSTRING(m.EyeCatcher), L"XQLog     ");
    EXPECT_TRUE(m.ProcessName.empty());
}

// Each kind packs to exactly its computed size and unpacks to the same
// members; capture schemas are sized as an upper bound.
template <class M>
unsigned long schemas(const M& m) {
    return m.CaptureSchemaList.size();
}
unsigned long schemas(const XQLogMessage&) { return 0; }

template <class M>
void expectRandomRoundTrips(uint32_t firstSeed) {
    for (uint32_t seed = firstSeed; seed < firstSeed + 40; ++seed) {
        MessageRandom rnd(seed, false, 20, 4);
        M m;
        rnd.fill(m);
        PackedMessage p = packWhole(m);
        ASSERT_EQ(p.bytes.size() - p.written, 180 * schemas(m))
            << "ten prefixes counted per name, one written; " << seed;
        M r;
        ASSERT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 0) << seed;
        EXPECT_EQ(diffMessages(m, r), "") << "seed " << seed;
    }
}

TEST(MessageSizes, PackedSizeEqualsCalculatedSizeForRandomMessages) {
    expectRandomRoundTrips<XQAgentMessage>(1);
    expectRandomRoundTrips<XQKernelMessage>(2001);
    expectRandomRoundTrips<XQLogMessage>(3001);
}

TEST(MessageSizes, BaseFailuresStopTheDerivedUnpack) {
    XQAgentMessage m;
    m.ReleaseLevel = L"9.9.9";
    m.StatusMsg = L"not read";
    PackedMessage p = packWhole(m);
    XQAgentMessage r;
    EXPECT_EQ(r.UnpackMessageBounded(p.bytes.data(), p.bytes.size()).code, 9149);
    EXPECT_TRUE(r.StatusMsg.empty());
}

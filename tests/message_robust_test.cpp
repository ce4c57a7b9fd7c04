#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "messages/XQAgentMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"
#include "support/MessageTestSupport.h"

// Damaged messages: every read stays inside the bytes given (the sanitizer
// builds check this), and the result is a code or a message with empty fields.
// Randomly damaged messages of every kind are the message fuzz target's
// (fuzz_replay_test).

namespace {

// The first n bytes in an allocation of exactly n bytes, so that a read
// beyond them is caught.
std::unique_ptr<unsigned char[]> exactCopy(const std::vector<unsigned char>& bytes, size_t n) {
    std::unique_ptr<unsigned char[]> copy(new unsigned char[n == 0 ? 1 : n]);
    if (n > 0) memcpy(copy.get(), bytes.data(), n);
    return copy;
}

}  // namespace

TEST(MessageRobustness, TruncatedTailReadsAsEmptyFields) {
    XQLogMessage m;
    m.ProcessName = L"last field";
    m.EventMessage = L"early field";
    PackedMessage p = packWhole(m);
    size_t n = p.bytes.size() - 8;  // cuts into the last field
    auto copy = exactCopy(p.bytes, n);
    XQLogMessage r;
    EXPECT_EQ(r.UnpackMessageBounded(copy.get(), n).code, 0);
    EXPECT_EQ(r.EventMessage, L"early field");
    EXPECT_TRUE(r.ProcessName.empty());

    // The announced size bounds the reads as well: a message that claims
    // less than it holds is read only that far.
    std::vector<unsigned char> shortened = p.bytes;
    wchar_t sizeText[16];
    swprintf(sizeText, 16, L"%10d", static_cast<int>(n));
    memcpy(shortened.data() + 44, sizeText, 40);
    XQLogMessage r2;
    EXPECT_EQ(r2.UnpackMessage(shortened.data(), nullptr).code, 0);
    EXPECT_EQ(r2.EventMessage, L"early field");
    EXPECT_TRUE(r2.ProcessName.empty());
    EXPECT_EQ(XQBaseMessage::GetAnnouncedSize(shortened.data(), shortened.size()), n);
    EXPECT_EQ(XQBaseMessage::GetAnnouncedSize(shortened.data(), 60), 0u) << "head not present";

    // A result set cut short reads as empty, and the row count with it.
    XQBaseMessage rows;
    rows.ResultSet = {{L"a", L"b"}, {L"c", L"d"}};
    rows.RowsReceived = 2;
    PackedMessage q = packBase(rows);
    const size_t cut = q.bytes.size() - 4 * 24 - 8;  // inside "d": four one-digit fields follow it
    auto cutCopy = exactCopy(q.bytes, cut);
    XQBaseMessage r3;
    EXPECT_EQ(r3.UnpackMessageBounded(cutCopy.get(), cut).code, 0);
    EXPECT_TRUE(r3.ResultSet.empty());
    EXPECT_EQ(r3.RowsReceived, 0);
}

// Replays the message fuzz corpus (fuzz/message_corpus) through the fuzz
// target's decode function, in the normal and the sanitizer builds, and
// feeds it fresh seeds of every kind in both input forms.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MessageFuzzDecode.h"
#include "support/MessageTestSupport.h"

namespace {

std::vector<unsigned char> asInput(const PackedMessage& p, int kind, bool packed) {
    std::vector<unsigned char> input;
    input.reserve(1 + p.bytes.size());
    input.push_back(static_cast<unsigned char>(kind | (packed ? 4 : 0)));
    if (packed) {
        for (unsigned char b : p.bytes) input.push_back(b);
    } else {
        for (wchar_t c : payloadText(p.bytes)) input.push_back(static_cast<unsigned char>(c));
    }
    return input;
}

TEST(MessageFuzzCorpus, EveryInputDecodesAndChecks) {
    const char* source = std::getenv("TCORE_SOURCE_DIR");
    const std::filesystem::path corpus = source ? std::filesystem::path(source) / "fuzz" / "message_corpus"
                                                : std::filesystem::path(TCORE_MESSAGE_FUZZ_CORPUS);
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    TempCwd dir;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(DecodeMessageFuzzInput(bytes.data(), bytes.size()), "") << entry.path();
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

TEST(MessageFuzzCorpus, FreshSeedsOfEveryKind) {
    TempCwd dir;
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        MessageRandom rnd(seed, true, 8, 2);
        XQBaseMessage base;
        rnd.fill(base);
        XQAgentMessage agent;
        rnd.fill(agent);
        XQKernelMessage kernel;
        rnd.fill(kernel);
        XQLogMessage log;
        rnd.fill(log);
        const PackedMessage packed[] = {packBase(base), packWhole(agent), packWhole(kernel), packWhole(log)};
        for (int kind = 0; kind < 4; ++kind) {
            for (bool asPacked : {false, true}) {
                std::vector<unsigned char> input = asInput(packed[kind], kind, asPacked);
                EXPECT_EQ(DecodeMessageFuzzInput(input.data(), input.size()), "") << kind;
            }
        }
    }
    const std::vector<std::vector<unsigned char>> edges = {
        {}, {0}, {5}, {1, 'X', 'Q'}, {2, 'X', 'Q', 'K', 'e', 'r', 'n', 'e', 'l', ' ', ' ', 'U', ' ', '9', '9'},
    };
    for (const auto& input : edges) EXPECT_EQ(DecodeMessageFuzzInput(input.data(), input.size()), "");
}

}  // namespace

// Writes the seed corpus when asked: TCORE_WRITE_MESSAGE_CORPUS=dir.
TEST(MessageFuzzCorpus, WriteSeedsWhenAsked) {
    const char* out = std::getenv("TCORE_WRITE_MESSAGE_CORPUS");
    if (out == nullptr) GTEST_SKIP() << "set TCORE_WRITE_MESSAGE_CORPUS to write the seeds";
    const char* names[] = {"base", "agent", "kernel", "log"};
    for (uint32_t seed = 1; seed <= 2; ++seed) {
        MessageRandom rnd(seed, true, 6, 2);
        XQBaseMessage base;
        XQAgentMessage agent;
        XQKernelMessage kernel;
        XQLogMessage log;
        if (seed == 2) {
            rnd.fill(base);
            rnd.fill(agent);
            rnd.fill(kernel);
            rnd.fill(log);
        }
        const PackedMessage packed[] = {packBase(base), packWhole(agent), packWhole(kernel), packWhole(log)};
        for (int kind = 0; kind < 4; ++kind) {
            for (bool asPacked : {false, true}) {
                std::vector<unsigned char> input = asInput(packed[kind], kind, asPacked);
                std::string name = std::string(out) + "/" + names[kind] + (seed == 1 ? "_fresh" : "_filled") +
                                   (asPacked ? "_packed" : "_text");
                std::ofstream f(name, std::ios::binary);
                f.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
            }
        }
    }
}

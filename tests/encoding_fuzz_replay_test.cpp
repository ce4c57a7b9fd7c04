// Replays the fuzz corpus (fuzz/corpus) through the fuzz target's decode
// function, so that every input the fuzzer kept stays decodable here, in the
// normal and the sanitizer builds, without clang.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "EncodingFuzzDecode.h"

namespace {

TEST(EncodingFuzzCorpus, EveryInputDecodesAndChecks) {
    const char* source = std::getenv("TCORE_SOURCE_DIR");
    const std::filesystem::path corpus = source ? std::filesystem::path(source) / "fuzz" / "corpus"
                                                : std::filesystem::path(TCORE_FUZZ_CORPUS);
    ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>());
        EXPECT_EQ(DecodeEncodingFuzzInput(bytes.data(), bytes.size()), "") << entry.path();
        ++inputs;
    }
    EXPECT_GT(inputs, 0);
}

TEST(EncodingFuzzCorpus, DecodesEdgeInputs) {
    const std::vector<std::vector<unsigned char>> inputs = {
        {},
        {0x20},                                // every kind, nothing to read
        {0x11, 1, 0, 0, 0, '0', '0', '0'},     // result set, prefix cut short
        {0x03, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6},  // packed primary keys, junk
    };
    for (const auto& input : inputs)
        EXPECT_EQ(DecodeEncodingFuzzInput(input.data(), input.size()), "");
}

}  // namespace

// Every fuzz target's check (fuzz/FuzzTargets.h) over the inputs kept in the
// repository, the seed corpus (fuzz/corpus/<target>) and every finding
// (fuzz/findings/<target>), and over fresh seeds and damaged copies of them:
// in the ordinary and the sanitizer builds, without clang.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "FuzzSeeds.h"
#include "FuzzTargets.h"

namespace {

std::filesystem::path fuzzDir() {
    const char* source = std::getenv("TCORE_SOURCE_DIR");
    return std::filesystem::path(source ? source : TCORE_FUZZ_DIR);
}

// The check of every file in dir; how many there were.
int replay(const FuzzTarget& target, const std::filesystem::path& dir) {
    if (!std::filesystem::is_directory(dir)) return 0;
    int inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(target.check(bytes.data(), bytes.size()), "") << entry.path();
        ++inputs;
    }
    return inputs;
}

// Damaged copies of a seed: bytes overwritten, mostly with digits (where a
// length or a count changes), and now and then cut short; byte 0, which
// chooses the form, is kept.
void replayDamaged(const FuzzTarget& target, const FuzzSeed& seed, std::mt19937& rng) {
    if (seed.bytes.size() < 2) return;
    for (int i = 0; i < 60; ++i) {
        std::string damaged = seed.bytes;
        for (unsigned flips = 1 + rng() % 8; flips > 0; --flips) {
            const size_t at = 1 + rng() % (damaged.size() - 1);
            damaged[at] = static_cast<char>(rng() % 2 ? '0' + rng() % 10 : rng());
        }
        if (rng() % 3 == 0) damaged.resize(1 + rng() % (damaged.size() - 1));
        const auto* bytes = reinterpret_cast<const unsigned char*>(damaged.data());
        EXPECT_EQ(target.check(bytes, damaged.size()), "") << seed.name << " damaged " << i;
    }
}

class FuzzReplay : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override { fuzzSetUpProcess(); }
};

TEST_P(FuzzReplay, KeptInputsFreshAndDamagedSeedsAndEdgesPassTheChecks) {
    const FuzzTarget* target = findFuzzTarget(GetParam());
    ASSERT_NE(target, nullptr);
    EXPECT_GT(replay(*target, fuzzDir() / "fuzz" / "corpus" / target->name), 0) << "no seed corpus";
    replay(*target, fuzzDir() / "fuzz" / "findings" / target->name);

    const std::vector<FuzzSeed> seeds = fuzzSeeds(target->name);
    EXPECT_FALSE(seeds.empty());
    std::mt19937 rng(1);
    for (const FuzzSeed& seed : seeds) {
        EXPECT_EQ(target->check(reinterpret_cast<const unsigned char*>(seed.bytes.data()), seed.bytes.size()), "")
            << seed.name;
        replayDamaged(*target, seed, rng);
    }
    for (const std::string& edge : {std::string(), std::string(1, '\0'), std::string(1, '\x01'), std::string(9, '\xff')})
        EXPECT_EQ(target->check(reinterpret_cast<const unsigned char*>(edge.data()), edge.size()), "");
}

std::vector<std::string> targetNames() {
    std::vector<std::string> names;
    for (const FuzzTarget& t : fuzzTargets()) names.push_back(t.name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(EveryTarget, FuzzReplay, ::testing::ValuesIn(targetNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace

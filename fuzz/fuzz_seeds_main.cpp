// fuzz_seeds DIR [TARGET...]: writes the seed inputs of the fuzz targets
// (all when none is named) as DIR/<target>/<name>, replacing what is there.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzSeeds.h"
#include "FuzzTargets.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR [TARGET...]\n");
        return 2;
    }
    std::vector<std::string> names;
    for (int i = 2; i < argc; ++i) names.push_back(argv[i]);
    if (names.empty())
        for (const FuzzTarget& t : fuzzTargets()) names.push_back(t.name);
    for (const std::string& name : names) {
        if (findFuzzTarget(name) == nullptr) {
            std::fprintf(stderr, "fuzz_seeds: no target %s\n", name.c_str());
            return 2;
        }
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / name;
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const std::vector<FuzzSeed> seeds = fuzzSeeds(name);
        for (const FuzzSeed& seed : seeds) {
            std::ofstream out(dir / seed.name, std::ios::binary);
            out.write(seed.bytes.data(), static_cast<std::streamsize>(seed.bytes.size()));
        }
        std::printf("%s: %zu seeds\n", name.c_str(), seeds.size());
    }
    return 0;
}

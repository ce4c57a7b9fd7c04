#ifndef TCORE_FUZZ_FUZZSEEDS_H
#define TCORE_FUZZ_FUZZSEEDS_H

// Seed inputs of the fuzz targets, made by the library itself: packed and
// converted messages, encoded lists, the message catalogue, an ini file as
// XQIniFile writes it, connect strings in every quoting, configuration rows
// as the two drivers hand them over. The program fuzz_seeds writes them to
// fuzz/corpus/<target>; the replay test runs them fresh.

#include <string>
#include <vector>

struct FuzzSeed {
    std::string name;
    std::string bytes;
};

// The seeds of the named target (FuzzTargets.h); empty for an unknown name.
// Calls fuzzSetUpProcess() first (locale, scratch log directory).
std::vector<FuzzSeed> fuzzSeeds(const std::string& target);

#endif

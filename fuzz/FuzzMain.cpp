// libFuzzer entry of one target; TCORE_FUZZ_TARGET names it (FuzzTargets.h).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzTargets.h"

namespace {
FuzzCheck check = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const FuzzTarget* target = findFuzzTarget(TCORE_FUZZ_TARGET);
    if (target == nullptr) std::abort();
    check = target->check;
    fuzzSetUpProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = check(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "%s_fuzz: %s\n", TCORE_FUZZ_TARGET, failure.c_str());
        std::abort();
    }
    return 0;
}

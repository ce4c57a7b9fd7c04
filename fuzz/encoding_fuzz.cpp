// libFuzzer entry: every list kind decoded from arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "EncodingFuzzDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = DecodeEncodingFuzzInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "encoding_fuzz: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}

// libFuzzer entry: the four message kinds unpacked from arbitrary bytes.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "MessageFuzzDecode.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Payloads may ask for the diagnostic dump into the current directory.
    static char dir[] = "/tmp/tcore-message-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string failure = DecodeMessageFuzzInput(data, size);
    if (!failure.empty()) {
        std::fprintf(stderr, "message_fuzz: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "foundation/Trace.h"
#include "messages/XQMessageBuffer.h"

// Array allocations of this program, the library's included, go through
// these: a buffer holds malloc() memory and must never use new[] or delete[].
namespace {
int arrayCalls = 0;
}

void* operator new[](std::size_t n) {
    ++arrayCalls;
    void* p = std::malloc(n ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete[](void* p) noexcept {
    ++arrayCalls;
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    ++arrayCalls;
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

// The leak and allocator-mismatch checks of the sanitizer build see the rest.
TEST(XQMessageBuffer, HoldsAndReleasesMallocMemoryOfAnySize) {
    arrayCalls = 0;
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(64));
    bytes[0] = 'U';
    auto* adopted = new XQMessageBuffer(bytes, 64);
    EXPECT_EQ(adopted->data, bytes);
    EXPECT_EQ(adopted->size, 64u);
    delete adopted;
    for (unsigned int size : {4096u, 0u}) {
        XQMessageBuffer b(size);
        ASSERT_NE(b.data, nullptr);
        EXPECT_EQ(b.size, size);
        if (size > 0) b.data[size - 1] = 2;
    }
    EXPECT_EQ(arrayCalls, 0);
}

TEST(XQMessageBuffer, TracesConstructorsAndDestructorAtLevelFour) {
    setDebugTcore(3);
    testing::internal::CaptureStdout();
    { XQMessageBuffer quiet(8); }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    setDebugTcore(4);
    testing::internal::CaptureStdout();
    { XQMessageBuffer b(8); }
    { XQMessageBuffer b(static_cast<unsigned char*>(std::malloc(4)), 4); }
    setDebugTcore(0);
    const std::string out = testing::internal::GetCapturedStdout();
    auto count = [&](const std::string& s) {
        size_t n = 0;
        for (size_t p = out.find(s); p != std::string::npos; p = out.find(s, p + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(": enter method XQMessageBuffer::XQMessageBuffer()\n"), 2u) << out;
    EXPECT_EQ(count(": exit method XQMessageBuffer::XQMessageBuffer()\n"), 2u);
    EXPECT_EQ(count(": enter method XQMessageBuffer::~XQMessageBuffer()\n"), 2u);
    EXPECT_EQ(count(": exit method XQMessageBuffer::~XQMessageBuffer()\n"), 2u);
    EXPECT_EQ(out.rfind("tcore: ts=", 0), 0u);
}

}  // namespace

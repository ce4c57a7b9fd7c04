#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "foundation/Trace.h"
#include "messages/XQMessageBuffer.h"

// Array allocations of this program, the library's included, go through
// these, so a test can see which pointer a buffer frees.
namespace {
void* lastArrayFreed = nullptr;
}

void* operator new[](std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void operator delete[](void* p) noexcept {
    lastArrayFreed = p;
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    lastArrayFreed = p;
    std::free(p);
}

namespace {

// The buffer frees what it adopted or allocated, a zero-sized one included.
TEST(XQMessageBuffer, ReleasesItsAllocation) {
    unsigned char* adopted = new unsigned char[64];
    for (XQMessageBuffer* b : {new XQMessageBuffer(adopted, 64), new XQMessageBuffer(4096u), new XQMessageBuffer(0u)}) {
        ASSERT_NE(b->data, nullptr);
        if (b->size > 0) b->data[b->size - 1] = 1;
        unsigned char* data = b->data;
        lastArrayFreed = nullptr;
        delete b;
        EXPECT_EQ(lastArrayFreed, static_cast<void*>(data));
    }
}

TEST(XQMessageBuffer, TracesConstructorsAndDestructorAtLevelFour) {
    setDebugTcore(3);
    testing::internal::CaptureStdout();
    { XQMessageBuffer quiet(8); }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    setDebugTcore(4);
    testing::internal::CaptureStdout();
    { XQMessageBuffer b(8); }
    { XQMessageBuffer b(new unsigned char[4], 4); }
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

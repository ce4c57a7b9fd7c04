#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/Trace.h"
#include "messages/XQMessageBuffer.h"

namespace {

// A buffer holds malloc() memory of any size: the leak and allocator-mismatch
// checks of the sanitizer builds see a new[] or delete[] on it.
TEST(XQMessageBuffer, HoldsAndReleasesMallocMemoryOfAnySize) {
    unsigned char* bytes = static_cast<unsigned char*>(std::malloc(64));
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
}

TEST(XQMessageBuffer, TracesConstructorAndDestructorAtLevelFourOnly) {
    for (int level : {3, 4}) {
        setDebugTcore(level);
        testing::internal::CaptureStdout();
        { XQMessageBuffer b(static_cast<unsigned char*>(std::malloc(4)), 4); }
        setDebugTcore(0);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.empty(), level == 3) << out;
        EXPECT_EQ(out.find(": enter method XQMessageBuffer::~XQMessageBuffer()\n") < out.size(),
                  level == 4);
    }
}

}  // namespace

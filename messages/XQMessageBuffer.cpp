#include "messages/XQMessageBuffer.h"

#include <cstdlib>

#include "foundation/Trace.h"

XQMessageBuffer::XQMessageBuffer(unsigned int n) : data(nullptr), size(n) {
    XQ_TRACE_METHOD("XQMessageBuffer::XQMessageBuffer()");
    data = static_cast<unsigned char*>(std::malloc(n == 0 ? 1 : n));
}

XQMessageBuffer::XQMessageBuffer(unsigned char* d, unsigned int n) : data(d), size(n) {
    XQ_TRACE_METHOD("XQMessageBuffer::XQMessageBuffer()");
}

XQMessageBuffer::~XQMessageBuffer() {
    XQ_TRACE_METHOD("XQMessageBuffer::~XQMessageBuffer()");
    std::free(data);
}

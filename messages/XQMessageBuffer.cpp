#include "messages/XQMessageBuffer.h"

#include "foundation/Trace.h"

XQMessageBuffer::XQMessageBuffer(unsigned int n) : data(nullptr), size(n) {
    XQ_TRACE_METHOD("XQMessageBuffer::XQMessageBuffer()");
    data = new unsigned char[n];
}

XQMessageBuffer::XQMessageBuffer(unsigned char* d, unsigned int n) : data(d), size(n) {
    XQ_TRACE_METHOD("XQMessageBuffer::XQMessageBuffer()");
}

XQMessageBuffer::~XQMessageBuffer() {
    XQ_TRACE_METHOD("XQMessageBuffer::~XQMessageBuffer()");
    delete[] data;
}

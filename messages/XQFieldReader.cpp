#include "messages/XQFieldReader.h"

#include <climits>
#include <cwctype>

#include "messages/FieldReaderImpl.h"

namespace xqfield {

long parseNumberSlow(const unsigned char* p, unsigned long n) {
    unsigned long i = 0;
    wchar_t c = 0;
    while (i < n) {
        c = loadChar(p + 4 * i);
        if (c >= L'0' && c <= L'9') break;
        // Space padding (the message's total length has it) without a call.
        if (c != L' ' && (c == L'-' || c == L'+' || !std::iswspace(static_cast<wint_t>(c)))) break;
        ++i;
    }
    if (i == n) return 0;
    bool negative = false;
    if (c == L'-' || c == L'+') {
        negative = (c == L'-');
        ++i;
    }
    unsigned long magnitude = 0;
    bool overflow = false;
    for (; i < n; ++i) {
        c = loadChar(p + 4 * i);
        if (c < L'0' || c > L'9') break;
        overflow |= __builtin_mul_overflow(magnitude, 10UL, &magnitude);
        overflow |=
            __builtin_add_overflow(magnitude, static_cast<unsigned long>(c - L'0'), &magnitude);
    }
    const unsigned long limit = static_cast<unsigned long>(LONG_MAX);
    if (negative) {
        if (overflow || magnitude > limit) return LONG_MIN;
        return -static_cast<long>(magnitude);
    }
    if (overflow || magnitude > limit) return LONG_MAX;
    return static_cast<long>(magnitude);
}

}  // namespace xqfield

XQFieldReader::XQFieldReader(const unsigned char* buffer, unsigned long size, unsigned long cursor)
    : buffer_(buffer), end_(size & ~3UL), cursor_(cursor), overrun_(false), bounded_(true) {
    if (cursor_ > end_ || buffer_ == nullptr) MarkOverrun();
}

XQFieldReader XQFieldReader::Unbounded(const unsigned char* buffer, unsigned long cursor) {
    XQFieldReader reader(buffer, ~3UL, cursor);
    reader.bounded_ = false;
    return reader;
}

void XQFieldReader::MarkOverrun() {
    cursor_ = end_;
    overrun_ = true;
}

bool XQFieldReader::Fits(unsigned long count, unsigned long bytesEach) const {
    if (!bounded_ || bytesEach == 0) return true;
    return count <= Remaining() / bytesEach;
}

void XQFieldReader::ReadString(XQSTRING& out) {
    XQFieldReaderAccess::ReadString(*this, out);
}

XQSTRING XQFieldReader::ReadString() {
    XQSTRING out;
    XQFieldReaderAccess::ReadString(*this, out);
    return out;
}

long XQFieldReader::ReadNumberLong() {
    return XQFieldReaderAccess::ReadNumberLong(*this);
}

unsigned long XQFieldReader::ReadNumber() {
    return XQFieldReaderAccess::ReadNumber(*this);
}

void XQFieldReader::ReadChars(unsigned long chars, XQSTRING& out) {
    XQFieldReaderAccess::TakeText(*this, chars, out);
}

long XQFieldReader::ReadCharsAsNumber(unsigned long chars) {
    return XQFieldReaderAccess::TakeNumber(*this, chars);
}

void XQFieldReader::Skip(unsigned long bytes) {
    if (bytes > Remaining()) {
        MarkOverrun();
        return;
    }
    XQFieldReaderAccess::Take(*this, (bytes + 3) & ~3UL);
}

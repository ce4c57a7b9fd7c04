#include "messages/FieldEncoding.h"

#include <cstring>
#include <cwchar>
#include <wchar.h>
#include <string>

#include "foundation/Trace.h"
#include "messages/XQFieldReader.h"

namespace {

inline void storeChar(unsigned char* p, wchar_t c) { std::memcpy(p, &c, sizeof c); }

// The five prefix digits straight into the buffer: the hot path makes no
// scratch string per field.
inline void storePrefix(unsigned char* p, unsigned long length) {
    for (int i = 4; i >= 0; --i) {
        storeChar(p + 4 * i, static_cast<wchar_t>(L'0' + length % 10));
        length /= 10;
    }
}

unsigned long clampPrefixLength(unsigned long length) {
    if (length <= XQ_FIELD_MAX_CHARS) return length;
    if (traceOn(2))
        traceUnlockedLine("\tWARNING!!!! Message field length exceeds 99999; length=" + std::to_string(length) +
                          ", which will be truncated to 99999.");
    return XQ_FIELD_MAX_CHARS;
}

unsigned long clampDataLength(unsigned long length) {
    if (length <= XQ_FIELD_MAX_CHARS) return length;
    if (traceOn(2))
        traceUnlockedLine("\tWARNING!!!! data exceeds 99999 bytes; length=" + std::to_string(length) +
                          ", which will be truncated to 99999.");
    return XQ_FIELD_MAX_CHARS;
}

// wcsncpy into the buffer: the characters before the first NUL, then NULs to
// the end of the slot.
inline void storeData(unsigned char* p, const wchar_t* data, unsigned long chars) {
    const unsigned long used = ::wcsnlen(data, chars);
    if (used) std::memcpy(p, data, 4 * used);
    if (used < chars) std::memset(p + 4 * used, 0, 4 * (chars - used));
}

}  // namespace

unsigned int ConvertNumberToLengthSize(unsigned int length, wchar_t* out) {
    const unsigned long used = clampPrefixLength(length);
    unsigned long rest = used;
    for (int i = 4; i >= 0; --i) {
        out[i] = static_cast<wchar_t>(L'0' + rest % 10);
        rest /= 10;
    }
    out[5] = L'\0';
    return static_cast<unsigned int>(used);
}

void CopyDataToBuffer(unsigned char* buffer, unsigned long* cursor, const wchar_t* prefix, unsigned long prefixChars,
                      const wchar_t* data, unsigned long dataChars) {
    if (prefixChars) std::memcpy(buffer + *cursor, prefix, 4 * prefixChars);
    *cursor += 4 * prefixChars;
    if (dataChars == 0) return;
    dataChars = clampDataLength(dataChars);
    storeData(buffer + *cursor, data, dataChars);
    *cursor += 4 * dataChars;
}

void GetStringDataFromBuffer(const unsigned char* buffer, unsigned long* cursor, XQSTRING& out) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    reader.ReadString(out);
    *cursor = reader.Cursor();
}

void GetNumberDataFromBuffer(const unsigned char* buffer, unsigned long* cursor, unsigned long* out) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    *out = reader.ReadNumber();
    *cursor = reader.Cursor();
}

void GetNumberDataFromBufferLong(const unsigned char* buffer, unsigned long* cursor, long* out) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    *out = reader.ReadNumberLong();
    *cursor = reader.Cursor();
}

XQSTRING GetStringData(const unsigned char* position, unsigned long count) {
    XQSTRING out;
    XQFieldReader::Unbounded(position).ReadChars(count, out);
    return out;
}

long ConvertStringToNumber(const unsigned char* position, unsigned long count) {
    return XQFieldReader::Unbounded(position).ReadCharsAsNumber(count);
}

long ConvertStringToNumberLong(const unsigned char* position, unsigned long count) {
    return ConvertStringToNumber(position, count);
}

XQSTRING getAString(XQSTRING source, unsigned int& position, unsigned int& tokenCount, int& endFlag) {
    const XQSTRING::size_type from = position;
    XQSTRING::size_type separator = from <= source.size() ? source.find(L';', from) : XQSTRING::npos;
    XQSTRING token;
    if (separator == XQSTRING::npos) {
        endFlag = 1;
        if (from < source.size()) token = source.substr(from);
    } else {
        token = source.substr(from, separator - from);
    }
    if (token.empty()) return token;
    ++tokenCount;
    position = separator == XQSTRING::npos ? 0 : static_cast<unsigned int>(separator + 1);
    return token;
}

unsigned long FormatFieldNumber(long value, wchar_t* out) {
    const std::int32_t v = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(value)));
    std::uint32_t magnitude = v < 0 ? 0U - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    wchar_t digits[10];
    unsigned long n = 0;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    unsigned long len = 0;
    if (v < 0) out[len++] = L'-';
    while (n) out[len++] = digits[--n];
    out[len] = L'\0';
    return len;
}

unsigned long NumberTextLength(long value) {
    const std::int32_t v = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<unsigned long>(value)));
    std::uint32_t magnitude = v < 0 ? 0U - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
    unsigned long len = v < 0 ? 2 : 1;
    while (magnitude >= 10) {
        magnitude /= 10;
        ++len;
    }
    return len;
}

void CopyStringFieldToBuffer(unsigned char* buffer, unsigned long* cursor, const wchar_t* text, unsigned long chars) {
    const unsigned long used = clampPrefixLength(chars);
    unsigned char* p = buffer + *cursor;
    storePrefix(p, used);
    if (used) {
        // Both warnings, as the prefix writer and the data writer each give one.
        if (chars > XQ_FIELD_MAX_CHARS) clampDataLength(chars);
        storeData(p + XQ_FIELD_PREFIX_BYTES, text, used);
    }
    *cursor += XQ_FIELD_PREFIX_BYTES + 4 * used;
}

void CopyStringFieldToBuffer(unsigned char* buffer, unsigned long* cursor, const XQSTRING& text) {
    CopyStringFieldToBuffer(buffer, cursor, text.data(), text.size());
}

void CopyNumberFieldToBuffer(unsigned char* buffer, unsigned long* cursor, long value) {
    wchar_t text[12];
    const unsigned long len = FormatFieldNumber(value, text);
    unsigned char* p = buffer + *cursor;
    storePrefix(p, len);
    std::memcpy(p + XQ_FIELD_PREFIX_BYTES, text, 4 * len);
    *cursor += XQ_FIELD_PREFIX_BYTES + 4 * len;
}

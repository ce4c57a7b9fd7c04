#include "messages/FieldEncoding.h"

#include <wchar.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "foundation/Trace.h"
#include "messages/FieldWriter.h"
#include "messages/XQFieldReader.h"

namespace {

unsigned long clampPrefixLength(unsigned long length) {
    if (length <= XQ_FIELD_MAX_CHARS) return length;
    if (traceOn(2))
        traceUnlockedLine("\tWARNING!!!! Message field length exceeds 99999; length=" +
                          std::to_string(length) + ", which will be truncated to 99999.");
    return XQ_FIELD_MAX_CHARS;
}

unsigned long clampDataLength(unsigned long length) {
    if (length <= XQ_FIELD_MAX_CHARS) return length;
    if (traceOn(2))
        traceUnlockedLine("\tWARNING!!!! data exceeds 99999 bytes; length=" +
                          std::to_string(length) + ", which will be truncated to 99999.");
    return XQ_FIELD_MAX_CHARS;
}

}  // namespace

namespace xqfield {

unsigned long clampTextWithWarnings(unsigned long chars) {
    clampPrefixLength(chars);
    return clampDataLength(chars);
}

}  // namespace xqfield

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

void CopyDataToBuffer(unsigned char* buffer, unsigned long* cursor, const wchar_t* prefix,
                      unsigned long prefixChars, const wchar_t* data, unsigned long dataChars) {
    if (prefixChars) std::memcpy(buffer + *cursor, prefix, 4 * prefixChars);
    *cursor += 4 * prefixChars;
    if (dataChars == 0) return;
    dataChars = clampDataLength(dataChars);
    xqfield::storeText(buffer + *cursor, data, dataChars);
    *cursor += 4 * dataChars;
}

void GetStringDataFromBuffer(const unsigned char* buffer, unsigned long* cursor, XQSTRING& out) {
    XQFieldReader reader = XQFieldReader::Unbounded(buffer, *cursor);
    reader.ReadString(out);
    *cursor = reader.Cursor();
}

void GetNumberDataFromBuffer(const unsigned char* buffer, unsigned long* cursor,
                             unsigned long* out) {
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

XQSTRING getAString(XQSTRING source, unsigned int& position, unsigned int& tokenCount,
                    int& endFlag) {
    const XQSTRING::size_type from = position;
    XQSTRING::size_type separator =
        from <= source.size() ? source.find(L';', from) : XQSTRING::npos;
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
    unsigned char text[11 * sizeof(wchar_t)];
    const unsigned long len = xqfield::storeNumberText(text, value);
    std::memcpy(out, text, len * sizeof(wchar_t));
    out[len] = L'\0';
    return len;
}

unsigned long NumberTextLength(long value) {
    return xqfield::numberTextLength(value);
}

void CopyStringFieldToBuffer(unsigned char* buffer, unsigned long* cursor, const wchar_t* text,
                             unsigned long chars) {
    xqfield::writeTextField(buffer, *cursor, text, chars);
}

void CopyStringFieldToBuffer(unsigned char* buffer, unsigned long* cursor, const XQSTRING& text) {
    xqfield::writeTextField(buffer, *cursor, text.data(), text.size());
}

void CopyNumberFieldToBuffer(unsigned char* buffer, unsigned long* cursor, long value) {
    xqfield::writeNumberField(buffer, *cursor, value);
}

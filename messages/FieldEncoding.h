#ifndef TCORE_MESSAGES_FIELDENCODING_H
#define TCORE_MESSAGES_FIELDENCODING_H

// The field format of every packed message.
//
// A packed buffer is an array of wchar_t (4 bytes each, host byte order) held
// in an unsigned char buffer; a cursor is a byte offset into it that every
// function advances by a multiple of 4. A field is a length prefix of exactly
// five decimal digits ("%05d", at most 99999) followed by that many
// characters. A number field holds the value as signed 32-bit decimal text
// ("%ld" of the value converted to int32_t), so unsigned values of 2^31 and
// above travel negative and come back as the same bit pattern.
//
// Writers: the caller must have sized the buffer (StringFieldSize,
// NumberFieldSize, the list size functions); nothing here checks room.
// Readers with a plain buffer pointer trust the prefixes and read as far as
// they say: use them only on buffers known to be whole and well formed. Data
// that came from outside the process is read through XQFieldReader
// (messages/XQFieldReader.h), which knows where the buffer ends.
//
// All functions keep no state and may run in any number of threads on
// different buffers. Text longer than 99999 characters is cut to 99999
// without error; at trace level 2 and above a warning line is written to
// standard output without the trace lock.

#include <cstdint>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// Longest data of one field, in characters.
constexpr unsigned long XQ_FIELD_MAX_CHARS = 99999;
// Characters of a field's length prefix, and its bytes.
constexpr unsigned long XQ_FIELD_PREFIX_CHARS = 5;
constexpr unsigned long XQ_FIELD_PREFIX_BYTES = 20;

// Writes the five-digit prefix for length (clamped to 99999) and a
// terminating NUL into out, which must hold 6 characters. Returns the length
// used.
TCORE_EXPORT unsigned int ConvertNumberToLengthSize(unsigned int length, wchar_t* out);

// Writes prefixChars characters of prefix, then dataChars characters of data
// (at most 99999) at the cursor, with the copy rules of wcsncpy: when data
// ends at a NUL before dataChars, the rest of the slot is NUL-filled, so the
// cursor always advances by 4 x (prefix + data characters).
TCORE_EXPORT void CopyDataToBuffer(unsigned char* buffer, unsigned long* cursor,
                                   const wchar_t* prefix, unsigned long prefixChars,
                                   const wchar_t* data, unsigned long dataChars);

// Read one text field / number field at the cursor and advance past it. A
// prefix that is not a number, or is negative, reads as length 0. Text ends
// at the first NUL inside the field; the cursor still skips the whole field.
// GetNumberDataFromBuffer gives the 32-bit pattern as unsigned (-1 reads as
// 4294967295), GetNumberDataFromBufferLong the signed 32-bit value.
TCORE_EXPORT void GetStringDataFromBuffer(const unsigned char* buffer, unsigned long* cursor,
                                          XQSTRING& out);
TCORE_EXPORT void GetNumberDataFromBuffer(const unsigned char* buffer, unsigned long* cursor,
                                          unsigned long* out);
TCORE_EXPORT void GetNumberDataFromBufferLong(const unsigned char* buffer, unsigned long* cursor,
                                              long* out);

// The text of count characters at position, up to the first NUL among them.
TCORE_EXPORT XQSTRING GetStringData(const unsigned char* position, unsigned long count);

// count characters at position parsed as wcstol does in base 10: leading
// white space skipped, an optional sign, digits up to the first other
// character; no digits gives 0.
TCORE_EXPORT long ConvertStringToNumber(const unsigned char* position, unsigned long count);
TCORE_EXPORT long ConvertStringToNumberLong(const unsigned char* position, unsigned long count);

// Next token of a ";"-separated list, starting at position. A non-empty
// token advances position past its separator (to 0 after the last token) and
// counts it; when no separator follows, endFlag becomes 1. An empty token
// returns an empty string and leaves position and count alone: a caller
// walking a list steps over it itself.
TCORE_EXPORT XQSTRING getAString(XQSTRING source, unsigned int& position, unsigned int& tokenCount,
                                 int& endFlag);

// ---- Field writers and sizes built on the same format ----

// Characters of the "%ld" text of value converted to int32_t (1 to 11).
TCORE_EXPORT unsigned long NumberTextLength(long value);
// Writes the "%ld" text of value converted to int32_t into out (room for 12
// characters, NUL-terminated); returns its length.
TCORE_EXPORT unsigned long FormatFieldNumber(long value, wchar_t* out);

// Bytes a field takes: 20 + 4 x characters. Text is counted whole even when
// longer than 99999 characters, so the size is then an upper bound.
inline unsigned long StringFieldSize(const XQSTRING& text) {
    return XQ_FIELD_PREFIX_BYTES + 4 * text.size();
}
inline unsigned long NumberFieldSize(long value) {
    return XQ_FIELD_PREFIX_BYTES + 4 * NumberTextLength(value);
}

// One text field / one number field at the cursor, as ConvertNumberToLengthSize
// and CopyDataToBuffer would write it, without a scratch string per field.
TCORE_EXPORT void CopyStringFieldToBuffer(unsigned char* buffer, unsigned long* cursor,
                                          const XQSTRING& text);
TCORE_EXPORT void CopyStringFieldToBuffer(unsigned char* buffer, unsigned long* cursor,
                                          const wchar_t* text, unsigned long chars);
TCORE_EXPORT void CopyNumberFieldToBuffer(unsigned char* buffer, unsigned long* cursor, long value);

#endif

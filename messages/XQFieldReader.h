#ifndef TCORE_MESSAGES_XQFIELDREADER_H
#define TCORE_MESSAGES_XQFIELDREADER_H

#include "foundation/Export.h"
#include "foundation/XQString.h"

// Reads the fields of a packed buffer (messages/FieldEncoding.h) without ever
// leaving it.
//
// The reader is given the buffer and its size in bytes (for a received
// message: the bytes the transport delivered, or the message's announced
// total size when that is smaller). Every read checks that the whole item
// lies inside [0, size) before it touches a byte. A read that would pass the
// end yields an empty text or 0, moves the cursor to the end and sets
// overrun(); every later read then yields empty or 0 as well. Nothing is
// thrown and nothing is allocated beyond what the bytes present can hold: a
// text takes at most its field's characters, and the list readers refuse a
// count that the remaining bytes cannot hold (see fits()).
//
// A prefix or number that is not a number, or a negative length prefix,
// reads as 0 (only the 20 prefix bytes are consumed).
//
// The end is the last whole character: a size that is not a multiple of 4
// leaves its last 1 to 3 bytes unread. The cursor is a byte offset as in the
// free functions; the buffer may have any alignment.
//
// A reader is a small value; it does not own the buffer, which must outlive
// it. One thread at a time.
//
// Unpacking a received message, for example:
//   XQFieldReader reader(buffer, receivedBytes);
//   reader.ReadChars(10, eyeCatcher);               // fixed-width head items
//   long total = reader.ReadCharsAsNumber(10);
//   MessageID = reader.ReadNumber();                // number field
//   reader.ReadString(ReleaseLevel);                // text field
//   GetColAttrListFromBuffer(ColAttrList, reader);  // lists (ListEncoding.h)
//   if (reader.Overrun()) ...                       // the message was cut short
class TCORE_EXPORT XQFieldReader {
  public:
    // Reads buffer[0, size) from byte offset cursor. A cursor beyond the end
    // starts the reader at the end, in the overrun state.
    XQFieldReader(const unsigned char* buffer, unsigned long size, unsigned long cursor = 0);

    // A reader without a known end, for the free functions of the field
    // format that take a bare buffer pointer: it trusts the prefixes and the
    // counts. Only for buffers known to be whole and well formed.
    static XQFieldReader Unbounded(const unsigned char* buffer, unsigned long cursor = 0);

    // One text field into out (replacing its contents; its capacity is
    // reused). The text ends at the first NUL inside the field.
    void ReadString(XQSTRING& out);
    XQSTRING ReadString();
    // One number field: the 32-bit pattern as unsigned (-1 reads as
    // 4294967295), or the signed 32-bit value.
    unsigned long ReadNumber();
    long ReadNumberLong();

    // Fixed-width items without a prefix (the head of a message): chars
    // characters as text (up to the first NUL among them), or parsed as a
    // number like ConvertStringToNumber (the full long result, not cut to 32
    // bits). Reading 0 characters reads nothing and always succeeds.
    void ReadChars(unsigned long chars, XQSTRING& out);
    long ReadCharsAsNumber(unsigned long chars);
    // Steps over bytes (rounded up to whole characters).
    void Skip(unsigned long bytes);

    // True when count items of at least bytesEach bytes each can still lie
    // in the buffer (always for an unbounded reader). The list readers call
    // it before they allocate.
    bool Fits(unsigned long count, unsigned long bytesEach) const;
    // Gives up on the rest of the buffer: cursor to the end, overrun set.
    // For callers that find the data inconsistent (a list count the bytes
    // cannot hold).
    void MarkOverrun();

    unsigned long Cursor() const { return cursor_; }
    // The end: the size rounded down to whole characters.
    unsigned long End() const { return end_; }
    unsigned long Remaining() const { return end_ - cursor_; }
    bool Overrun() const { return overrun_; }
    bool Bounded() const { return bounded_; }
    const unsigned char* Buffer() const { return buffer_; }

  private:
    // The library's own list decoders read through it without a call per field.
    friend struct XQFieldReaderAccess;

    const unsigned char* buffer_;
    unsigned long end_;
    unsigned long cursor_;
    bool overrun_;
    bool bounded_;
};

#endif

#ifndef TCORE_FUZZ_ENCODINGFUZZDECODE_H
#define TCORE_FUZZ_ENCODINGFUZZDECODE_H

#include <cstddef>
#include <string>

// Decodes list encodings from arbitrary bytes through XQFieldReader and checks
// what was read. Shared by the libFuzzer target and the corpus replay test.
//
// Input: byte 0 chooses the form and the list kind, bytes 1 to 4 are the row
// count handed to the result-set reader (int32, little-endian), the rest is
// the payload.
//   byte 0 bit 0 = 0: each payload byte is one character (so "00001" is
//                     five bytes of text); = 1: the payload is packed
//                     4-byte characters as they are (any alignment).
//   (byte 0 >> 1) % 17: 0 PrimaryKey, 1 ForeignKey, 2 Data (XQAttributeData),
//                     3 Table, 4 DPTable, 5 ColAttr, 6 CfgParm, 7 CaptureSchema,
//                     8 ResultSet, 9 RfcFieldDesc, 10 RfcStElemDesc,
//                     11 BapiParam, 12 BOBapi, 13 BONode, 14 BOName, 15 LPZData,
//                     16 all sixteen one after the other from one reader.
// Checks: the reader never passes its end; a list read with an overrun is
// empty; what was read re-encodes to exactly its computed size (within the
// bound for capture schemas) and reads back to the same bytes, through the
// bounded and the unchecked reader, into a list that already holds elements.
//
// Returns an empty string when every check holds, otherwise what failed.
std::string DecodeEncodingFuzzInput(const unsigned char* data, std::size_t size);

#endif

#ifndef TCORE_FUZZ_MESSAGEFUZZDECODE_H
#define TCORE_FUZZ_MESSAGEFUZZDECODE_H

#include <cstddef>
#include <string>

// Unpacks a message of one of the four kinds from arbitrary bytes and checks
// the result. Shared by the libFuzzer target and the corpus replay test.
//
// Input: byte 0 chooses the kind and the form, the rest is the payload.
//   byte 0 % 4:      0 base, 1 agent, 2 kernel, 3 log message.
//   byte 0 bit 2 = 0: each payload byte is one character (so a message can be
//                     written as text); = 1: the payload is packed 4-byte
//                     characters as they are (any alignment).
// Checks: unpacking never reads outside the payload (the sanitizers watch);
// its result is success, 9146 or 9149; the queue's check (announced size
// within the bytes) admits the unbounded unpack too, with the same result;
// a message that unpacked is printed, packed again, and packing what that
// unpacks to gives the same bytes.
//
// A payload may ask for the diagnostic dump: DebugFlags is cleared before
// the message is packed again, but the unpack itself may append to
// "ORV2LOGC.LOG" in the current directory, so callers run in a scratch
// directory.
//
// Returns an empty string when every check holds, otherwise what failed.
std::string DecodeMessageFuzzInput(const unsigned char* data, std::size_t size);

#endif

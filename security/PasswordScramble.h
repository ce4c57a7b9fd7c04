#ifndef TCORE_SECURITY_PASSWORDSCRAMBLE_H
#define TCORE_SECURITY_PASSWORDSCRAMBLE_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQRC.h"

// Scrambling of stored passwords: the password as little-endian UCS-2 with a
// two-byte zero terminator, DES-CBC under a key and chaining value fixed in
// the library (see security/DesCipher.h for the cipher and the partial-block
// rule). This keeps a password out of plain sight; it does not protect it
// from anyone who has the library.
//
// The locale is set from the environment on first use (mySetlocale); a
// password must consist of characters the locale can express.

// Turns the wide, zero-terminated text in buffer (*length bytes, normally
// (n + 1) * 4 for n characters) into little-endian UCS-2 in place and sets
// *length to its byte count, 2n + 2 (text and terminator). A failed
// conversion (8461, 8462) is returned and leaves the buffer untouched.
// REQUIRES: buffer holds *length bytes, *length a multiple of 4.
TCORE_EXPORT XQRC preprocessencstring(unsigned long* length, char* buffer);

// The reverse: little-endian UCS-2 of *length bytes back to wide characters
// up to the first zero unit, the rest of the buffer cleared; *length becomes
// (*length / 2) * 4. A failed conversion (8461, 8463) is returned and leaves
// the buffer as it was.
// REQUIRES: buffer holds (*length / 2 + 1) * 4 bytes.
TCORE_EXPORT XQRC postprocessencstring(unsigned long* length, char* buffer);

// The scrambled bytes of password (2n + 2 bytes for n characters).
TCORE_EXPORT XQRC scramblePassword(const XQSTRING& password, std::vector<unsigned char>& scrambled);
// The password back from its scrambled bytes.
TCORE_EXPORT XQRC unscramblePassword(const std::vector<unsigned char>& scrambled, XQSTRING& password);

// The library's fixed 8-byte key and initial chaining value. Another
// installation's passwords can only be read with that installation's values.
TCORE_EXPORT const unsigned char* xqPasswordKey();
TCORE_EXPORT const unsigned char* xqPasswordChain();

#endif

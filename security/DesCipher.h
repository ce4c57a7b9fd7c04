#ifndef TCORE_SECURITY_DESCIPHER_H
#define TCORE_SECURITY_DESCIPHER_H

#include "foundation/Export.h"

// DES (FIPS 46) for the scrambling of stored passwords. Every 32-bit value
// is held in an unsigned long; only its low 32 bits are used.
//
// The key table of initktab has 64 words: 0..31 the sixteen round keys in
// encryption order (two 24-bit words per round, S-boxes 1-4 then 5-8),
// 32..63 the same round keys in decryption order.

// Builds the key table from an 8-byte key (parity bits ignored).
// REQUIRES: ktab holds 64 words.
TCORE_EXPORT void initktab(const unsigned char key[8], unsigned long ktab[64]);

// Enciphers (encrypt != 0) or deciphers (encrypt == 0) length bytes of buffer
// in place: CBC over the full 8-byte blocks with chain as the initial value;
// a last partial block of r bytes is XORed with the first r bytes of the
// DES encipherment of the last full ciphertext block (of chain when there is
// none). The output has the input's length. Blocks are read as big-endian
// words, so the bytes are the same on every host. Only the first length
// bytes are touched.
TCORE_EXPORT void encstring(int encrypt, const unsigned long* ktab, const unsigned char chain[8],
                            unsigned long length, unsigned char* buffer);

// Exchanges the two bytes of every 2-byte unit in the first length bytes
// (a trailing odd byte is left alone).
TCORE_EXPORT void swapbytes(unsigned long length, char* buffer);
// 1 on a little-endian host, else 0.
TCORE_EXPORT int is_swap();
// The four low bytes of word in reverse order.
TCORE_EXPORT unsigned long reverse_order(unsigned long word);

#endif

#ifndef TCORE_FOUNDATION_CONVERSIONKERNELS_H
#define TCORE_FOUNDATION_CONVERSIONKERNELS_H

#include <cstddef>

// The direct conversions between wchar_t and big-endian UCS-2 used in UTF-8
// and ASCII locales. Internal to the library.
namespace tcore_conv {

enum class Stop { End, Nul, Unusual };

// Converts wide characters to big-endian UCS-2 until the first NUL (Stop::Nul),
// the first character outside 1..0xFFFF without surrogates (1..0x7F when
// `ascii`) (Stop::Unusual), or the end (Stop::End). `done` receives the count
// of characters converted; out receives 2 * done bytes. out may equal in.
Stop wideToUcs2(const wchar_t* in, size_t n, unsigned char* out, bool ascii, size_t& done);

// Undoes an in-place wideToUcs2 of `count` characters.
void restoreWide(unsigned char* buffer, size_t count);

// Converts n big-endian UCS-2 units to wide characters: the text up to the
// first NUL unit, then zeros. Returns false when any unit is a surrogate
// (any unit from 0x80 up when `ascii`); nonAscii counts units from 0x80 up.
// out must not overlap in.
bool ucs2ToWide(const unsigned char* in, size_t n, wchar_t* out, bool ascii, size_t& nonAscii);

}  // namespace tcore_conv

#endif

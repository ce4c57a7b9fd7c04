#ifndef TCORE_FOUNDATION_CONVERSION_H
#define TCORE_FOUNDATION_CONVERSION_H

#include <iconv.h>

#include "foundation/Export.h"
#include "foundation/XQRC.h"

// Conversion of packed message buffers between wide characters (wchar_t, host
// order) and the wire form, big-endian UCS-2 without a byte-order mark, through
// the locale's multibyte code set and UTF-8.
//
// Thread-safety: the conversion descriptors are per thread (opened on the
// thread's first conversion, closed when it ends), so conversions on several
// threads never share iconv state. The locale's code-set name is asked once
// per process, on the first conversion or setConvDesc() of any thread; the
// process locale is set from the environment at that moment
// (setlocale(LC_ALL, "")).

// Bytes a GetIconvCodeset buffer must hold, terminator included. A value of
// XQA_LOCALE_TABLE that does not fit is refused.
const unsigned int XQ_CODESET_NAME_MAX = 256;

// The locale's code-set name as the C library reports it (nl_langinfo(CODESET)),
// or "-" until it has been asked. Written once; never freed.
extern TCORE_EXPORT const char* currentCCSID;

// Converts, in place, `length` bytes of wide characters (a packed message) to
// big-endian UCS-2: the text up to the first NUL character, starting at the
// eye catcher, then zero bytes up to `length`. Errors: 8461 (descriptors or
// code set unavailable, or a character the wire cannot carry), 8462 (a
// character the locale cannot express), each with method name
// "VCAUTIL::ConvertWideToUnicode".
// REQUIRES: buffer holds `length` bytes.
TCORE_EXPORT XQRC ConvertWideToUnicode(wchar_t* buffer, unsigned int length);

// Converts `length` bytes of big-endian UCS-2 to wide characters. On success
// the caller's buffer has been freed (free()) and replaced by a new one
// (malloc(), owned and freed with free() by the caller) of 2 * length + 4
// bytes, and `length` has been doubled. On failure buffer and length are
// unchanged. Errors: 8461, 8463, method name "VCAUTIL::ConvertUnicodeToWide".
// REQUIRES: buffer was allocated with malloc() and holds `length` bytes.
TCORE_EXPORT XQRC ConvertUnicodeToWide(unsigned char*& buffer, int& length);

// Opens the calling thread's four descriptors (locale -> UTF-8, UCS-2 ->
// UTF-8, UTF-8 -> locale, UTF-8 -> UCS-2). Returns 1 when all four are open,
// else 0 (those opened stay open).
TCORE_EXPORT int setConvDesc();

// Translates a code-set name of the C library into the name iconv accepts,
// through the fixed table, then the table's iconv names, then the variable
// XQA_LOCALE_TABLE. Returns 1 and rewrites `codeset` on success, else 0.
// REQUIRES: codeset is NUL-terminated and holds XQ_CODESET_NAME_MAX bytes.
TCORE_EXPORT int GetIconvCodeset(char* codeset);

// Two-stage conversion: `cd` from the input to UTF-8, then, unless `target`
// is "UTF-8", from UTF-8 to "UCS-2" (when target names it) or to the locale's
// code set, with the calling thread's descriptors. Lengths are in bytes and
// are updated as iconv updates them. Returns 0, or -1 on failure.
// REQUIRES: setConvDesc() returned 1 on this thread; out holds outLength
// bytes plus room for a terminator (2 bytes).
TCORE_EXPORT int iconv_sun(iconv_t cd, char* in, unsigned int& inLength, char* out, unsigned int& outLength,
                           const char* target);

// The first call runs setlocale(category, locale) and keeps its result; every
// later call returns the kept result and changes nothing. Thread-safe.
TCORE_EXPORT const char* mySetlocale(int category, const char* locale);

// Selects whether conversions may take the direct path between wchar_t and
// UCS-2 in UTF-8 and ASCII locales below trace level 5 (on by default). Its
// outcomes equal those of the staged path; the switch exists so that tests
// and benchmarks can compare the two.
TCORE_EXPORT void xqSetConversionFastPath(bool allowed);

#endif

#ifndef TCORE_FOUNDATION_XQSTRING_H
#define TCORE_FOUNDATION_XQSTRING_H

#include <string>

#include "foundation/Export.h"

// All text inside the library is wide-character text, one wchar_t (4 bytes)
// per character.
typedef std::wstring XQSTRING;

// Case-insensitive search (towupper per character). Returns npos when absent.
TCORE_EXPORT std::wstring::size_type xqFindNoCase(const XQSTRING& haystack, const XQSTRING& needle,
                                                  std::wstring::size_type from = 0);
// Case-insensitive comparison: <0, 0, >0 like wcscmp.
TCORE_EXPORT int xqCompareNoCase(const XQSTRING& a, const XQSTRING& b);
// Upper-case copy.
TCORE_EXPORT XQSTRING xqToUpper(const XQSTRING& s);
// Replaces count characters at pos with text (clamped to the string).
TCORE_EXPORT void xqReplaceRange(XQSTRING& s, std::wstring::size_type pos, std::wstring::size_type count,
                                 const XQSTRING& text);

// Conversion to and from the locale's multibyte form (wcsrtombs/mbsrtowcs in
// the current locale). A character the locale cannot express becomes '?';
// an invalid multibyte sequence becomes U+FFFD.
TCORE_EXPORT std::string xqToMultibyte(const XQSTRING& s);
TCORE_EXPORT XQSTRING xqFromMultibyte(const std::string& s);

// Decimal text of a number as the wide format "%ld" gives it.
TCORE_EXPORT XQSTRING xqNumber(long value);

#endif

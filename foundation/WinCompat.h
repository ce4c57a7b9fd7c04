#ifndef TCORE_FOUNDATION_WINCOMPAT_H
#define TCORE_FOUNDATION_WINCOMPAT_H

#include <cstdio>

#include "foundation/Export.h"
#include "foundation/ProcessInfo.h"
#include "foundation/XQString.h"

// Unix equivalents of the C-library functions the code calls by their Windows
// names. Paths given as XQSTRING are converted to the locale's multibyte form.
// GetCommandLine() lives in foundation/ProcessInfo.h.

// Sets every character of s, up to its terminator, to c. Returns s.
TCORE_EXPORT wchar_t* _tcsset(wchar_t* s, wchar_t c);

// Formats the one value with the wide format (converted to multibyte) into
// out. Returns the count of characters written, or the negative result of a
// failed conversion of the format.
// REQUIRES: out has room for the formatted text and its terminator.
TCORE_EXPORT int _stprintf(wchar_t* out, const wchar_t* format, long value);

// The current local time as "hh:mm:ss". Returns out.
// REQUIRES: out holds 9 bytes.
TCORE_EXPORT char* _strtime(char* out);

// The current UTC date as "mm/dd/yy". Returns out.
// REQUIRES: out holds 9 bytes.
TCORE_EXPORT char* _strdate(char* out);

// The size in bytes of the open file, or -1 when fstat fails.
TCORE_EXPORT long _filelength(int fd);

// fopen of "/var/ORV/" followed by name. The caller closes the result.
TCORE_EXPORT FILE* __Fopen(const char* name, const char* mode);

// The current directory as multibyte text in buffer (size bytes), or null
// when it does not fit or cannot be read.
TCORE_EXPORT unsigned short* _wgetcwd(unsigned short* buffer, int size);

// open / remove / fopen of the multibyte form of path. mode is the creation
// mode when flags hold O_CREAT. The caller closes what they return.
TCORE_EXPORT int _wopen(XQSTRING path, int flags, int mode = 0666);
TCORE_EXPORT int _wremove(XQSTRING path);
TCORE_EXPORT FILE* _wfopen(XQSTRING path, const char* mode);

#endif

#ifndef TCORE_FOUNDATION_PROCESSINFO_H
#define TCORE_FOUNDATION_PROCESSINFO_H

#include "foundation/Export.h"
#include "foundation/XQString.h"

// The program's command line as return codes record it: the environment
// variable EXEC_NAME, empty when unset.
TCORE_EXPORT XQSTRING GetCommandLine();

// This host's name, looked up once per process and cached: NVHOSTNAME when
// set (at most 254 characters kept), else gethostname. Returns 0, or the
// errno of a failed gethostname (nothing is cached then). Thread-safe.
TCORE_EXPORT int xqLocalHostName(XQSTRING& name);

#endif

#ifndef TCORE_FOUNDATION_XQCODES_H
#define TCORE_FOUNDATION_XQCODES_H

#include <vector>

#include "foundation/Export.h"

// Every return code the library defines, ascending. Each has a text in the
// message catalogue "ql7orx.mo"; a code added to the library is added here
// and to catalogue/ql7orx.po.
TCORE_EXPORT const std::vector<int>& xqLibraryCodes();

// The socket error numbers (ENOTSOCK, 88, and up) that socket failures carry as their
// secondary code in the domain Sockets; the catalogue has a text for each.
TCORE_EXPORT const std::vector<int>& xqSocketErrorCodes();

#endif

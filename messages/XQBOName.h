#ifndef TCORE_MESSAGES_XQBONAME_H
#define TCORE_MESSAGES_XQBONAME_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One business-object name with a list of names that belong to it.
// On the wire: Text1, Text2, then StringList (a count and one text each).
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Text2 only.
class TCORE_EXPORT XQBOName {
  public:
    bool operator==(const XQBOName& other) const;
    bool operator!=(const XQBOName& other) const { return !(*this == other); }

    std::vector<XQSTRING> StringList;
    XQSTRING Text1;
    XQSTRING Text2;
};

typedef std::vector<XQBOName> XQBONameList;

#endif

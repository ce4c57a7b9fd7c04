#ifndef TCORE_MESSAGES_XQLPZDATA_H
#define TCORE_MESSAGES_XQLPZDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One site-analysis import description.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Number1, Number2, Text2 only.
class TCORE_EXPORT XQLPZData {
  public:
    bool operator==(const XQLPZData& other) const;
    bool operator!=(const XQLPZData& other) const { return !(*this == other); }

    XQSTRING Text1;
    int Number1 = 0;
    int Number2 = 0;
    XQSTRING Text2;
};

typedef std::vector<XQLPZData> XQLPZDataList;

#endif

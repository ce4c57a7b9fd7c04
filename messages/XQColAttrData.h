#ifndef TCORE_MESSAGES_XQCOLATTRDATA_H
#define TCORE_MESSAGES_XQCOLATTRDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// The description of one column of a result set.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Number1, Number2 only.
class TCORE_EXPORT XQColAttrData {
  public:
    bool operator==(const XQColAttrData& other) const;
    bool operator!=(const XQColAttrData& other) const { return !(*this == other); }

    XQSTRING Text1;
    int Number1 = 0;
    int Number2 = 0;
};

typedef std::vector<XQColAttrData> XQColAttrDataList;

#endif

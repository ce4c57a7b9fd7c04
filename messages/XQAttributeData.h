#ifndef TCORE_MESSAGES_XQATTRIBUTEDATA_H
#define TCORE_MESSAGES_XQATTRIBUTEDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// The description of one column (attribute) of a table.
// On the wire the numbers travel as Number1, Number3, Number4, Number5,
// Number2, Number6 between Text3 and Text4, and Number7 last.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Text2, Text3, Number1, Text4,
// Number7 only.
class TCORE_EXPORT XQAttributeData {
  public:
    bool operator==(const XQAttributeData& other) const;
    bool operator!=(const XQAttributeData& other) const { return !(*this == other); }

    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
    int Number1 = 0;
    int Number2 = 0;
    int Number3 = 0;
    int Number4 = 0;
    int Number5 = 0;
    int Number6 = 0;
    XQSTRING Text4;
    int Number7 = 0;
};

typedef std::vector<XQAttributeData> XQAttributeDataList;

#endif

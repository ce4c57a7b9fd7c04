#ifndef TCORE_MESSAGES_XQPRIMARYKEYDATA_H
#define TCORE_MESSAGES_XQPRIMARYKEYDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One primary-key column of a table.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text4, Text6, Text7, Text8 only.
class TCORE_EXPORT XQPrimaryKeyData {
  public:
    bool operator==(const XQPrimaryKeyData& other) const;
    bool operator!=(const XQPrimaryKeyData& other) const { return !(*this == other); }

    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
    XQSTRING Text4;
    XQSTRING Text5;
    XQSTRING Text6;
    XQSTRING Text7;
    int Number1 = 0;
    XQSTRING Text8;
};

typedef std::vector<XQPrimaryKeyData> XQPrimaryKeyDataList;

#endif

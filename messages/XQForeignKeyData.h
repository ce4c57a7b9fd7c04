#ifndef TCORE_MESSAGES_XQFOREIGNKEYDATA_H
#define TCORE_MESSAGES_XQFOREIGNKEYDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One foreign-key column pair of two tables.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text11, Text12, Text13, Text14, Text17
// only.
class TCORE_EXPORT XQForeignKeyData {
  public:
    bool operator==(const XQForeignKeyData& other) const;
    bool operator!=(const XQForeignKeyData& other) const { return !(*this == other); }

    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
    XQSTRING Text4;
    XQSTRING Text5;
    XQSTRING Text6;
    XQSTRING Text7;
    XQSTRING Text8;
    XQSTRING Text9;
    XQSTRING Text10;
    XQSTRING Text11;
    XQSTRING Text12;
    XQSTRING Text13;
    XQSTRING Text14;
    int Number1 = 0;
    XQSTRING Text15;
    XQSTRING Text16;
    XQSTRING Text17;
    XQSTRING Text18;
};

typedef std::vector<XQForeignKeyData> XQForeignKeyDataList;

#endif

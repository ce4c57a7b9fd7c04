#ifndef TCORE_MESSAGES_XQTABLENAMEDATA_H
#define TCORE_MESSAGES_XQTABLENAMEDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One table of a source or target database.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// It has no operator==: lists of it are never searched.
class TCORE_EXPORT XQTableNameData {
  public:
    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
    XQSTRING Text4;
    int Number1 = 0;
    XQSTRING Text5;
};

typedef std::vector<XQTableNameData> XQTableNameDataList;

#endif

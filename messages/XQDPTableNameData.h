#ifndef TCORE_MESSAGES_XQDPTABLENAMEDATA_H
#define TCORE_MESSAGES_XQDPTABLENAMEDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One table of a data-propagation source.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// It has no operator==: lists of it are never searched.
class TCORE_EXPORT XQDPTableNameData {
  public:
    XQSTRING Text1;
    XQSTRING Text2;
    int Number1 = 0;
    XQSTRING Text3;
    XQSTRING Text4;
    XQSTRING Text5;
    int Number2 = 0;
    XQSTRING Text6;
    XQSTRING Text7;
    XQSTRING Text8;
};

typedef std::vector<XQDPTableNameData> XQDPTableNameDataList;

#endif

#ifndef TCORE_MESSAGES_XQBOBAPI_H
#define TCORE_MESSAGES_XQBOBAPI_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"
#include "messages/XQBapiParam.h"

// One BAPI method of a business object, with its parameters.
// On the wire: Text1, Text2, Text3, Number1, Text4, Text5, Text6, then
// BapiParamList.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Text2, Number1, Text4, Text5,
// Text6 only.
class TCORE_EXPORT XQBOBapi {
  public:
    bool operator==(const XQBOBapi& other) const;
    bool operator!=(const XQBOBapi& other) const { return !(*this == other); }

    XQBapiParamList BapiParamList;
    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
    int Number1 = 0;
    XQSTRING Text4;
    XQSTRING Text5;
    XQSTRING Text6;
};

typedef std::vector<XQBOBapi> XQBOBapiList;

#endif

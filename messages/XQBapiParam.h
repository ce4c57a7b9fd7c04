#ifndef TCORE_MESSAGES_XQBAPIPARAM_H
#define TCORE_MESSAGES_XQBAPIPARAM_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"
#include "messages/XQRfcFieldDesc.h"
#include "messages/XQRfcStElemDesc.h"

// One parameter of a BAPI, with its RFC fields and structure elements.
// On the wire: Text1 to Text3, Number1 to Number4, Text4 to Text7, then
// RfcFieldDescList, then RfcStElemDescList.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Text2, Text3, Number1, Number2,
// Number3, Number4, Text4 only.
class TCORE_EXPORT XQBapiParam {
  public:
    bool operator==(const XQBapiParam& other) const;
    bool operator!=(const XQBapiParam& other) const { return !(*this == other); }

    XQRfcFieldDescList RfcFieldDescList;
    XQRfcStElemDescList RfcStElemDescList;
    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
    int Number1 = 0;
    int Number2 = 0;
    int Number3 = 0;
    int Number4 = 0;
    XQSTRING Text4;
    XQSTRING Text5;
    XQSTRING Text6;
    XQSTRING Text7;
};

typedef std::vector<XQBapiParam> XQBapiParamList;

#endif

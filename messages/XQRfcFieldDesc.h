#ifndef TCORE_MESSAGES_XQRFCFIELDDESC_H
#define TCORE_MESSAGES_XQRFCFIELDDESC_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// The description of one RFC field.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Number1, Number2, Text1 only.
class TCORE_EXPORT XQRfcFieldDesc {
  public:
    bool operator==(const XQRfcFieldDesc& other) const;
    bool operator!=(const XQRfcFieldDesc& other) const { return !(*this == other); }

    int Number1 = 0;
    int Number2 = 0;
    int Number3 = 0;
    int Number4 = 0;
    int Number5 = 0;
    XQSTRING Text1;
    XQSTRING Text2;
    int Number6 = 0;
};

typedef std::vector<XQRfcFieldDesc> XQRfcFieldDescList;

#endif

#ifndef TCORE_MESSAGES_XQRFCSTELEMDESC_H
#define TCORE_MESSAGES_XQRFCSTELEMDESC_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"
#include "messages/XQRfcFieldDesc.h"

// One element of an RFC structure, with the descriptions of its fields.
// On the wire: Text1, Text2, then RfcFieldDescList.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Text2 only.
class TCORE_EXPORT XQRfcStElemDesc {
  public:
    bool operator==(const XQRfcStElemDesc& other) const;
    bool operator!=(const XQRfcStElemDesc& other) const { return !(*this == other); }

    XQRfcFieldDescList RfcFieldDescList;
    XQSTRING Text1;
    XQSTRING Text2;
};

typedef std::vector<XQRfcStElemDesc> XQRfcStElemDescList;

#endif

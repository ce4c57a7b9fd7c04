#ifndef TCORE_MESSAGES_XQCFGPARM_H
#define TCORE_MESSAGES_XQCFGPARM_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One configuration parameter.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Text2, Text3, Text4, Number1
// only.
class TCORE_EXPORT XQCfgParm {
  public:
    bool operator==(const XQCfgParm& other) const;
    bool operator!=(const XQCfgParm& other) const { return !(*this == other); }

    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
    XQSTRING Text4;
    int Number1 = 0;
};

typedef std::vector<XQCfgParm> XQCfgParmList;

#endif

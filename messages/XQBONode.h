#ifndef TCORE_MESSAGES_XQBONODE_H
#define TCORE_MESSAGES_XQBONODE_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"
#include "messages/XQBOBapi.h"
#include "messages/XQBapiParam.h"

// One business object: its own BAPI parameters and its BAPIs.
// On the wire: Text1, Text2, Text3, then BapiParamList, then BOBapiList.
// A value record carried in message lists; the library only carries its
// members. Numbers are 32-bit and travel as number fields.
// operator== compares the key members Text1, Text2 only.
class TCORE_EXPORT XQBONode {
  public:
    bool operator==(const XQBONode& other) const;
    bool operator!=(const XQBONode& other) const { return !(*this == other); }

    XQBapiParamList BapiParamList;
    XQBOBapiList BOBapiList;
    XQSTRING Text1;
    XQSTRING Text2;
    XQSTRING Text3;
};

typedef std::vector<XQBONode> XQBONodeList;

#endif

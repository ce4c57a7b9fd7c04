#include "messages/XQColAttrData.h"

bool XQColAttrData::operator==(const XQColAttrData& other) const {
    return Text1 == other.Text1 && Number1 == other.Number1 && Number2 == other.Number2;
}

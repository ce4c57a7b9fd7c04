#include "messages/XQAttributeData.h"

bool XQAttributeData::operator==(const XQAttributeData& other) const {
    return Text1 == other.Text1 && Text2 == other.Text2 && Text3 == other.Text3 &&
           Number1 == other.Number1 && Text4 == other.Text4 && Number7 == other.Number7;
}

#include "messages/XQLPZData.h"

bool XQLPZData::operator==(const XQLPZData& other) const {
    return Text1 == other.Text1 && Number1 == other.Number1 && Number2 == other.Number2 &&
           Text2 == other.Text2;
}

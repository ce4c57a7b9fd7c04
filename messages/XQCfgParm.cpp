#include "messages/XQCfgParm.h"

bool XQCfgParm::operator==(const XQCfgParm& other) const {
    return Text1 == other.Text1 && Text2 == other.Text2 && Text3 == other.Text3 &&
           Text4 == other.Text4 && Number1 == other.Number1;
}

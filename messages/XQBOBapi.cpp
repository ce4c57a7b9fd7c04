#include "messages/XQBOBapi.h"

bool XQBOBapi::operator==(const XQBOBapi& other) const {
    return Text1 == other.Text1 && Text2 == other.Text2 && Number1 == other.Number1 &&
           Text4 == other.Text4 && Text5 == other.Text5 && Text6 == other.Text6;
}

#include "messages/XQBOName.h"

bool XQBOName::operator==(const XQBOName& other) const {
    return Text1 == other.Text1 && Text2 == other.Text2;
}

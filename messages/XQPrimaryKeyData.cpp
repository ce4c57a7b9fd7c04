#include "messages/XQPrimaryKeyData.h"

bool XQPrimaryKeyData::operator==(const XQPrimaryKeyData& other) const {
    return Text4 == other.Text4 && Text6 == other.Text6 && Text7 == other.Text7 &&
           Text8 == other.Text8;
}

#include "messages/XQRfcFieldDesc.h"

bool XQRfcFieldDesc::operator==(const XQRfcFieldDesc& other) const {
    return Number1 == other.Number1 && Number2 == other.Number2 && Text1 == other.Text1;
}

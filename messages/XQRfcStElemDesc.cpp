#include "messages/XQRfcStElemDesc.h"

bool XQRfcStElemDesc::operator==(const XQRfcStElemDesc& other) const {
    return Text1 == other.Text1 && Text2 == other.Text2;
}

#include "messages/XQBapiParam.h"

bool XQBapiParam::operator==(const XQBapiParam& other) const {
    return Text1 == other.Text1 && Text2 == other.Text2 && Text3 == other.Text3 &&
           Number1 == other.Number1 && Number2 == other.Number2 && Number3 == other.Number3 &&
           Number4 == other.Number4 && Text4 == other.Text4;
}

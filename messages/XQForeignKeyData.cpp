#include "messages/XQForeignKeyData.h"

bool XQForeignKeyData::operator==(const XQForeignKeyData& other) const {
    return Text11 == other.Text11 && Text12 == other.Text12 && Text13 == other.Text13 &&
           Text14 == other.Text14 && Text17 == other.Text17;
}

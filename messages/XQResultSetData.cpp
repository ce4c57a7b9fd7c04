#include "messages/XQResultSetData.h"

unsigned long XQResultSetData::Size() const {
    unsigned long total = 0;
    for (const XQSTRING& value : *this) total += value.size();
    return total;
}

bool XQResultSetData::operator==(const XQResultSetData& other) const {
    return static_cast<const std::vector<XQSTRING>&>(*this) ==
           static_cast<const std::vector<XQSTRING>&>(other);
}

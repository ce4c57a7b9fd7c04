#ifndef TCORE_MESSAGES_XQRESULTSETDATA_H
#define TCORE_MESSAGES_XQRESULTSETDATA_H

#include <vector>

#include "foundation/Export.h"
#include "foundation/XQString.h"

// One row of a result set: the values of its columns as texts, in column
// order. It is an ordered list of texts and is used as one (push_back,
// size(), operator[] ...). All rows of one result set are meant to have the
// same number of values; the encoder writes as many values per row as the
// first row has.
class TCORE_EXPORT XQResultSetData : public std::vector<XQSTRING> {
  public:
    using std::vector<XQSTRING>::vector;
    XQResultSetData() = default;

    // The sum of the character lengths of all values (not their count).
    unsigned long Size() const;

    // Same number of values, equal position by position.
    bool operator==(const XQResultSetData& other) const;
    bool operator!=(const XQResultSetData& other) const { return !(*this == other); }
};

typedef std::vector<XQResultSetData> XQResultSetDataList;

#endif

#ifndef TCORE_TOOLS_SUPPORT_TABLECOPY_H
#define TCORE_TOOLS_SUPPORT_TABLECOPY_H

#include <functional>
#include <string>
#include <vector>

#include "foundation/XQRC.h"
#include "messages/XQAttributeData.h"

class XQOdbcConnect;

namespace demo {

// Copies the rows of a SELECT into a table: fetched in row sets of rowset
// rows (array fetch, column-wise binding), inserted through one prepared
// statement with bound parameters, committed once at the end (rolled back
// on failure). Columns are described as in DemoProtocol.h. With
// replaceTarget the target's rows are deleted first, in the same
// transaction: the copy then commits all or nothing and a rerun (after a
// crash, or of a copy whose outcome was lost) never leaves a row twice.
// progress(rows, bytes) runs after each row set; returning false stops the
// copy (rolled back) with code 9147.
struct CopyResult {
    XQRC rc{0, 0, XQRC::WhsSrv};
    unsigned long rows = 0;
    unsigned long long bytes = 0;
};

CopyResult copyRows(XQOdbcConnect& source, XQOdbcConnect& target, const XQSTRING& select,
                    const XQSTRING& targetTable, const std::vector<XQAttributeData>& columns, unsigned long rowset,
                    bool replaceTarget, const std::function<bool(unsigned long, unsigned long long)>& progress);

// Reads every row of select as text (one string per column, "<null>" for
// NULL), for comparing two databases.
XQRC readAllAsText(XQOdbcConnect& connection, const XQSTRING& select, size_t columnCount,
                   std::vector<std::vector<std::string>>& rows);

}  // namespace demo

#endif

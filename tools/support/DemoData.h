#ifndef TCORE_TOOLS_SUPPORT_DEMODATA_H
#define TCORE_TOOLS_SUPPORT_DEMODATA_H

#include <string>
#include <vector>

#include "foundation/XQRC.h"
#include "messages/XQAttributeData.h"

class XQOdbcConnect;

namespace demo {

// The demo's table of orders: id, customer, city, amount, ordered, note;
// realistic rows (mixed types, non-ASCII names and cities, some NULLs).

// Its columns as a copy request describes them (DemoProtocol.h).
std::vector<XQAttributeData> orderColumns();
// "SELECT id, customer, city, amount, ordered, note FROM table ORDER BY id".
XQSTRING orderSelect(const XQSTRING& table);
// Drops table (when there) and creates it empty, with the column types of
// the server (postgres) or of SQLite.
XQRC createOrderTable(XQOdbcConnect& conn, const XQSTRING& table, bool postgres);
// createOrderTable, then rows rows inserted through a prepared statement with
// bound parameters, committed once. Leaves the connection in manual commit.
XQRC fillOrderTable(XQOdbcConnect& conn, const XQSTRING& table, unsigned long rows, bool postgres);
// Reads both tables and compares them value by value. Returns false with a
// sentence in why when they differ or cannot be read; rows gets the
// source's row count.
bool sameOrders(XQOdbcConnect& source, const XQSTRING& sourceTable, XQOdbcConnect& target,
                const XQSTRING& targetTable, size_t& rows, std::string& why);

}  // namespace demo

#endif

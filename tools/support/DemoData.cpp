#include "support/DemoData.h"

#include <sql.h>
#include <sqlext.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "support/TableCopy.h"

namespace demo {

namespace {

void makeRow(unsigned long i, int64_t& id, std::string& customer, std::string& city, double& amount,
             std::string& ordered, std::string& note, bool& noteNull) {
    static const char* const first[] = {"Zoë", "Jürgen", "Åsa", "François", "Łukasz", "Søren", "Ana", "Chen",
                                        "Ngozi", "Olga", "Yūki", "Mohammed", "Eleni", "Pedro", "Ines"};
    static const char* const last[] = {"Müller", "García", "Øster", "Kowalski", "Dubois", "Nakamura",
                                       "O'Neil", "Ivanova", "Смирнов", "Παπαδόπουλος", "Silva", "李"};
    static const char* const cities[] = {"München", "Zürich", "Kraków", "São Paulo", "東京", "Malmö",
                                         "Reykjavík", "Αθήνα", "Москва", "Lisboa", "Québec", "Cork"};
    id = static_cast<int64_t>(i + 1);
    customer = std::string(first[i % 15]) + " " + last[(i / 15) % 12];
    city = cities[(i * 7) % 12];
    amount = std::round(((i * 7919) % 1000000) / 100.0 * 100.0) / 100.0;
    char ts[32];
    std::snprintf(ts, sizeof ts, "2026-%02lu-%02lu %02lu:%02lu:%02lu", (i % 12) + 1, (i % 28) + 1, i % 24,
                  (i / 7) % 60, (i / 3) % 60);
    ordered = ts;
    noteNull = i % 10 == 3;
    note = "order " + std::to_string(i + 1) + (i % 5 == 0 ? " – express, größer als üblich" : " standard");
}

}  // namespace

std::vector<XQAttributeData> orderColumns() {
    struct Col {
        const wchar_t* name;
        int type;
        int size;
    } cols[] = {{L"id", SQL_INTEGER, 10},      {L"customer", SQL_VARCHAR, 60},      {L"city", SQL_VARCHAR, 40},
                {L"amount", SQL_DOUBLE, 15},   {L"ordered", SQL_TYPE_TIMESTAMP, 26}, {L"note", SQL_VARCHAR, 200}};
    std::vector<XQAttributeData> out;
    int pos = 1;
    for (const auto& c : cols) {
        XQAttributeData a;
        a.Text1 = c.name;
        a.Number1 = c.type;
        a.Number2 = c.size;
        a.Number7 = pos++;
        out.push_back(a);
    }
    return out;
}

XQSTRING orderSelect(const XQSTRING& table) {
    return L"SELECT id, customer, city, amount, ordered, note FROM " + table + L" ORDER BY id";
}

XQRC createOrderTable(XQOdbcConnect& conn, const XQSTRING& table, bool postgres) {
    conn.executeDrop(L"DROP TABLE " + table);
    return conn.executeStmt(L"CREATE TABLE " + table +
                                (postgres ? L" (id INTEGER PRIMARY KEY, customer VARCHAR(60), city VARCHAR(40),"
                                            L" amount DOUBLE PRECISION, ordered TIMESTAMP, note VARCHAR(200))"
                                          : L" (id INTEGER PRIMARY KEY, customer VARCHAR(60), city VARCHAR(40),"
                                            L" amount DOUBLE, ordered TIMESTAMP, note VARCHAR(200))"),
                            0);
}

XQRC fillOrderTable(XQOdbcConnect& conn, const XQSTRING& table, unsigned long rows, bool postgres) {
    XQRC rc = createOrderTable(conn, table, postgres);
    if (rc.code == 0) rc = conn.connectOptionManual();
    if (rc.code != 0) return rc;
    XQOdbcCursor* cur = conn.getCursor(0, rc);
    if (rc.code != 0) return rc;
    int64_t id = 0;
    double amount = 0;
    char customer[256], city[256], ordered[32], note[512];
    SQLLEN idLen = 0, amountLen = 0, nts = SQL_NTS, noteLen = SQL_NTS;
    rc = cur->prepare(L"INSERT INTO " + table +
                      L" (id, customer, city, amount, ordered, note) VALUES (?, ?, ?, ?, ?, ?)");
    if (rc.code == 0) rc = cur->bindParameter(1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_INTEGER, 10, 0, &id, 0, &idLen);
    if (rc.code == 0) rc = cur->bindParameter(2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 60, 0, customer, 256, &nts);
    if (rc.code == 0) rc = cur->bindParameter(3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, city, 256, &nts);
    if (rc.code == 0)
        rc = cur->bindParameter(4, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &amount, 0, &amountLen);
    if (rc.code == 0)
        rc = cur->bindParameter(5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_TYPE_TIMESTAMP, 26, 0, ordered, 32, &nts);
    if (rc.code == 0) rc = cur->bindParameter(6, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 200, 0, note, 512, &noteLen);
    for (unsigned long i = 0; rc.code == 0 && i < rows; ++i) {
        std::string c, ci, t, n;
        bool noteNull = false;
        makeRow(i, id, c, ci, amount, t, n, noteNull);
        std::snprintf(customer, sizeof customer, "%s", c.c_str());
        std::snprintf(city, sizeof city, "%s", ci.c_str());
        std::snprintf(ordered, sizeof ordered, "%s", t.c_str());
        std::snprintf(note, sizeof note, "%s", n.c_str());
        noteLen = noteNull ? SQL_NULL_DATA : SQL_NTS;
        rc = cur->execute();
    }
    if (rc.code == 0) rc = conn.commit();
    if (rc.code != 0) conn.rollback();
    conn.dropCursor(0);
    return rc;
}

namespace {

// Drivers write the same number differently ("0.0" and "0"): numbers are
// compared in one form.
void normaliseNumbers(std::vector<std::vector<std::string>>& rows) {
    for (auto& row : rows)
        for (auto& cell : row) {
            char* end = nullptr;
            double v = std::strtod(cell.c_str(), &end);
            if (!cell.empty() && end != nullptr && *end == '\0') {
                char text[64];
                std::snprintf(text, sizeof text, "%.15g", v);
                cell = text;
            }
        }
}

}  // namespace

bool sameOrders(XQOdbcConnect& source, const XQSTRING& sourceTable, XQOdbcConnect& target,
                const XQSTRING& targetTable, size_t& rows, std::string& why) {
    std::vector<std::vector<std::string>> a, b;
    XQRC rc = readAllAsText(source, orderSelect(sourceTable), 6, a);
    if (rc.code == 0) rc = readAllAsText(target, orderSelect(targetTable), 6, b);
    normaliseNumbers(a);
    normaliseNumbers(b);
    rows = a.size();
    if (rc.code != 0) {
        why = "cannot read: code " + std::to_string(rc.code) + "/" + std::to_string(rc.secondaryCode);
        return false;
    }
    if (a == b) return true;
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    why = "target differs from source: " + std::to_string(b.size()) + " rows against " + std::to_string(a.size()) +
          ", first difference at row " + std::to_string(i + 1);
    for (size_t c = 0; i < a.size() && i < b.size() && c < a[i].size(); ++c)
        if (a[i][c] != b[i][c]) why += " (column " + std::to_string(c + 1) + ": '" + a[i][c] + "' against '" + b[i][c] + "')";
    return false;
}

}  // namespace demo

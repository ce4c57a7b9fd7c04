#include "db/XQConfiguration.h"

#include <algorithm>
#include <cwctype>

#include "db/OdbcDriver.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "foundation/Trace.h"

namespace {

// Cursors of the first connection that the store uses; each is freed after
// use, because a cursor keeps the first text prepared on it and the prefix
// may change between calls.
const int kLoadCursor = 0;
const int kInsertCursor = 1;
const int kUpdateCursor = 2;
const int kAttachCursor = 3;

const wchar_t* const kComponentTexts[] = {L"NONE", L"DDD", L"RTK", L"Agent", L"XQOdbc", L"Log"};

const wchar_t* const kRequiredKeys[] = {L"AGENTMODULE",      L"CONTROLDATABASEID", L"DAEMONSERVICENAME",
                                        L"DBVERSION",        L"KERNELSERVICENAME", L"LOGSERVICENAME",
                                        L"dbName",           L"prefix"};

XQRC success() { return XQRC(0, 0, XQRC::WhsSrv); }

bool isRequiredKey(const XQSTRING& name) {
    for (const wchar_t* key : kRequiredKeys)
        if (name == key) return true;
    return false;
}

XQRC lookupFailure(int code, const wchar_t* method, ComponentEnum component, const XQSTRING& name) {
    XQRC rc(code, 0, XQRC::WhsDDD);
    rc.methodName = method;
    rc.SetXQMessage(name, ComponentEnumToString(component), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(),
                    XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING());
    return rc;
}

// The prefix goes into statement texts: only a plain SQL identifier may.
XQRC checkPrefix(const XQSTRING& prefix, const wchar_t* method) {
    bool ok = !prefix.empty() && prefix.size() <= 63 && !std::iswdigit(prefix[0]);
    for (wchar_t c : prefix)
        if (!(c == L'_' || (c < 128 && std::iswalnum(c)))) ok = false;
    if (ok) return success();
    XQRC rc(9164, 0, XQRC::WhsSrv);
    rc.methodName = method;
    rc.SetComment(L"prefix is not an identifier");
    rc.SetXQMessage(prefix, XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(),
                    XQSTRING(), XQSTRING());
    return rc;
}

XQOdbcConnect* storeConnection() { return XQOdbc::getEnv()->getConnection(0); }

// SQLite has no schemas: the connection's own database file is attached
// under the prefix, once per connection, so that "prefix.configuration" is
// the main file's table.
XQRC attachPrefix(XQOdbcConnect* conn, const XQSTRING& prefix) {
    XQRC rc = success();
    XQSTRING dbms = conn->getDBType(rc);
    if (rc.code != 0 || !odbcIsSQLite(dbms)) return rc;
    XQOdbcCursor* cursor = conn->getCursor(kAttachCursor, rc);
    if (cursor == nullptr) return rc;
    char name[256] = {};
    char file[4096] = {};
    long nameLength = 0;
    long fileLength = 0;
    bool attached = false;
    std::string mainFile;
    rc = cursor->prepare(L"PRAGMA database_list");
    if (rc.code == 0) rc = cursor->bindCol(2, SQL_C_CHAR, name, sizeof(name), &nameLength);
    if (rc.code == 0) rc = cursor->bindCol(3, SQL_C_CHAR, file, sizeof(file), &fileLength);
    // Bounded: SQLite allows at most 125 attached databases.
    for (int row = 0; rc.code == 0 && row < 200; ++row) {
        int n = cursor->fetch(rc);
        if (n != 1) break;
        XQSTRING dbName = xqFromMultibyte(odbcTrimCharPadding(name, sizeof(name), nameLength));
        if (xqCompareNoCase(dbName, prefix) == 0) attached = true;
        if (dbName == L"main") mainFile = odbcTrimCharPadding(file, sizeof(file), fileLength);
    }
    cursor->free();
    conn->dropCursor(kAttachCursor);
    if (rc.code != 0 || attached) return rc;
    std::string quoted;
    for (char c : mainFile) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    return conn->executeStmt(L"ATTACH DATABASE '" + xqFromMultibyte(quoted) + L"' AS " + prefix, 0);
}

// The parameters of one INSERT row, kept alive while it executes.
struct RowBuffers {
    std::string component, name, type, value, shortName;
    SQLINTEGER valueInt = 0;
    long lengths[6] = {};
};

XQRC bindText(XQOdbcCursor* cursor, unsigned int number, int sqlType, unsigned int columnSize, std::string& text,
              long& length) {
    length = static_cast<long>(text.size());
    return cursor->bindParameter(number, SQL_PARAM_INPUT, SQL_C_CHAR, sqlType, columnSize, 0, &text[0],
                                 static_cast<long>(text.size() + 1), &length);
}

bool isPassword(const XQConfigurationElement& e) { return e.name == L"password"; }

// The text written to value_char: never a password, whatever its component.
XQSTRING storedText(const XQConfigurationElement& e) { return isPassword(e) ? XQSTRING() : e.valueString; }

}  // namespace

XQSTRING ComponentEnumToString(ComponentEnum component) {
    int v = static_cast<int>(component);
    return (v >= 1 && v <= 5) ? kComponentTexts[v] : L"NONE";
}

ComponentEnum ComponentEnumFromString(const XQSTRING& text) {
    for (int v = 1; v <= 5; ++v)
        if (text == kComponentTexts[v]) return static_cast<ComponentEnum>(v);
    return COMPONENT_NONE;
}

XQConfigurationElement::XQConfigurationElement() : component(COMPONENT_NONE), isString(0), valueInt(0) {}

XQConfigurationElement::XQConfigurationElement(ComponentEnum c, const XQSTRING& n, int s, const XQSTRING& vs,
                                               int vi, const XQSTRING& sn)
    : component(c), name(n), isString(s), valueString(vs), valueInt(vi), shortName(sn) {}

void XQConfigurationElement::get(ComponentEnum& c, XQSTRING& n, XQSTRING& sn, int& s, XQSTRING& vs,
                                 long& vi) const {
    c = component;
    n = name;
    sn = shortName;
    s = isString;
    vs = valueString;
    vi = valueInt;
}

void XQConfigurationElement::print() const {
    XQ_TRACE(3, "vcconfigElement::print Component = " << static_cast<int>(component));
    XQ_TRACE(3, "vcconfigElement::print isString= " << isString);
    XQ_TRACE(3, "vcconfigElement::print name= " << name);
    XQ_TRACE(3, "vcconfigElement::print shortName= " << shortName);
    XQ_TRACE(3, "vcconfigElement::print valueInt = " << valueInt);
    if (!traceOn(3)) return;
    std::string value = xqToMultibyte(valueString);
    if (isPassword(*this) && !value.empty()) MaskaString(&value[0]);
    XQ_TRACE(3, "vcconfigElement::print valueString = " << value);
}

XQConfiguration::XQConfiguration() : isLoaded(0) {
    for (auto& level : traceLevels) level.store(0, std::memory_order_relaxed);
}

XQConfiguration* XQConfiguration::getInstance() {
    static XQConfiguration* instance = new XQConfiguration();
    return instance;
}

void XQConfiguration::terminate() { XQOdbc::free(); }

XQSTRING XQConfiguration::getPrefix() {
    XQConfiguration* self = getInstance();
    return self->isLoaded ? self->prefix : XQSTRING();
}

bool XQConfiguration::sqlTraceOn() { return getInstance()->getTraceLevel(COMPONENT_XQODBC) > 0; }

int XQConfiguration::getTraceLevel(ComponentEnum component) const {
    int v = static_cast<int>(component);
    if (v < 0 || v > 5) v = 0;
    return traceLevels[v].load(std::memory_order_relaxed);
}

XQRC XQConfiguration::init(const XQSTRING& dbName, const XQSTRING& prefix, const XQSTRING& userid,
                           const XQSTRING& password, const int manualCommit) {
    return initRegi(dbName, prefix, userid, password, manualCommit, 0);
}

XQRC XQConfiguration::initRegi(const XQSTRING& dbName, const XQSTRING& prefix, const XQSTRING& userid,
                               const XQSTRING& password, const int manualCommit, const int implicitLogin) {
    XQ_TRACE_METHOD("XQConfiguration::initRegi()");
    XQConfiguration* self = getInstance();
    const bool sqlTrace = sqlTraceOn();
    if (sqlTrace) traceBareLine("Calling SQLConnect");
    XQOdbcConnect* conn = storeConnection();
    XQRC rc = conn->connect(dbName, userid, password, implicitLogin);
    if (rc.code != 0) {
        if (sqlTrace)
            XQ_TRACE(3, "No config connect for CDB '" << dbName << "', UID '" << userid << "', PrefixParm '"
                                                      << prefix << "'");
        return rc.AddComment(L"XQConfiguration::init");
    }
    rc = checkPrefix(prefix, L"XQConfiguration::init");
    if (rc.code == 0) rc = attachPrefix(conn, prefix);
    if (rc.code != 0) return rc.AddComment(L"XQConfiguration::init");
    if (manualCommit != 0) {
        rc = conn->connectOptionManual();
        if (rc.code != 0) return rc.AddComment(L"XQConfiguration::init");
    }
    if (self->isLoaded) {
        XQConfigurationElement* current = self->find(COMPONENT_DDD, L"dbName");
        if (current == nullptr || current->valueString != dbName) self->unload();
    }
    rc = self->load(prefix);
    if (rc.code == 0) rc = self->setValueString(COMPONENT_DDD, L"dbName", dbName, XQSTRING());
    if (rc.code == 0) rc = self->setValueString(COMPONENT_DDD, L"prefix", prefix, XQSTRING());
    if (rc.code == 0) rc = self->setValueString(COMPONENT_DDD, L"userid", userid, XQSTRING());
    if (rc.code == 0) rc = self->setValueString(COMPONENT_DDD, L"password", password, XQSTRING());
    if (rc.code != 0) return rc.AddComment(L"XQConfiguration::Init");
    return rc;
}

void XQConfiguration::unload() {
    elements.clear();
    isLoaded = 0;
}

XQRC XQConfiguration::load(const XQSTRING& prefixText) {
    XQ_TRACE_METHOD("XQConfiguration::load()");
    if (isLoaded) return success();
    XQRC rc = checkPrefix(prefixText, L"XQConfiguration::load");
    if (rc.code != 0) return rc;
    XQOdbcConnect* conn = storeConnection();
    rc = attachPrefix(conn, prefixText);
    if (rc.code != 0) return rc.AddComment(L"XQConfiguration::load");

    const XQSTRING statement =
        L"SELECT component, name, type, value_int, value_char, short_name FROM " + prefixText + L".configuration";
    if (sqlTraceOn()) XQ_TRACE(4, "vcconfig::ctor SQL Stmt " << statement);
    XQOdbcCursor* cursor = conn->getCursor(kLoadCursor, rc);
    if (cursor == nullptr) return rc.AddComment(L"XQConfiguration::load");

    char component[11] = {}, name[21] = {}, type[2] = {}, valueChar[200] = {}, shortName[20] = {};
    SQLINTEGER valueInt = 0;
    long lengths[6] = {};
    std::vector<XQConfigurationElement> loaded;
    int levels[6] = {};
    bool levelSet[6] = {};
    rc = cursor->prepare(statement);
    if (rc.code != 0) {
        XQ_TRACE(3, "vcconfig::ctor No prepare for connect to configuration.");
        rc.AddComment(L"XQConfiguration::load - prepare");
    }
    if (rc.code == 0) rc = cursor->bindCol(1, SQL_C_CHAR, component, sizeof(component), &lengths[0]);
    if (rc.code == 0) rc = cursor->bindCol(2, SQL_C_CHAR, name, sizeof(name), &lengths[1]);
    if (rc.code == 0) rc = cursor->bindCol(3, SQL_C_CHAR, type, sizeof(type), &lengths[2]);
    if (rc.code == 0) rc = cursor->bindCol(4, SQL_C_SLONG, &valueInt, sizeof(valueInt), &lengths[3]);
    if (rc.code == 0) rc = cursor->bindCol(5, SQL_C_CHAR, valueChar, sizeof(valueChar), &lengths[4]);
    if (rc.code == 0) rc = cursor->bindCol(6, SQL_C_CHAR, shortName, sizeof(shortName), &lengths[5]);
    while (rc.code == 0) {
        int fetched = cursor->fetch(rc);
        if (fetched == 0) break;
        if (fetched != 1) break;  // a row with a warning (truncation): rc holds it
        // component and type are CHAR columns, which a server may pad; the
        // others are VARCHAR and come back as they were stored.
        ComponentEnum c = ComponentEnumFromString(
            xqFromMultibyte(odbcTrimCharPadding(component, sizeof(component), lengths[0])));
        XQConfigurationElement e(c, xqFromMultibyte(odbcText(name, sizeof(name), lengths[1])),
                                 odbcTrimCharPadding(type, sizeof(type), lengths[2]) == "C" ? 1 : 0,
                                 xqFromMultibyte(odbcText(valueChar, sizeof(valueChar), lengths[4])),
                                 lengths[3] == SQL_NULL_DATA ? 0 : static_cast<int>(valueInt),
                                 xqFromMultibyte(odbcText(shortName, sizeof(shortName), lengths[5])));
        if (e.name == L"TRACELVL") {
            levels[c] = e.valueInt;
            levelSet[c] = true;
            XQ_TRACE(3, "vcconfig::ctor Set Tracelvl for " << ComponentEnumToString(c));
        }
        loaded.push_back(e);
    }
    cursor->free();
    conn->dropCursor(kLoadCursor);
    if (rc.code != 0) return rc.AddComment(L"XQConfiguration::load");

    // Each row goes into the list: it replaces an element of the same key
    // set in memory before, and elements the table lacks stay.
    for (XQConfigurationElement& e : loaded) {
        XQConfigurationElement* existing = find(e.component, e.name);
        if (existing != nullptr)
            *existing = std::move(e);
        else
            elements.push_back(std::move(e));
    }
    for (int i = 0; i < 6; ++i)
        if (levelSet[i]) traceLevels[i].store(levels[i], std::memory_order_relaxed);
    isLoaded = 1;
    prefix = prefixText;
    if (sqlTraceOn()) XQ_TRACE(3, "vcconfig::ctor, load rc = " << rc.code);
    return rc;
}

XQConfigurationElement* XQConfiguration::find(ComponentEnum component, const XQSTRING& name) {
    XQConfigurationElement key(component, name, 0, XQSTRING(), 0, XQSTRING());
    auto it = std::find(elements.begin(), elements.end(), key);
    return it == elements.end() ? nullptr : &*it;
}

int XQConfiguration::getValueInt(ComponentEnum component, const XQSTRING& name, XQRC& rc) {
    XQConfigurationElement* e = getInstance()->find(component, name);
    if (e == nullptr) {
        rc = lookupFailure(9162, L"XQConfiguration::getValueInt", component, name);
        return -1;
    }
    if (e->isString) {
        rc = lookupFailure(9163, L"XQConfiguration::getValueInt", component, name);
        return -1;
    }
    return e->valueInt;
}

XQSTRING XQConfiguration::getValueString(ComponentEnum component, const XQSTRING& name, XQRC& rc) {
    XQConfigurationElement* e = getInstance()->find(component, name);
    if (e == nullptr) {
        rc = lookupFailure(9162, L"XQConfiguration::getValueString", component, name);
        return XQSTRING();
    }
    if (!e->isString) {
        rc = lookupFailure(9164, L"XQConfiguration::getValueString", component, name);
        return XQSTRING();
    }
    return e->valueString;
}

XQSTRING XQConfiguration::getShortName(ComponentEnum component, const XQSTRING& name, XQRC& rc) {
    XQConfigurationElement* e = getInstance()->find(component, name);
    if (e == nullptr) {
        rc = lookupFailure(9162, L"XQConfiguration::getShortName", component, name);
        return XQSTRING();
    }
    return e->shortName;
}

int XQConfiguration::getIsString(ComponentEnum component, XQSTRING& name, XQRC& rc) {
    XQConfigurationElement* e = getInstance()->find(component, name);
    if (e == nullptr) {
        rc = lookupFailure(9162, L"XQConfiguration::getIsString", component, name);
        return -1;
    }
    return e->isString;
}

std::vector<XQConfigurationElement> XQConfiguration::getList(ComponentEnum component) {
    std::vector<XQConfigurationElement> out;
    for (const XQConfigurationElement& e : getInstance()->elements)
        if (e.component == component) out.push_back(e);
    return out;
}

std::vector<XQConfigurationElement> XQConfiguration::getListAll() { return getInstance()->elements; }

int XQConfiguration::getElement(ComponentEnum component, const XQSTRING& name, XQConfigurationElement& out) {
    XQConfigurationElement* e = find(component, name);
    if (e == nullptr) return 0;
    out = *e;
    return 1;
}

XQRC XQConfiguration::setValueString(ComponentEnum component, const XQSTRING& name, XQSTRING value,
                                     const XQSTRING& shortName) {
    if (value.empty() && isRequiredKey(name)) {
        XQRC rc(9164, 0, XQRC::WhsSrv);
        rc.methodName = L"XQConfiguration::setValueString";
        rc.SetComment(L"value==blank");
        rc.SetXQMessage(name, XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(), XQSTRING(),
                        XQSTRING(), XQSTRING());
        return rc;
    }
    XQConfigurationElement* e = find(component, name);
    if (e != nullptr && !e->isString) return lookupFailure(9164, L"XQConfiguration::setValueString", component, name);
    XQConfigurationElement updated(component, name, 1, value, 0, shortName);
    if (e != nullptr)
        *e = updated;
    else
        elements.push_back(updated);
    return success();
}

XQRC XQConfiguration::setValueInt(ComponentEnum component, const XQSTRING& name, int value,
                                  const XQSTRING& shortName) {
    XQConfigurationElement* e = find(component, name);
    if (e != nullptr && e->isString) return lookupFailure(9163, L"XQConfiguration::setValueInt", component, name);
    XQConfigurationElement updated(component, name, 0, XQSTRING(), value, shortName);
    if (e != nullptr)
        *e = updated;
    else
        elements.push_back(updated);
    if (name == L"TRACELVL") {
        int v = static_cast<int>(component);
        traceLevels[(v >= 0 && v <= 5) ? v : 0].store(value, std::memory_order_relaxed);
    }
    return success();
}

XQRC XQConfiguration::prepareInsert(XQOdbcCursor* cursor, const XQSTRING& prefixText) {
    return cursor->prepare(L"INSERT INTO " + prefixText +
                           L".configuration (component, name, type, value_char, value_int, short_name) "
                           L"VALUES (?, ?, ?, ?, ?, ?)");
}

XQRC XQConfiguration::insertRow(XQOdbcCursor* cursor, const XQConfigurationElement& e) {
    RowBuffers row;
    row.component = xqToMultibyte(ComponentEnumToString(e.component));
    row.name = xqToMultibyte(e.name);
    row.type = e.isString ? "C" : "N";
    row.value = xqToMultibyte(storedText(e));
    row.valueInt = e.valueInt;
    row.shortName = xqToMultibyte(e.shortName);
    XQRC rc = bindText(cursor, 1, SQL_CHAR, 10, row.component, row.lengths[0]);
    if (rc.code == 0) rc = bindText(cursor, 2, SQL_VARCHAR, 20, row.name, row.lengths[1]);
    if (rc.code == 0) rc = bindText(cursor, 3, SQL_CHAR, 1, row.type, row.lengths[2]);
    if (rc.code == 0) rc = bindText(cursor, 4, SQL_VARCHAR, 199, row.value, row.lengths[3]);
    if (rc.code == 0) {
        row.lengths[4] = 0;
        rc = cursor->bindParameter(5, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &row.valueInt, 0,
                                   &row.lengths[4]);
    }
    if (rc.code == 0) rc = bindText(cursor, 6, SQL_VARCHAR, 19, row.shortName, row.lengths[5]);
    if (rc.code == 0) rc = cursor->execute();
    return rc;
}

XQRC XQConfiguration::store() {
    XQ_TRACE_METHOD("XQConfiguration::store()");
    XQConfigurationElement* p = find(COMPONENT_DDD, L"prefix");
    const XQSTRING prefixText = p != nullptr ? p->valueString : XQSTRING();
    XQRC rc = checkPrefix(prefixText, L"XQConfiguration::store");
    if (rc.code != 0) return rc;
    XQOdbcConnect* conn = storeConnection();
    rc = attachPrefix(conn, prefixText);
    if (rc.code != 0) return rc.AddComment(L"XQConfiguration::store");

    // One transaction, also when the connection commits on its own.
    const bool wasAutoCommit = conn->isAutoCommit();
    if (wasAutoCommit) {
        rc = conn->connectOptionManual();
        if (rc.code != 0) return rc.AddComment(L"XQConfiguration::store");
    }
    rc = conn->executeStmt(L"DELETE FROM " + prefixText + L".configuration", 1);
    if (rc.code == 0) {
        XQOdbcCursor* cursor = conn->getCursor(kInsertCursor, rc);
        if (cursor != nullptr) {
            rc = prepareInsert(cursor, prefixText);
            for (size_t i = 0; rc.code == 0 && i < elements.size(); ++i) rc = insertRow(cursor, elements[i]);
            cursor->free();
            conn->dropCursor(kInsertCursor);
        }
    }
    if (rc.code == 0) {
        rc = conn->commit();
        if (rc.code != 0) rc.AddComment(L"XQConfiguration::store");
    } else {
        rc.AddComment(L"XQConfiguration::store");
        conn->rollback();
    }
    if (wasAutoCommit) conn->connectOptionAuto();
    return rc;
}

XQRC XQConfiguration::storeVariable(ComponentEnum component, const XQSTRING& name) {
    XQ_TRACE_METHOD("XQConfiguration::storeVariable()");
    XQConfigurationElement* e = find(component, name);
    if (e == nullptr) return lookupFailure(9162, L"XQConfiguration::storeVariable", component, name);
    XQConfigurationElement* p = find(COMPONENT_DDD, L"prefix");
    const XQSTRING prefixText = p != nullptr ? p->valueString : XQSTRING();
    XQRC rc = checkPrefix(prefixText, L"XQConfiguration::storeVariable");
    if (rc.code != 0) return rc;
    XQOdbcConnect* conn = storeConnection();
    rc = attachPrefix(conn, prefixText);
    if (rc.code != 0) return rc.AddComment(L"XQConfiguration::storeVariable");
    XQOdbcCursor* cursor = conn->getCursor(kUpdateCursor, rc);
    if (cursor == nullptr) return rc.AddComment(L"XQConfiguration::storeVariable");
    RowBuffers row;
    row.value = xqToMultibyte(storedText(*e));
    row.valueInt = e->valueInt;
    row.component = xqToMultibyte(ComponentEnumToString(component));
    row.name = xqToMultibyte(name);
    rc = cursor->prepare(L"UPDATE " + prefixText +
                         L".configuration SET value_char = ?, value_int = ? WHERE component = ? and name = ?");
    if (rc.code == 0) rc = bindText(cursor, 1, SQL_VARCHAR, 199, row.value, row.lengths[0]);
    if (rc.code == 0)
        rc = cursor->bindParameter(2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &row.valueInt, 0,
                                   &row.lengths[1]);
    if (rc.code == 0) rc = bindText(cursor, 3, SQL_CHAR, 10, row.component, row.lengths[2]);
    if (rc.code == 0) rc = bindText(cursor, 4, SQL_VARCHAR, 20, row.name, row.lengths[3]);
    // An element without a row updates nothing: no-data, not a failure.
    if (rc.code == 0) rc = cursor->executeIgnoreNDF();
    cursor->free();
    conn->dropCursor(kUpdateCursor);
    if (rc.code == 0) rc = conn->commit();
    if (rc.code != 0) {
        if (!conn->isAutoCommit()) conn->rollback();
        rc.AddComment(L"XQConfiguration::storeVariable");
    }
    return rc;
}

XQRC XQConfiguration::storeNewVariable(ComponentEnum component, const XQSTRING name) {
    XQ_TRACE_METHOD("XQConfiguration::storeNewVariable()");
    XQConfigurationElement* e = find(component, name);
    if (e == nullptr) return lookupFailure(9162, L"XQConfiguration::storeNewVariable", component, name);
    XQConfigurationElement* p = find(COMPONENT_DDD, L"prefix");
    const XQSTRING prefixText = p != nullptr ? p->valueString : XQSTRING();
    XQRC rc = checkPrefix(prefixText, L"XQConfiguration::storeNewVariable");
    if (rc.code != 0) return rc;
    XQOdbcConnect* conn = storeConnection();
    rc = attachPrefix(conn, prefixText);
    if (rc.code != 0) return rc.AddComment(L"XQConfiguration::storeNewVariable");
    XQOdbcCursor* cursor = conn->getCursor(kInsertCursor, rc);
    if (cursor == nullptr) return rc.AddComment(L"XQConfiguration::storeNewVariable");
    rc = prepareInsert(cursor, prefixText);
    if (rc.code == 0) rc = insertRow(cursor, *e);
    cursor->free();
    conn->dropCursor(kInsertCursor);
    if (rc.code == 0) rc = conn->commit();
    if (rc.code != 0) {
        if (!conn->isAutoCommit()) conn->rollback();
        rc.AddComment(L"XQConfiguration::storeNewVariable");
    }
    return rc;
}

void XQConfiguration::print() {
    XQ_TRACE(3, "vcconfig::print XQConfiguration isLoaded = " << isLoaded);
    if (!traceOn(3) || !sqlTraceOn()) return;
    for (const XQConfigurationElement& e : elements) e.print();
}

#ifndef TCORE_DB_XQCONFIGURATION_H
#define TCORE_DB_XQCONFIGURATION_H

#include <atomic>
#include <vector>

#include "foundation/Export.h"
#include "foundation/XQRC.h"

class XQOdbcCursor;

// The components that own configuration rows; the table's "component"
// column holds their text forms.
enum ComponentEnum {
    COMPONENT_NONE = 0,
    COMPONENT_DDD = 1,    // "DDD"
    COMPONENT_RTK = 2,    // "RTK"
    COMPONENT_AGENT = 3,  // "Agent"
    COMPONENT_XQODBC = 4, // "XQOdbc"
    COMPONENT_LOG = 5     // "Log"
};

// "NONE" for any value outside 1..5.
TCORE_EXPORT XQSTRING ComponentEnumToString(ComponentEnum component);
// Exact, case-sensitive; any other text gives 0.
TCORE_EXPORT ComponentEnum ComponentEnumFromString(const XQSTRING& text);

// One row of the configuration table. Equal when component and name are.
class TCORE_EXPORT XQConfigurationElement {
public:
    XQConfigurationElement();
    XQConfigurationElement(ComponentEnum component, const XQSTRING& name, int isString, const XQSTRING& valueString,
                           int valueInt, const XQSTRING& shortName);

    bool operator==(const XQConfigurationElement& other) const {
        return component == other.component && name == other.name;
    }
    void get(ComponentEnum& component, XQSTRING& name, XQSTRING& shortName, int& isString, XQSTRING& valueString,
             long& valueInt) const;
    // Trace lines at level 3; a password's value is masked.
    void print() const;

    ComponentEnum component;
    XQSTRING name;
    int isString;
    XQSTRING valueString;
    int valueInt;
    XQSTRING shortName;
};

// The process-wide, in-memory copy of the table "<prefix>.configuration":
// connects the environment's first connection to the control database,
// loads every row, answers typed look-ups, takes changes in memory and
// writes them back, all at once or one row at a time.
//
// Look-up failures are XQRC of domain WhsDDD: 9162 no such element, 9163 a
// text where a number was asked or set, 9164 a number where a text was asked
// or set. A required key ("AGENTMODULE", "CONTROLDATABASEID",
// "DAEMONSERVICENAME", "DBVERSION", "KERNELSERVICENAME", "LOGSERVICENAME",
// "dbName", "prefix") set blank is 9164 of domain WhsSrv.
//
// The prefix is an SQL identifier (letters, digits, underscore); any other
// prefix is refused before it reaches a statement. On SQLite, which has no
// schemas, the connection's own database file is attached under the prefix.
//
// Thread-safety: no lock. A program initialises and loads the store before
// it starts threads and serialises changes and stores; concurrent look-ups
// of an unchanging store are safe.
class TCORE_EXPORT XQConfiguration {
public:
    // Made on first use, never destroyed; the result must never be deleted.
    static XQConfiguration* getInstance();
    // Frees the ODBC environment (and with it the connection); the elements
    // stay in memory.
    static void terminate();
    // The prefix of the last load, else empty.
    static XQSTRING getPrefix();

    static XQRC init(const XQSTRING& dbName, const XQSTRING& prefix, const XQSTRING& userid,
                     const XQSTRING& password, const int manualCommit);
    static XQRC initRegi(const XQSTRING& dbName, const XQSTRING& prefix, const XQSTRING& userid,
                         const XQSTRING& password, const int manualCommit, const int implicitLogin);

    static int getValueInt(ComponentEnum component, const XQSTRING& name, XQRC& rc);
    static XQSTRING getValueString(ComponentEnum component, const XQSTRING& name, XQRC& rc);
    static XQSTRING getShortName(ComponentEnum component, const XQSTRING& name, XQRC& rc);
    static int getIsString(ComponentEnum component, XQSTRING& name, XQRC& rc);
    static std::vector<XQConfigurationElement> getList(ComponentEnum component);
    static std::vector<XQConfigurationElement> getListAll();

    // The SQL trace switch: the trace level of component "XQOdbc" above 0.
    // executeStmt writes each statement when it is on.
    static bool sqlTraceOn();

    // Loads the table once; a loaded store is not read again. Each row is
    // put into the list: a row replaces an element of the same component and
    // name set before, elements the table lacks stay. Trailing blanks are
    // dropped from the CHAR columns (component, type) only.
    XQRC load(const XQSTRING& prefix);
    // Replaces the table's rows by the elements in memory, in one
    // transaction: a failure rolls back and leaves the table as it was.
    // store, storeVariable and storeNewVariable write every element named
    // "password", whatever its component, with an empty text.
    XQRC store();
    // Updates the element's row; an element without a row changes nothing
    // and succeeds.
    XQRC storeVariable(ComponentEnum component, const XQSTRING& name);
    XQRC storeNewVariable(ComponentEnum component, const XQSTRING name);
    // Drops every element and marks the store not loaded, so that the next
    // load reads the table again.
    void unload();

    XQRC setValueInt(ComponentEnum component, const XQSTRING& name, int value, const XQSTRING& shortName);
    XQRC setValueString(ComponentEnum component, const XQSTRING& name, XQSTRING value, const XQSTRING& shortName);
    int getElement(ComponentEnum component, const XQSTRING& name, XQConfigurationElement& out);
    // Trace lines at level 3; the value of every element named "password"
    // is masked.
    void print();

    int getTraceLevel(ComponentEnum component) const;
    int getIsLoaded() const { return isLoaded; }

    XQConfiguration(const XQConfiguration&) = delete;
    XQConfiguration& operator=(const XQConfiguration&) = delete;

private:
    XQConfiguration();
    ~XQConfiguration() = default;

    XQConfigurationElement* find(ComponentEnum component, const XQSTRING& name);
    XQRC insertRow(XQOdbcCursor* cursor, const XQConfigurationElement& element);
    XQRC prepareInsert(XQOdbcCursor* cursor, const XQSTRING& prefix);

    int isLoaded;
    XQSTRING prefix;
    std::atomic<int> traceLevels[6];
    std::vector<XQConfigurationElement> elements;
};

#endif

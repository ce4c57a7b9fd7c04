// The configuration store on a real table, on SQLite and on a private
// PostgreSQL cluster.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "foundation/Trace.h"
#include "support/DbTestEnv.h"

namespace {

::testing::Environment* const gDbEnv = ::testing::AddGlobalTestEnvironment(new DbTestEnvironment);

const char* const kChildVar = "TCORE_CONFIG_CHILD";

// component, name, type, value_int, value_char, short_name
typedef std::tuple<std::string, std::string, std::string, int, std::string, std::string> Row;

std::string trimmed(const char* s) {
    std::string v(s);
    v.erase(v.find_last_not_of(' ') + 1);
    return v;
}

template <class Backend>
class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        TCORE_REQUIRE_BACKEND(Backend);
        helper = XQOdbc::getEnv()->getConnection(1);
        XQRC rc = helper->connect(Backend::dsn(), kPgUser, kPgPassword, 0);
        ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
        // The child (run with a filter for its one case) reads what the parent stored.
        if (std::getenv(kChildVar) != nullptr) return;
        ASSERT_EQ(0, helper->executeDrop(L"DROP TABLE " + table()).code);
        rc = helper->executeStmt(L"CREATE TABLE " + table() +
                                     L" (component CHAR(10) NOT NULL, name VARCHAR(20) NOT NULL,"
                                     L" type CHAR(1) NOT NULL, value_int INTEGER, value_char VARCHAR(199),"
                                     L" short_name VARCHAR(19), PRIMARY KEY (component, name),"
                                     L" CHECK (name <> 'POISON'))",
                                 0);
        ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
        seed(L"'DDD', 'AGENTMODULE', 'C', 0, 'agentmod', 'am'");
        seed(L"'DDD', 'DBVERSION', 'C', 0, '8.1.0', ''");
        seed(L"'RTK', 'TIMEOUT', 'N', 30, '', 'to'");
        seed(L"'Agent', 'WORKERS', 'N', 4, NULL, NULL");
        seed(L"'Other', 'MISC', 'C', 0, 'misc', ''");
    }

    void TearDown() override {
        setDebugTcore(0);
        XQConfiguration* config = XQConfiguration::getInstance();
        config->setValueInt(COMPONENT_XQODBC, L"TRACELVL", 0, L"");
        config->setValueInt(COMPONENT_RTK, L"TRACELVL", 0, L"");
        config->unload();
        XQConfiguration::terminate();
    }

    static XQSTRING table() { return Backend::isPostgres() ? L"tcore.configuration" : L"configuration"; }

    void seed(const XQSTRING& values) {
        XQRC rc = helper->executeStmt(L"INSERT INTO " + table() +
                                          L" (component, name, type, value_int, value_char, short_name) VALUES (" +
                                          values + L")",
                                      0);
        ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
    }

    XQRC init(const XQSTRING& password = L"secret-pw", int manualCommit = 1) {
        // PostgreSQL checks the role's own password; the store keeps whatever it is given.
        const XQSTRING pw = Backend::isPostgres() ? XQSTRING(kPgPassword) : password;
        return XQConfiguration::init(Backend::dsn(), L"tcore", kPgUser, pw, manualCommit);
    }

    std::vector<Row> readTable() {
        std::vector<Row> rows;
        XQRC rc(0, 0, XQRC::WhsSrv);
        XQOdbcCursor* c = helper->getCursor(5, rc);
        EXPECT_NE(nullptr, c);
        if (c == nullptr) return rows;
        char component[11], name[21], type[2], valueChar[200], shortName[20];
        SQLINTEGER valueInt = 0;
        long len[6] = {};
        rc = c->prepare(L"SELECT component, name, type, value_int, value_char, short_name FROM " + table() +
                        L" ORDER BY component, name");
        EXPECT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
        c->bindCol(1, SQL_C_CHAR, component, sizeof(component), &len[0]);
        c->bindCol(2, SQL_C_CHAR, name, sizeof(name), &len[1]);
        c->bindCol(3, SQL_C_CHAR, type, sizeof(type), &len[2]);
        c->bindCol(4, SQL_C_SLONG, &valueInt, sizeof(valueInt), &len[3]);
        c->bindCol(5, SQL_C_CHAR, valueChar, sizeof(valueChar), &len[4]);
        c->bindCol(6, SQL_C_CHAR, shortName, sizeof(shortName), &len[5]);
        for (int i = 0; i < 1000 && c->fetch(rc) == 1; ++i) {
            if (len[4] == SQL_NULL_DATA) valueChar[0] = 0;
            if (len[5] == SQL_NULL_DATA) shortName[0] = 0;
            rows.emplace_back(trimmed(component), name, type, len[3] == SQL_NULL_DATA ? 0 : valueInt, valueChar,
                              shortName);
        }
        EXPECT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
        c->free();
        helper->dropCursor(5);
        return rows;
    }

    const Row* findRow(const std::vector<Row>& rows, const std::string& component, const std::string& name) {
        for (const Row& r : rows)
            if (std::get<0>(r) == component && std::get<1>(r) == name) return &r;
        return nullptr;
    }

    XQOdbcConnect* helper = nullptr;
};

typedef ::testing::Types<SQLiteBackend, PostgresBackend> Backends;
class BackendNames {
public:
    template <class T>
    static std::string GetName(int) {
        return T::name();
    }
};
TYPED_TEST_SUITE(ConfigurationTest, Backends, BackendNames);

TYPED_TEST(ConfigurationTest, LoadAndTypedLookups) {
    XQRC rc = this->init();
    ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage) << xqToMultibyte(rc.comment);
    XQConfiguration* config = XQConfiguration::getInstance();
    EXPECT_EQ(1, config->getIsLoaded());
    EXPECT_EQ(L"tcore", XQConfiguration::getPrefix());

    rc = XQRC(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(30, XQConfiguration::getValueInt(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"to", XQConfiguration::getShortName(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"agentmod", XQConfiguration::getValueString(COMPONENT_DDD, L"AGENTMODULE", rc));
    EXPECT_EQ(4, XQConfiguration::getValueInt(COMPONENT_AGENT, L"WORKERS", rc));
    EXPECT_EQ(L"", XQConfiguration::getShortName(COMPONENT_AGENT, L"WORKERS", rc));
    EXPECT_EQ(L"misc", XQConfiguration::getValueString(COMPONENT_NONE, L"MISC", rc));
    EXPECT_EQ(L"tcore", XQConfiguration::getValueString(COMPONENT_DDD, L"prefix", rc));
    EXPECT_EQ(TypeParam::dsn(), XQConfiguration::getValueString(COMPONENT_DDD, L"dbName", rc));
    XQSTRING name = L"AGENTMODULE";
    EXPECT_EQ(1, XQConfiguration::getIsString(COMPONENT_DDD, name, rc));
    EXPECT_EQ(0, rc.code);

    EXPECT_EQ(-1, XQConfiguration::getValueInt(COMPONENT_RTK, L"MISSING", rc));
    EXPECT_EQ(9162, rc.code);
    EXPECT_EQ(XQRC::WhsDDD, rc.domain);
    EXPECT_EQ(L"XQConfiguration::getValueInt", rc.methodName);
    rc = XQRC(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(-1, XQConfiguration::getValueInt(COMPONENT_DDD, L"AGENTMODULE", rc));
    EXPECT_EQ(9163, rc.code);
    rc = XQRC(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(L"", XQConfiguration::getValueString(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(9164, rc.code);
    EXPECT_EQ(XQRC::WhsDDD, rc.domain);
    EXPECT_EQ(L"XQConfiguration::getValueString", rc.methodName);
    rc = XQRC(0, 0, XQRC::WhsSrv);
    XQConfiguration::getShortName(COMPONENT_LOG, L"TIMEOUT", rc);
    EXPECT_EQ(9162, rc.code);

    std::vector<XQConfigurationElement> rtk = XQConfiguration::getList(COMPONENT_RTK);
    ASSERT_EQ(1u, rtk.size());
    EXPECT_EQ(L"TIMEOUT", rtk[0].name);
    // Five rows and the four values init keeps in memory.
    EXPECT_EQ(9u, XQConfiguration::getListAll().size());
    XQConfigurationElement e;
    EXPECT_EQ(1, config->getElement(COMPONENT_DDD, L"DBVERSION", e));
    EXPECT_EQ(L"8.1.0", e.valueString);
    EXPECT_EQ(0, config->getElement(COMPONENT_LOG, L"DBVERSION", e));
}

TYPED_TEST(ConfigurationTest, LoadPutsRowsIntoTheListAndKeepsTheirBlanks) {
    this->seed(L"'Log', 'PADDED', 'C', 0, 'abc  ', 'sn '");
    XQConfiguration* config = XQConfiguration::getInstance();
    // Set before the first load: one the table lacks, one it has.
    ASSERT_EQ(0, config->setValueInt(COMPONENT_LOG, L"EARLY", 3, L"e").code);
    ASSERT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TIMEOUT", 99, L"mem").code);
    ASSERT_EQ(0, this->init().code);
    XQRC rc(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(3, XQConfiguration::getValueInt(COMPONENT_LOG, L"EARLY", rc));
    EXPECT_EQ(30, XQConfiguration::getValueInt(COMPONENT_RTK, L"TIMEOUT", rc)) << "the row replaces it";
    EXPECT_EQ(L"to", XQConfiguration::getShortName(COMPONENT_RTK, L"TIMEOUT", rc));
    // The CHAR component loses its padding; the VARCHAR values keep their blanks.
    EXPECT_EQ(L"abc  ", XQConfiguration::getValueString(COMPONENT_LOG, L"PADDED", rc));
    EXPECT_EQ(L"sn ", XQConfiguration::getShortName(COMPONENT_LOG, L"PADDED", rc));
    EXPECT_EQ(0, rc.code);
    // Six rows, the early element and the four values init keeps in memory.
    EXPECT_EQ(11u, XQConfiguration::getListAll().size());
}

TYPED_TEST(ConfigurationTest, SettersKeepTypesAndRequiredKeys) {
    ASSERT_EQ(0, this->init().code);
    XQConfiguration* config = XQConfiguration::getInstance();
    XQRC rc = config->setValueString(COMPONENT_DDD, L"DBVERSION", L"", L"");
    EXPECT_EQ(9164, rc.code);
    EXPECT_EQ(XQRC::WhsSrv, rc.domain);
    EXPECT_EQ(L"value==blank", rc.comment);
    EXPECT_EQ(L"DBVERSION", rc.messageToken1);
    EXPECT_EQ(L"XQConfiguration::setValueString", rc.methodName);
    EXPECT_EQ(L"8.1.0", XQConfiguration::getValueString(COMPONENT_DDD, L"DBVERSION", rc));
    EXPECT_EQ(9164, config->setValueString(COMPONENT_DDD, L"prefix", L"", L"").code);

    EXPECT_EQ(0, config->setValueString(COMPONENT_DDD, L"COMMENT", L"", L"").code);
    rc = XQRC(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(L"", XQConfiguration::getValueString(COMPONENT_DDD, L"COMMENT", rc));
    EXPECT_EQ(0, rc.code);

    rc = config->setValueString(COMPONENT_RTK, L"TIMEOUT", L"text", L"");
    EXPECT_EQ(9164, rc.code);
    EXPECT_EQ(XQRC::WhsDDD, rc.domain);
    EXPECT_EQ(9163, config->setValueInt(COMPONENT_DDD, L"AGENTMODULE", 1, L"").code);
    EXPECT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TIMEOUT", 31, L"t").code);
    EXPECT_EQ(31, XQConfiguration::getValueInt(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"t", XQConfiguration::getShortName(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TRACELVL", 3, L"").code);
    EXPECT_EQ(3, config->getTraceLevel(COMPONENT_RTK));
}

TYPED_TEST(ConfigurationTest, StoreRoundTripsThroughAFreshProcess) {
    ASSERT_EQ(0, this->init(L"secret-pw", 1).code);
    XQConfiguration* config = XQConfiguration::getInstance();
    ASSERT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TIMEOUT", 45, L"to2").code);
    ASSERT_EQ(0, config->setValueString(COMPONENT_AGENT, L"NEWKEY", L"new value", L"nk").code);
    XQRC rc = config->store();
    ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage) << xqToMultibyte(rc.comment);

    std::vector<Row> rows = this->readTable();
    EXPECT_EQ(XQConfiguration::getListAll().size(), rows.size());
    const Row* timeout = this->findRow(rows, "RTK", "TIMEOUT");
    ASSERT_NE(nullptr, timeout);
    EXPECT_EQ(Row("RTK", "TIMEOUT", "N", 45, "", "to2"), *timeout);
    const Row* newKey = this->findRow(rows, "Agent", "NEWKEY");
    ASSERT_NE(nullptr, newKey);
    EXPECT_EQ(Row("Agent", "NEWKEY", "C", 0, "new value", "nk"), *newKey);
    // The password is a row of its own, but never its value.
    const Row* password = this->findRow(rows, "DDD", "password");
    ASSERT_NE(nullptr, password);
    EXPECT_EQ("", std::get<4>(*password));
    EXPECT_EQ("C", std::get<2>(*password));
    const XQSTRING expectedPw = TypeParam::isPostgres() ? XQSTRING(kPgPassword) : XQSTRING(L"secret-pw");
    EXPECT_EQ(expectedPw, XQConfiguration::getValueString(COMPONENT_DDD, L"password", rc));
    // A component the store does not know comes back as "NONE".
    EXPECT_NE(nullptr, this->findRow(rows, "NONE", "MISC"));
    // The store left the connection as init made it.
    EXPECT_FALSE(XQOdbc::getEnv()->getConnection(0)->isAutoCommit());

    // Nothing of this process's state reaches the child: it loads the table anew.
    EXPECT_EQ(0, runChildTest("ConfigurationTest/*.ReloadInChild", kChildVar, TypeParam::name()));
}

TYPED_TEST(ConfigurationTest, ReloadInChild) {
    const char* child = std::getenv(kChildVar);
    if (child == nullptr || std::string(child) != TypeParam::name()) GTEST_SKIP() << "run by the round trip";
    XQConfiguration* config = XQConfiguration::getInstance();
    ASSERT_EQ(0, config->getIsLoaded());
    ASSERT_EQ(0, this->init(L"child-pw", 0).code);
    XQRC rc(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(45, XQConfiguration::getValueInt(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"to2", XQConfiguration::getShortName(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"new value", XQConfiguration::getValueString(COMPONENT_AGENT, L"NEWKEY", rc));
    EXPECT_EQ(L"nk", XQConfiguration::getShortName(COMPONENT_AGENT, L"NEWKEY", rc));
    EXPECT_EQ(L"agentmod", XQConfiguration::getValueString(COMPONENT_DDD, L"AGENTMODULE", rc));
    EXPECT_EQ(4, XQConfiguration::getValueInt(COMPONENT_AGENT, L"WORKERS", rc));
    EXPECT_EQ(0, rc.code);
    EXPECT_EQ(10u, XQConfiguration::getListAll().size());
    // The password in memory is the one this process gave, not the table's.
    const XQSTRING expectedPw = TypeParam::isPostgres() ? XQSTRING(kPgPassword) : XQSTRING(L"child-pw");
    EXPECT_EQ(expectedPw, XQConfiguration::getValueString(COMPONENT_DDD, L"password", rc));
}

TYPED_TEST(ConfigurationTest, FailedStoreLeavesTheTableAsItWas) {
    ASSERT_EQ(0, this->init(L"secret-pw", 0).code);
    std::vector<Row> before = this->readTable();
    ASSERT_EQ(5u, before.size());
    XQConfiguration* config = XQConfiguration::getInstance();
    ASSERT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TIMEOUT", 46, L"").code);
    // The table's check refuses this row in the middle of the store.
    ASSERT_EQ(0, config->setValueString(COMPONENT_DDD, L"POISON", L"x", L"").code);
    ASSERT_EQ(0, config->setValueString(COMPONENT_LOG, L"AFTER", L"y", L"").code);
    XQRC rc = config->store();
    EXPECT_EQ(2011, rc.code);
    EXPECT_EQ(XQRC::ODBC, rc.domain);
    EXPECT_NE(XQSTRING::npos, rc.comment.find(L"XQConfiguration::store"));
    EXPECT_EQ(before, this->readTable());
    EXPECT_TRUE(XQOdbc::getEnv()->getConnection(0)->isAutoCommit());
}

TYPED_TEST(ConfigurationTest, StoreOneVariable) {
    ASSERT_EQ(0, this->init().code);
    XQConfiguration* config = XQConfiguration::getInstance();
    ASSERT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TIMEOUT", 99, L"to").code);
    XQRC rc = config->storeVariable(COMPONENT_RTK, L"TIMEOUT");
    ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
    ASSERT_EQ(0, config->setValueString(COMPONENT_LOG, L"LOGDIR", L"/var/log/x", L"ld").code);
    rc = config->storeNewVariable(COMPONENT_LOG, L"LOGDIR");
    ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);

    std::vector<Row> rows = this->readTable();
    EXPECT_EQ(6u, rows.size());
    ASSERT_NE(nullptr, this->findRow(rows, "RTK", "TIMEOUT"));
    EXPECT_EQ(99, std::get<3>(*this->findRow(rows, "RTK", "TIMEOUT")));
    ASSERT_NE(nullptr, this->findRow(rows, "Log", "LOGDIR"));
    EXPECT_EQ(Row("Log", "LOGDIR", "C", 0, "/var/log/x", "ld"), *this->findRow(rows, "Log", "LOGDIR"));

    rc = config->storeVariable(COMPONENT_RTK, L"MISSING");
    EXPECT_EQ(9162, rc.code);
    EXPECT_EQ(XQRC::WhsDDD, rc.domain);
    EXPECT_EQ(9162, config->storeNewVariable(COMPONENT_RTK, L"MISSING").code);
    // An element without a row: the update touches nothing and that is no failure.
    ASSERT_EQ(0, config->setValueInt(COMPONENT_LOG, L"NOROW", 5, L"").code);
    rc = config->storeVariable(COMPONENT_LOG, L"NOROW");
    EXPECT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
    EXPECT_EQ(nullptr, this->findRow(this->readTable(), "Log", "NOROW"));
    // A second insert of the same row breaks the table's key.
    rc = config->storeNewVariable(COMPONENT_LOG, L"LOGDIR");
    EXPECT_EQ(2011, rc.code);
    EXPECT_NE(XQSTRING::npos, rc.comment.find(L"XQConfiguration::storeNewVariable"));
    EXPECT_EQ(6u, this->readTable().size());
}

TYPED_TEST(ConfigurationTest, NoPasswordReachesTheTable) {
    ASSERT_EQ(0, this->init().code);
    XQConfiguration* config = XQConfiguration::getInstance();
    const ComponentEnum components[] = {COMPONENT_DDD, COMPONENT_RTK, COMPONENT_AGENT, COMPONENT_XQODBC,
                                        COMPONENT_LOG, COMPONENT_NONE};
    // First inserted one by one, then updated one by one, then all stored anew.
    const std::pair<const char*, std::function<XQRC(ComponentEnum)>> stores[] = {
        {"storeNewVariable", [&](ComponentEnum c) { return config->storeNewVariable(c, L"password"); }},
        {"storeVariable", [&](ComponentEnum c) { return config->storeVariable(c, L"password"); }},
        {"store", [&](ComponentEnum) { return config->store(); }}};
    for (const auto& how : stores) {
        for (ComponentEnum c : components) {
            SCOPED_TRACE(std::string(how.first) + " " + xqToMultibyte(ComponentEnumToString(c)));
            ASSERT_EQ(0, config->setValueString(c, L"password", L"pw-in-clear", L"").code);
            const XQRC rc = how.second(c);
            ASSERT_EQ(0, rc.code) << xqToMultibyte(rc.systemMessage);
        }
        for (const Row& row : this->readTable()) EXPECT_EQ(std::string::npos, std::get<4>(row).find("pw-in-clear"));
    }
    // All six rows are there, each without its value.
    int passwords = 0;
    for (const Row& row : this->readTable()) passwords += std::get<1>(row) == "password" ? 1 : 0;
    EXPECT_EQ(6, passwords);
}

TYPED_TEST(ConfigurationTest, TraceLevelRowSwitchesTheSqlTrace) {
    this->seed(L"'XQOdbc', 'TRACELVL', 'N', 1, '', ''");
    setDebugTcore(3);
    ::testing::internal::CaptureStdout();
    XQRC rc = this->init();
    std::string loading = ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(0, rc.code);
    EXPECT_NE(std::string::npos, loading.find("vcconfig::ctor Set Tracelvl for XQOdbc")) << loading;
    EXPECT_EQ(1, XQConfiguration::getInstance()->getTraceLevel(COMPONENT_XQODBC));
    EXPECT_TRUE(XQConfiguration::sqlTraceOn());

    ASSERT_EQ(0, XQConfiguration::getInstance()->setValueString(COMPONENT_AGENT, L"password", L"Agent-pw9", L"").code);
    ::testing::internal::CaptureStdout();
    XQOdbc::getEnv()->getConnection(0)->executeStmt(L"UPDATE tcore.configuration SET value_int = 2 WHERE name = 'none'",
                                                    1);
    XQConfiguration::getInstance()->print();
    std::string out = ::testing::internal::GetCapturedStdout();
    // Every password is masked, whatever its component.
    EXPECT_EQ(std::string::npos, out.find("Agent-pw9")) << out;
    EXPECT_EQ(std::string::npos, out.find(TypeParam::isPostgres() ? "tcore-pw" : "secret-pw")) << out;
    EXPECT_NE(std::string::npos, out.find("valueString = Xxxxx-xxN\n")) << out;
    EXPECT_NE(std::string::npos, out.find(TypeParam::isPostgres() ? "valueString = xxxxx-xx\n" : "valueString = xxxxxx-xx\n"));
    EXPECT_NE(std::string::npos,
              out.find("------------ Executing:\nUPDATE tcore.configuration SET value_int = 2 WHERE name = 'none'\n"))
        << out;
    EXPECT_NE(std::string::npos, out.find("vcconfig::print XQConfiguration isLoaded = 1")) << out;
    EXPECT_NE(std::string::npos, out.find("vcconfigElement::print name= TIMEOUT")) << out;
}

TYPED_TEST(ConfigurationTest, PrefixMustBeAnIdentifier) {
    XQRC rc = XQConfiguration::init(TypeParam::dsn(), L"tcore.configuration; DROP TABLE x; --", kPgUser,
                                    kPgPassword, 0);
    EXPECT_EQ(9164, rc.code);
    EXPECT_NE(XQSTRING::npos, rc.comment.find(L"prefix is not an identifier"));
    EXPECT_EQ(0, XQConfiguration::getInstance()->getIsLoaded());
    EXPECT_EQ(9164, XQConfiguration::getInstance()->load(L"1abc").code);
    EXPECT_EQ(5u, this->readTable().size());
}

TYPED_TEST(ConfigurationTest, ConnectFailureIsReturnedWithComment) {
    XQRC rc = XQConfiguration::init(L"tcore_no_such_dsn", L"tcore", kPgUser, kPgPassword, 0);
    EXPECT_EQ(2009, rc.code);
    EXPECT_EQ(L"XQConfiguration::init", rc.comment);
    EXPECT_EQ(0, XQConfiguration::getInstance()->getIsLoaded());
}

TEST(ConfigurationComponents, TextForms) {
    EXPECT_EQ(COMPONENT_AGENT, ComponentEnumFromString(L"Agent"));
    EXPECT_EQ(COMPONENT_NONE, ComponentEnumFromString(L"agent"));
    EXPECT_EQ(COMPONENT_XQODBC, ComponentEnumFromString(L"XQOdbc"));
    EXPECT_EQ(COMPONENT_NONE, ComponentEnumFromString(L"NONE"));
    EXPECT_EQ(L"DDD", ComponentEnumToString(COMPONENT_DDD));
    EXPECT_EQ(L"Log", ComponentEnumToString(COMPONENT_LOG));
    EXPECT_EQ(L"NONE", ComponentEnumToString(static_cast<ComponentEnum>(9)));
    EXPECT_EQ(L"NONE", ComponentEnumToString(COMPONENT_NONE));
    XQConfigurationElement a(COMPONENT_RTK, L"X", 1, L"a", 0, L""), b(COMPONENT_RTK, L"X", 0, L"", 5, L"s");
    EXPECT_TRUE(a == b);
    ComponentEnum c;
    XQSTRING name, shortName, value;
    int isString = 0;
    long number = 0;
    b.get(c, name, shortName, isString, value, number);
    EXPECT_EQ(COMPONENT_RTK, c);
    EXPECT_EQ(L"s", shortName);
    EXPECT_EQ(5, number);
}

}  // namespace

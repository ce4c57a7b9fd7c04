// The configuration store on a real table, on SQLite and on a private
// PostgreSQL cluster.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "db/XQOdbcCursor.h"
#include "foundation/Trace.h"
#include "support/ChildProcess.h"
#include "support/DbTestEnv.h"

namespace {

::testing::Environment* const gDbEnv = ::testing::AddGlobalTestEnvironment(new DbTestEnvironment);

const char* const kChildVar = "TCORE_CONFIG_CHILD";

template <class Backend>
class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        TCORE_REQUIRE_BACKEND(Backend);
        helper = XQOdbc::getEnv()->getConnection(1);
        ASSERT_TRUE(succeeded(helper->connect(Backend::dsn(), kPgUser, kPgPassword, 0)));
        // The child (run with a filter for its one case) reads what the parent stored.
        if (std::getenv(kChildVar) != nullptr) return;
        ASSERT_EQ(0, helper->executeDrop(L"DROP TABLE " + table()).code);
        ASSERT_TRUE(createConfigurationTable(*helper, table(),
                                             {L"'DDD', 'AGENTMODULE', 'C', 0, 'agentmod', 'am'",
                                              L"'DDD', 'DBVERSION', 'C', 0, '8.1.0', ''",
                                              L"'RTK', 'TIMEOUT', 'N', 30, '', 'to'",
                                              L"'Agent', 'WORKERS', 'N', 4, NULL, NULL",
                                              L"'Other', 'MISC', 'C', 0, 'misc', ''"},
                                             L", CHECK (name <> 'POISON')"));
    }

    void TearDown() override {
        setDebugTcore(0);
        XQConfiguration* config = XQConfiguration::getInstance();
        config->setValueInt(COMPONENT_XQODBC, L"TRACELVL", 0, L"");
        config->setValueInt(COMPONENT_RTK, L"TRACELVL", 0, L"");
        config->unload();
        XQConfiguration::terminate();
    }

    static XQSTRING table() {
        return Backend::isPostgres() ? L"tcore.configuration" : L"configuration";
    }

    void seed(const XQSTRING& values) {
        ASSERT_TRUE(succeeded(
            helper->executeStmt(L"INSERT INTO " + table() + L" VALUES (" + values + L")", 0)));
    }

    XQRC init(const XQSTRING& password = L"secret-pw", int manualCommit = 1) {
        // PostgreSQL checks the role's own password; the store keeps whatever it is given.
        const XQSTRING pw = Backend::isPostgres() ? XQSTRING(kPgPassword) : password;
        return XQConfiguration::init(Backend::dsn(), L"tcore", kPgUser, pw, manualCommit);
    }

    // Every row as "component|name|type|value_int|value_char|short_name", NULL
    // as 0 or empty, in key order.
    std::vector<std::string> readTable() {
        return selectTexts(
            *helper,
            L"SELECT TRIM(component) || '|' || name || '|' || type || '|' || COALESCE(value_int, 0)"
            L" || '|' || COALESCE(value_char, '') || '|' || COALESCE(short_name, '') FROM " +
                table() + L" ORDER BY component, name");
    }

    // The row whose component and name start key ("RTK|TIMEOUT"); empty when none.
    static std::string rowOf(const std::vector<std::string>& rows, const std::string& key) {
        for (const std::string& r : rows)
            if (r.compare(0, key.size() + 1, key + "|") == 0) return r;
        return "";
    }

    XQOdbcConnect* helper = nullptr;
};

TYPED_TEST_SUITE(ConfigurationTest, Backends, BackendNames);

TYPED_TEST(ConfigurationTest, LoadAndTypedLookups) {
    this->seed(L"'Log', 'PADDED', 'C', 0, 'abc  ', 'sn '");
    XQConfiguration* config = XQConfiguration::getInstance();
    // Set before the first load: one the table lacks, one it has.
    ASSERT_EQ(0, config->setValueInt(COMPONENT_LOG, L"EARLY", 3, L"e").code);
    ASSERT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TIMEOUT", 99, L"mem").code);
    ASSERT_TRUE(succeeded(this->init()));
    EXPECT_EQ(1, config->getIsLoaded());
    EXPECT_EQ(L"tcore", XQConfiguration::getPrefix());

    XQRC rc(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(3, XQConfiguration::getValueInt(COMPONENT_LOG, L"EARLY", rc));
    EXPECT_EQ(30, XQConfiguration::getValueInt(COMPONENT_RTK, L"TIMEOUT", rc)) << "the row's";
    EXPECT_EQ(L"to", XQConfiguration::getShortName(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"agentmod", XQConfiguration::getValueString(COMPONENT_DDD, L"AGENTMODULE", rc));
    EXPECT_EQ(4, XQConfiguration::getValueInt(COMPONENT_AGENT, L"WORKERS", rc));
    EXPECT_EQ(L"", XQConfiguration::getShortName(COMPONENT_AGENT, L"WORKERS", rc));
    EXPECT_EQ(L"misc", XQConfiguration::getValueString(COMPONENT_NONE, L"MISC", rc));
    EXPECT_EQ(L"tcore", XQConfiguration::getValueString(COMPONENT_DDD, L"prefix", rc));
    EXPECT_EQ(TypeParam::dsn(), XQConfiguration::getValueString(COMPONENT_DDD, L"dbName", rc));
    // The CHAR component loses its padding; the VARCHAR values keep their blanks.
    EXPECT_EQ(L"abc  ", XQConfiguration::getValueString(COMPONENT_LOG, L"PADDED", rc));
    EXPECT_EQ(L"sn ", XQConfiguration::getShortName(COMPONENT_LOG, L"PADDED", rc));
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
    // Six rows, the early element and the four values init keeps in memory.
    EXPECT_EQ(11u, XQConfiguration::getListAll().size());
    XQConfigurationElement e;
    EXPECT_EQ(1, config->getElement(COMPONENT_DDD, L"DBVERSION", e));
    EXPECT_EQ(L"8.1.0", e.valueString);
    EXPECT_EQ(0, config->getElement(COMPONENT_LOG, L"DBVERSION", e));
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
    ASSERT_TRUE(succeeded(config->store()));

    std::vector<std::string> rows = this->readTable();
    EXPECT_EQ(XQConfiguration::getListAll().size(), rows.size());
    EXPECT_EQ("RTK|TIMEOUT|N|45||to2", this->rowOf(rows, "RTK|TIMEOUT"));
    EXPECT_EQ("Agent|NEWKEY|C|0|new value|nk", this->rowOf(rows, "Agent|NEWKEY"));
    // The password is a row of its own, but never its value.
    EXPECT_EQ("DDD|password|C|0||", this->rowOf(rows, "DDD|password"));
    const XQSTRING expectedPw =
        TypeParam::isPostgres() ? XQSTRING(kPgPassword) : XQSTRING(L"secret-pw");
    XQRC rc(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(expectedPw, XQConfiguration::getValueString(COMPONENT_DDD, L"password", rc));
    // A component the store does not know comes back as "NONE".
    EXPECT_NE("", this->rowOf(rows, "NONE|MISC"));
    // The store left the connection as init made it.
    EXPECT_FALSE(XQOdbc::getEnv()->getConnection(0)->isAutoCommit());

    // Nothing of this process's state reaches the child: it loads the table anew.
    TempDir dir;
    const std::string name = TypeParam::name();
    ChildProcess child(dir.path(), "/proc/self/exe",
                       {"--gtest_filter=ConfigurationTest/" + name + ".ReloadInChild"}, "",
                       {{kChildVar, TypeParam::name()}});
    EXPECT_EQ(0, child.wait(60)) << child.out();
    EXPECT_NE(std::string::npos, child.out().find("[  PASSED  ] 1 test.")) << child.out();
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
    std::vector<std::string> before = this->readTable();
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
    ASSERT_TRUE(succeeded(config->storeVariable(COMPONENT_RTK, L"TIMEOUT")));
    ASSERT_EQ(0, config->setValueString(COMPONENT_LOG, L"LOGDIR", L"/var/log/x", L"ld").code);
    ASSERT_TRUE(succeeded(config->storeNewVariable(COMPONENT_LOG, L"LOGDIR")));

    std::vector<std::string> rows = this->readTable();
    EXPECT_EQ(6u, rows.size());
    EXPECT_EQ("RTK|TIMEOUT|N|99||to", this->rowOf(rows, "RTK|TIMEOUT"));
    EXPECT_EQ("Log|LOGDIR|C|0|/var/log/x|ld", this->rowOf(rows, "Log|LOGDIR"));

    XQRC rc = config->storeVariable(COMPONENT_RTK, L"MISSING");
    EXPECT_EQ(9162, rc.code);
    EXPECT_EQ(XQRC::WhsDDD, rc.domain);
    EXPECT_EQ(9162, config->storeNewVariable(COMPONENT_RTK, L"MISSING").code);
    // An element without a row: the update touches nothing and that is no failure.
    ASSERT_EQ(0, config->setValueInt(COMPONENT_LOG, L"NOROW", 5, L"").code);
    EXPECT_TRUE(succeeded(config->storeVariable(COMPONENT_LOG, L"NOROW")));
    EXPECT_EQ("", this->rowOf(this->readTable(), "Log|NOROW"));
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
            ASSERT_TRUE(succeeded(how.second(c)));
        }
        // All six rows are there, each without its value.
        int masked = 0;
        for (const std::string& row : this->readTable()) {
            EXPECT_EQ(std::string::npos, row.find("pw-in-clear")) << how.first;
            masked += row.find("|password|C|0||") != std::string::npos ? 1 : 0;
        }
        EXPECT_EQ(6, masked) << how.first;
    }
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

    setDebugTcore(0);
    XQConfiguration* config = XQConfiguration::getInstance();
    ASSERT_EQ(0, config->setValueInt(COMPONENT_XQODBC, L"TRACELVL", 0, L"").code);
    ::testing::internal::CaptureStdout();
    XQOdbc::getEnv()->getConnection(0)->executeStmt(L"SELECT 1", 1);
    EXPECT_EQ("", ::testing::internal::GetCapturedStdout()) << "the trace is off again";
}

// Neither a prefix that is no identifier nor a missing data source loads anything.
TYPED_TEST(ConfigurationTest, InitFailuresLoadNothing) {
    XQRC rc = XQConfiguration::init(TypeParam::dsn(), L"tcore.configuration; DROP TABLE x; --",
                                    kPgUser, kPgPassword, 0);
    EXPECT_EQ(9164, rc.code);
    EXPECT_NE(XQSTRING::npos, rc.comment.find(L"prefix is not an identifier"));
    EXPECT_EQ(9164, XQConfiguration::getInstance()->load(L"1abc").code);
    EXPECT_EQ(5u, this->readTable().size());
    rc = XQConfiguration::init(L"tcore_no_such_dsn", L"tcore", kPgUser, kPgPassword, 0);
    EXPECT_EQ(2009, rc.code);
    EXPECT_EQ(L"XQConfiguration::init", rc.comment);
    EXPECT_EQ(0, XQConfiguration::getInstance()->getIsLoaded());
}

// Components the table names as the store spells them; any other text, and
// any value out of range, is "NONE".
TEST(ConfigurationComponents, TextForms) {
    for (int c = COMPONENT_DDD; c <= COMPONENT_LOG; ++c)
        EXPECT_EQ(c, ComponentEnumFromString(ComponentEnumToString(static_cast<ComponentEnum>(c))));
    EXPECT_EQ(L"Agent", ComponentEnumToString(COMPONENT_AGENT));
    EXPECT_EQ(COMPONENT_NONE, ComponentEnumFromString(L"agent"));
    EXPECT_EQ(COMPONENT_NONE, ComponentEnumFromString(L"NONE"));
    EXPECT_EQ(L"NONE", ComponentEnumToString(static_cast<ComponentEnum>(9)));
    EXPECT_EQ(L"NONE", ComponentEnumToString(COMPONENT_NONE));
    // Elements are the same when component and name are.
    EXPECT_TRUE(XQConfigurationElement(COMPONENT_RTK, L"X", 1, L"a", 0, L"") ==
                XQConfigurationElement(COMPONENT_RTK, L"X", 0, L"", 5, L"s"));
}

}  // namespace

// The configuration store on a real table, on SQLite and on a private
// PostgreSQL cluster.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "db/XQConfiguration.h"
#include "db/XQOdbc.h"
#include "db/XQOdbcConnect.h"
#include "foundation/Trace.h"
#include "support/DbTestEnv.h"

namespace {

::testing::Environment* const gDbEnv = ::testing::AddGlobalTestEnvironment(new DbTestEnvironment);

template <class Backend>
class ConfigurationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TCORE_REQUIRE_BACKEND(Backend);
        helper = XQOdbc::getEnv()->getConnection(1);
        ASSERT_TRUE(succeeded(helper->connect(Backend::dsn(), kPgUser, kPgPassword, 0)));
        ASSERT_EQ(0, helper->executeDrop(L"DROP TABLE " + table()).code);
        ASSERT_TRUE(createConfigurationTable(
            *helper, table(),
            {L"'DDD', 'AGENTMODULE', 'C', 0, 'agentmod', 'am'",
             L"'DDD', 'DBVERSION', 'C', 0, '8.1.0', ''", L"'RTK', 'TIMEOUT', 'N', 30, '', 'to'",
             L"'Agent', 'WORKERS', 'N', 4, NULL, NULL", L"'Other', 'MISC', 'C', 0, 'misc', ''"},
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

TYPED_TEST(ConfigurationTest, LoadTypedLookupsAndSetters) {
    this->seed(L"'Log', 'PADDED', 'C', 0, 'abc  ', 'sn '");
    XQConfiguration* config = XQConfiguration::getInstance();
    // Set before the first load: one the table lacks, one it has.
    ASSERT_EQ(0, config->setValueInt(COMPONENT_LOG, L"EARLY", 3, L"e").code);
    ASSERT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TIMEOUT", 99, L"mem").code);
    ASSERT_TRUE(succeeded(this->init()));

    XQRC rc(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(3, XQConfiguration::getValueInt(COMPONENT_LOG, L"EARLY", rc));
    EXPECT_EQ(30, XQConfiguration::getValueInt(COMPONENT_RTK, L"TIMEOUT", rc)) << "the row's";
    EXPECT_EQ(L"to", XQConfiguration::getShortName(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"", XQConfiguration::getShortName(COMPONENT_AGENT, L"WORKERS", rc));
    EXPECT_EQ(L"misc", XQConfiguration::getValueString(COMPONENT_NONE, L"MISC", rc));
    // The CHAR component loses its padding; the VARCHAR values keep their blanks.
    EXPECT_EQ(L"abc  ", XQConfiguration::getValueString(COMPONENT_LOG, L"PADDED", rc));
    EXPECT_EQ(L"sn ", XQConfiguration::getShortName(COMPONENT_LOG, L"PADDED", rc));
    EXPECT_EQ(0, rc.code);

    EXPECT_EQ(-1, XQConfiguration::getValueInt(COMPONENT_RTK, L"MISSING", rc));
    EXPECT_EQ(9162, rc.code);
    rc = XQRC(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(-1, XQConfiguration::getValueInt(COMPONENT_DDD, L"AGENTMODULE", rc));
    EXPECT_EQ(9163, rc.code);
    // Six rows, the early element and the four values init keeps in memory.
    EXPECT_EQ(11u, XQConfiguration::getListAll().size());

    // Setters keep the types and the keys init needs.
    rc = config->setValueString(COMPONENT_DDD, L"DBVERSION", L"", L"");
    EXPECT_EQ(9164, rc.code);
    EXPECT_EQ(L"DBVERSION", rc.messageToken1);
    EXPECT_EQ(L"8.1.0", XQConfiguration::getValueString(COMPONENT_DDD, L"DBVERSION", rc));
    EXPECT_EQ(0, config->setValueString(COMPONENT_DDD, L"COMMENT", L"", L"").code);
    EXPECT_EQ(9164, config->setValueString(COMPONENT_RTK, L"TIMEOUT", L"text", L"").code);
    EXPECT_EQ(9163, config->setValueInt(COMPONENT_DDD, L"AGENTMODULE", 1, L"").code);
    EXPECT_EQ(0, config->setValueInt(COMPONENT_RTK, L"TRACELVL", 3, L"").code);
    EXPECT_EQ(3, config->getTraceLevel(COMPONENT_RTK));
}

TYPED_TEST(ConfigurationTest, StoreRoundTripsThroughTheTable) {
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
    // The store left the connection as init made it.
    EXPECT_FALSE(XQOdbc::getEnv()->getConnection(0)->isAutoCommit());

    // Loaded anew, the table gives back what was stored; the password in
    // memory is the one init is given, not the table's.
    config->unload();
    XQConfiguration::terminate();
    ASSERT_EQ(0, this->init(L"other-pw", 0).code);
    XQRC rc(0, 0, XQRC::WhsSrv);
    EXPECT_EQ(45, XQConfiguration::getValueInt(COMPONENT_RTK, L"TIMEOUT", rc));
    EXPECT_EQ(L"nk", XQConfiguration::getShortName(COMPONENT_AGENT, L"NEWKEY", rc));
    EXPECT_EQ(0, rc.code);
    EXPECT_EQ(10u, XQConfiguration::getListAll().size());
    const XQSTRING otherPw =
        TypeParam::isPostgres() ? XQSTRING(kPgPassword) : XQSTRING(L"other-pw");
    EXPECT_EQ(otherPw, XQConfiguration::getValueString(COMPONENT_DDD, L"password", rc));
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
    EXPECT_EQ(2011, config->store().code);
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

    EXPECT_EQ(9162, config->storeVariable(COMPONENT_RTK, L"MISSING").code);
    // A second insert of the same row breaks the table's key.
    EXPECT_EQ(2011, config->storeNewVariable(COMPONENT_LOG, L"LOGDIR").code);
    EXPECT_EQ(6u, this->readTable().size());
}

TYPED_TEST(ConfigurationTest, NoPasswordReachesTheTable) {
    ASSERT_EQ(0, this->init().code);
    XQConfiguration* config = XQConfiguration::getInstance();
    const ComponentEnum components[] = {COMPONENT_DDD,    COMPONENT_RTK, COMPONENT_AGENT,
                                        COMPONENT_XQODBC, COMPONENT_LOG, COMPONENT_NONE};
    // First inserted one by one, then updated one by one, then all stored anew.
    const std::pair<const char*, std::function<XQRC(ComponentEnum)>> stores[] = {
        {"storeNewVariable",
         [&](ComponentEnum c) { return config->storeNewVariable(c, L"password"); }},
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
    ASSERT_EQ(0, this->init().code);
    EXPECT_TRUE(XQConfiguration::sqlTraceOn());
    XQConfiguration* config = XQConfiguration::getInstance();
    ASSERT_EQ(0, config->setValueString(COMPONENT_AGENT, L"password", L"Agent-pw9", L"").code);
    const XQSTRING update = L"UPDATE tcore.configuration SET value_int = 2 WHERE name = 'none'";
    setDebugTcore(3);
    ::testing::internal::CaptureStdout();
    XQOdbc::getEnv()->getConnection(0)->executeStmt(update, 1);
    config->print();
    std::string out = ::testing::internal::GetCapturedStdout();
    setDebugTcore(0);
    // Every password is masked, whatever its component.
    EXPECT_EQ(std::string::npos, out.find("Agent-pw9")) << out;
    EXPECT_NE(std::string::npos, out.find("valueString = Xxxxx-xxN\n")) << out;
    EXPECT_NE(std::string::npos, out.find("------------ Executing:\n" + xqToMultibyte(update)))
        << out;

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
    EXPECT_EQ(5u, this->readTable().size());
    rc = XQConfiguration::init(L"tcore_no_such_dsn", L"tcore", kPgUser, kPgPassword, 0);
    EXPECT_EQ(2009, rc.code);
    EXPECT_EQ(L"XQConfiguration::init", rc.comment);
    EXPECT_EQ(0, XQConfiguration::getInstance()->getIsLoaded());
}

}  // namespace

#include "db/XQIniFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "security/PasswordScramble.h"
#include "support/ChildProcess.h"

namespace {

class IniFile : public ::testing::Test {
  protected:
    void SetUp() override { setenv("XQS_LOGGING", dir.path().c_str(), 1); }
    void TearDown() override { unsetenv("XQS_LOGGING"); }
    std::string path() const { return dir.path() + "/tcore.ini"; }
    std::string content() const { return readWholeFile(path()); }
    void put(const std::string& text) const { writeFile(path(), text); }
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.insert(e.path().filename());
        return names;
    }

    TempDir dir;
};

XQIniFile filled() {
    XQIniFile ini;
    ini.databaseName = L"warehouse";
    ini.qualifier = L"IWH";
    ini.userid = L"db2admin";
    ini.password = L"s3cret!";
    ini.instanceName = L"DB2";
    return ini;
}

}  // namespace

// The file is private (whatever the umask), replaced whole, and holds the
// password scrambled only; a read gives back what was written.
TEST_F(IniFile, WriteAndReadBack) {
    XQIniFile ini = filled();
    // Without a file a read changes nothing.
    EXPECT_EQ(0, ini.Read().code);
    EXPECT_EQ(ini.databaseName, L"warehouse");
    EXPECT_EQ(ini.logDirectory, xqFromMultibyte(dir.path()) + L"/");

    mode_t old = umask(0);
    ASSERT_EQ(ini.Write().code, 0);
    umask(old);
    EXPECT_EQ(ini.databaseName, L"WAREHOUSE");
    struct stat st;
    ASSERT_EQ(stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(files(), std::set<std::string>{"tcore.ini"}) << "no temporary file is left behind";
    EXPECT_EQ(content().find("s3cret"), std::string::npos);

    XQIniFile back;
    ASSERT_EQ(back.Read().code, 0);
    EXPECT_EQ(back.password, L"s3cret!");
    XQSTRING got;
    ASSERT_EQ(back.ReadRegValue(L"InstanceName", got).code, 0);
    EXPECT_EQ(got, L"DB2");
    // The library's own scrambling, stored as bytes.
    std::vector<unsigned char> expected;
    ASSERT_EQ(scramblePassword(L"s3cret!", expected).code, 0);
    ASSERT_EQ(back.ReadRegBinValue(L"Password", got).code, 0);
    EXPECT_EQ(got, XQSTRING(expected.begin(), expected.end()));
}

TEST_F(IniFile, DatabaseNameRules) {
    XQIniFile quoted = filled();
    quoted.databaseName = L"\"warehouse\"";
    ASSERT_EQ(quoted.Write().code, 0);
    EXPECT_EQ(quoted.databaseName, L"\"warehouse\"") << "a quoted name keeps its case";
    ASSERT_EQ(quoted.DeleteReg(nullptr).code, 0);

    XQIniFile special = filled();
    special.databaseName = L"&&&";
    ASSERT_EQ(special.Write().code, 0);
    EXPECT_EQ(content().find("Qualifier"), std::string::npos) << "no qualifier with &&&";
    XQIniFile back;
    ASSERT_EQ(back.Read().code, 0);
    EXPECT_EQ(back.databaseName, L"&&&");
}

// The stored length, not a zero byte, bounds a scrambled password: an empty
// one, and one whose scrambled form holds a zero byte, read back as written.
TEST_F(IniFile, PasswordsReadBackWhateverTheirBytes) {
    XQSTRING withZero;
    for (int i = 0; i < 2000 && withZero.empty(); ++i) {
        XQSTRING candidate = L"pw" + std::to_wstring(i) + L"-abcdefghijklmnop";
        std::vector<unsigned char> s;
        ASSERT_EQ(scramblePassword(candidate, s).code, 0);
        for (size_t k = 0; k + 1 < s.size(); ++k)
            if (s[k] == 0) withZero = candidate;
    }
    ASSERT_FALSE(withZero.empty());
    for (const XQSTRING& password : {withZero, XQSTRING()}) {
        XQIniFile ini = filled();
        ini.password = password;
        ASSERT_EQ(ini.Write().code, 0);
        XQIniFile back;
        back.password = L"old";
        ASSERT_EQ(back.Read().code, 0);
        EXPECT_EQ(back.password, password);
    }
    EXPECT_NE(content().find("Password:hex=0:\n"), std::string::npos) << content();
}

TEST_F(IniFile, RegistryStyleValues) {
    XQIniFile ini;
    const XQSTRING text = L"line one\nback\\slash \u00e4\u20ac = : #";
    ASSERT_EQ(ini.WriteRegValue(L"Text", text).code, 0);
    XQSTRING bin;
    for (int b = 0; b < 256; ++b) bin += static_cast<wchar_t>(b);
    ASSERT_EQ(ini.WriteRegBinValue(L"Blob", bin).code, 0);
    XQSTRING got;
    ASSERT_EQ(ini.ReadRegValue(L"text", got).code, 0) << "names compare ignoring case";
    EXPECT_EQ(got, text);
    ASSERT_EQ(ini.ReadRegBinValue(L"Blob", got).code, 0);
    EXPECT_EQ(got, bin);
    EXPECT_EQ(ini.WriteRegBinValue(L"Wide", L"\u0100").code, 9166) << "bytes only";
    EXPECT_EQ(ini.WriteRegValue(L"Bad=Name", L"x").code, 9166);
    ASSERT_EQ(ini.DeleteReg(L"text").code, 0);
    got = L"gone";
    ASSERT_EQ(ini.ReadRegValue(L"Text", got).code, 0);
    EXPECT_EQ(got, L"gone") << "a missing value leaves the output alone";
    ASSERT_EQ(ini.ReadRegBinValue(L"Blob", got).code, 0);
    EXPECT_EQ(got, bin) << "the other values stay";
}

TEST_F(IniFile, DamagedFilesReadAsAbsent) {
    const char* damaged[] = {
        "DatabaseName=A\ngarbage line\n",
        "DatabaseName=A\nPassword:hex=4:0102\n",
        "Password:hex=2:zz00\n",
        "DatabaseName=A\nDatabaseName=B\n",
        "DatabaseName=A",
        "DatabaseName=bad \\q escape\n",
        "DatabaseName=\xff\xfe\n",
    };
    for (const char* text : damaged) {
        put(text);
        XQIniFile ini = filled();
        EXPECT_EQ(ini.Read().code, 9165) << text;
        EXPECT_EQ(ini.databaseName, L"warehouse") << text;
        EXPECT_EQ(ini.password, L"s3cret!") << text;
    }
    put(std::string("DatabaseName=A\0B\n", 17));
    XQIniFile ini = filled();
    EXPECT_EQ(ini.Read().code, 9165);
    // A write sets the damaged file aside and starts anew.
    ASSERT_EQ(ini.Write().code, 0);
    EXPECT_EQ(files(), (std::set<std::string>{"tcore.ini", "tcore.ini.damaged"}));
    EXPECT_EQ(XQIniFile().Read().code, 0);
}

TEST_F(IniFile, FileOfAnotherUserIsNotTrusted) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to give the file away";
    put("DatabaseName=PLANTED\n");
    ASSERT_EQ(chown(path().c_str(), 65534, 65534), 0);
    XQIniFile ini = filled();
    EXPECT_EQ(ini.Read().code, 9165);
    EXPECT_EQ(ini.databaseName, L"warehouse");
}

TEST_F(IniFile, WriteFailureIsReported) {
    put("garbage\n");
    // The damaged file cannot be set aside: a non-empty directory is in the way.
    ASSERT_EQ(mkdir((path() + ".damaged").c_str(), 0700), 0);
    std::ofstream((path() + ".damaged/x").c_str()) << "x";
    XQIniFile ini = filled();
    XQRC rc = ini.Write();
    EXPECT_EQ(rc.code, 9166);
    EXPECT_NE(rc.secondaryCode, 0);
    EXPECT_EQ(content(), "garbage\n") << "nothing was half-written";
}

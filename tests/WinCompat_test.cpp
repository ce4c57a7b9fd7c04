// The Windows-named helpers over the C library.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "foundation/WinCompat.h"

namespace {

std::string tempDir() {
    char templ[] = "/tmp/tcore-wincompat-XXXXXX";
    const char* d = mkdtemp(templ);
    return d ? d : "";
}

TEST(WinCompat, FillAndFormatWideStrings) {
    wchar_t s[] = L"abcd";
    EXPECT_EQ(_tcsset(s, L'*'), s);
    EXPECT_STREQ(s, L"****");
    wchar_t empty[] = L"";
    _tcsset(empty, L'x');
    EXPECT_STREQ(empty, L"");

    wchar_t out[64];
    EXPECT_EQ(_stprintf(out, L"%ld", 42L), 2);
    EXPECT_STREQ(out, L"42");
    EXPECT_EQ(_stprintf(out, L"[%05ld]", -7L), 7);
    EXPECT_STREQ(out, L"[-0007]");
}

TEST(WinCompat, TimeIsLocalAndDateIsUtc) {
    // 14 hours east of UTC the local and the UTC date differ for ten hours
    // of each day; _strdate must give the UTC one whatever the hour.
    const char* oldTz = std::getenv("TZ");
    std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "XYZ-14", 1);
    tzset();
    char date[9] = {};
    char time[9] = {};
    std::time_t before = std::time(nullptr);
    _strdate(date);
    _strtime(time);
    std::time_t after = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&before, &utc);
    char expect[16];
    std::strftime(expect, sizeof expect, "%m/%d/%y", &utc);
    if (before == after) {
        EXPECT_STREQ(date, expect);
        std::tm local{};
        localtime_r(&before, &local);
        std::strftime(expect, sizeof expect, "%H:%M:%S", &local);
        EXPECT_STREQ(time, expect);
    }
    EXPECT_EQ(std::strlen(date), 8u);
    EXPECT_EQ(std::strlen(time), 8u);
    EXPECT_EQ(time[2], ':');
    EXPECT_EQ(time[5], ':');
    if (oldTz) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

TEST(WinCompat, WidePathFileFunctions) {
    std::string dir = tempDir();
    ASSERT_FALSE(dir.empty());
    XQSTRING path = xqFromMultibyte(dir) + L"/data.txt";

    FILE* f = _wfopen(path, "w");
    ASSERT_NE(f, nullptr);
    std::fputs("twelve bytes", f);
    std::fclose(f);

    int fd = _wopen(path, O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(_filelength(fd), 12);
    close(fd);
    EXPECT_EQ(_filelength(-1), -1);

    int created = _wopen(xqFromMultibyte(dir) + L"/new.txt", O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(created, 0);
    close(created);
    EXPECT_EQ(_wremove(xqFromMultibyte(dir) + L"/new.txt"), 0);

    EXPECT_EQ(_wremove(path), 0);
    EXPECT_NE(_wremove(path), 0);
    EXPECT_EQ(_wfopen(path, "r"), nullptr);
    rmdir(dir.c_str());
}

TEST(WinCompat, CurrentDirectoryIntoAShortBuffer) {
    unsigned short buf[512];
    ASSERT_EQ(_wgetcwd(buf, sizeof buf), buf);
    char expect[1024];
    ASSERT_NE(getcwd(expect, sizeof expect), nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), expect);
    EXPECT_EQ(_wgetcwd(buf, 1), nullptr);
}

TEST(WinCompat, FopenLooksUnderTheLogDirectory) {
    // A name that cannot exist there: the helper must not find it elsewhere.
    EXPECT_EQ(__Fopen("tcore-no-such-file-here", "r"), nullptr);
}

}  // namespace

// The Windows-named helpers over the C library.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "foundation/WinCompat.h"
#include "support/ChildProcess.h"

namespace {

TEST(WinCompat, FillAndFormatWideStrings) {
    wchar_t s[] = L"abcd";
    EXPECT_EQ(_tcsset(s, L'*'), s);
    EXPECT_STREQ(s, L"****");

    wchar_t out[64];
    EXPECT_EQ(_stprintf(out, L"[%05ld]", -7L), 7);
    EXPECT_STREQ(out, L"[-0007]");
}

TEST(WinCompat, TimeIsLocalAndDateIsUtc) {
    // 14 hours east of UTC the local and the UTC date differ for ten hours
    // of each day; _strdate must give the UTC one whatever the hour. Nothing
    // else in this program reads the zone.
    setenv("TZ", "XYZ-14", 1);
    tzset();
    char date[9] = {}, time[9] = {};
    std::time_t before = std::time(nullptr);
    _strdate(date);
    _strtime(time);
    if (before != std::time(nullptr)) return;  // a second passed in between
    std::tm utc{}, local{};
    char expect[16];
    gmtime_r(&before, &utc);
    std::strftime(expect, sizeof expect, "%m/%d/%y", &utc);
    EXPECT_STREQ(date, expect);
    localtime_r(&before, &local);
    std::strftime(expect, sizeof expect, "%H:%M:%S", &local);
    EXPECT_STREQ(time, expect);
}

TEST(WinCompat, WidePathFileFunctions) {
    TempDir dir;
    const XQSTRING path = xqFromMultibyte(dir.path()) + L"/data.txt";
    FILE* f = _wfopen(path, "w");
    ASSERT_NE(f, nullptr);
    std::fputs("twelve bytes", f);
    std::fclose(f);
    int fd = _wopen(path, O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(_filelength(fd), 12);
    close(fd);
    EXPECT_EQ(_wremove(path), 0);
    EXPECT_NE(_wremove(path), 0);
    // The mode reaches open: a file is created.
    int created = _wopen(path, O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(created, 0);
    close(created);
}

}  // namespace

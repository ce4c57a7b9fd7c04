#include <gtest/gtest.h>
#include <sqltypes.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

#include "foundation/TimeStamp.h"

namespace {

// POSIX TZ rules need no zone database.
void zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

class TimeStampTest : public ::testing::Test {
protected:
    void TearDown() override { zone("UTC0"); }
};

TimeStamp at(long count) {
    TimeStamp ts;
    ts.set_Stamp(static_cast<unsigned long>(count));
    return ts;
}

long utc(int y, int mo, int d, int h, int mi, int s) {
    struct tm t {};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    return static_cast<long>(timegm(&t));
}

const char kUsEastern[] = "EST5EDT,M3.2.0,M11.1.0";  // 14 March and 7 November 2021

TEST_F(TimeStampTest, TextFormsReadersAndOdbcFieldsAreLocal) {
    zone("UTC0");
    TimeStamp ts = at(utc(2001, 3, 7, 9, 5, 3));
    EXPECT_EQ(ts.toString(), L"2001/3/7 9:5:3");
    EXPECT_EQ(ts.toStringQL7(), L"2001-03-07-09.05.03.000000") << "padded in this form only";
    TIMESTAMP_STRUCT s;
    s.fraction = 77;
    zone("EST5");
    EXPECT_EQ(ts.toString(), L"2001/3/7 4:5:3");
    ts.toOdbc(s);
    EXPECT_EQ(s.year * 10000 + s.month * 100 + s.day, 20010307);
    EXPECT_EQ(s.hour * 10000 + s.minute * 100 + s.second, 40503);
    EXPECT_EQ(s.fraction, 0u);
    // And back, a fraction ignored.
    s.fraction = 999999;
    TimeStamp back = at(0);
    EXPECT_EQ(back.fromOdbc(s), 0);
    EXPECT_TRUE(back == ts);
    zone("CET-1");
    ts = at(utc(2001, 1, 1, 23, 30, 15));  // 00:30 on 2 January, a Tuesday
    // Year since 1900, month, day, hours, minutes, seconds, weekday, day of the year.
    const std::vector<int> fields = {ts.get_year(),      ts.get_month(),    ts.get_day(),
                                     ts.get_hours(),     ts.get_minutes(),  ts.get_seconds(),
                                     ts.get_dayOfWeek(), ts.get_dayOfYear()};
    EXPECT_EQ(fields, (std::vector<int>{101, 1, 2, 0, 30, 15, 2, 2}));
}

// Each change starts from a count in a zone and gives a return code and a count.
TEST_F(TimeStampTest, ChangesCarryRenormaliseAndCorrectTheHour) {
    using Op = std::function<int(TimeStamp&)>;
    struct Change {
        const char* name;
        const char* tz;
        long from;
        Op change;
        int rc;
        long to;
    };
    const Change changes[] = {
        // Setters lift a count below the floor to five hours after the epoch.
        {"floor, then day 1", "EST5", 0, [](TimeStamp& t) { return t.set_day(1); }, 0, 18000},
        {"31 February", "UTC0", utc(2021, 2, 10, 12, 0, 0),
         [](TimeStamp& t) { return t.set_day(31); }, 0, utc(2021, 3, 3, 12, 0, 0)},
        {"a month back from January", "UTC0", utc(2021, 1, 15, 8, 0, 0),
         [](TimeStamp& t) { return t.incr_month(-1); }, 0, utc(2020, 12, 15, 8, 0, 0)},
        {"minutes and days, over a month end", "UTC0", utc(2021, 2, 28, 23, 59, 50),
         [](TimeStamp& t) { return t.incr_minutes(90) + t.incr_day(-365); }, 0,
         utc(2020, 3, 1, 1, 29, 50)},
        {"29 February 2020, a leap year", "UTC0", utc(2021, 6, 1, 0, 0, 0),
         [](TimeStamp& t) { return t.set_date(2, 29, 120) + t.set_time(13, 14, 15); }, 0,
         utc(2020, 2, 29, 13, 14, 15)},
        {"29 February 2001 is 1 March", "UTC0", utc(2020, 2, 29, 13, 14, 15),
         [](TimeStamp& t) { return t.set_year(101); }, 0, utc(2001, 3, 1, 13, 14, 15)},
        // Beyond the 32-bit range: 999, and the (floored) count is kept.
        {"200 years", "UTC0", 5, [](TimeStamp& t) { return t.incr_year(200); }, 999, 18000},
        // One hour on from 01:30 EST lands at 03:30 EDT: one real hour later.
        {"an hour over the spring gap", kUsEastern, utc(2021, 3, 14, 6, 30, 0),
         [](TimeStamp& t) { return t.incr_hours(1); }, 0, utc(2021, 3, 14, 7, 30, 0)},
        // 01:30 EDT plus an hour renormalises to 01:30 EST, the hour before the
        // increment: the correction moves it to 03:30 EST.
        {"an hour swallowed by the autumn change", kUsEastern, utc(2021, 11, 7, 5, 30, 0),
         [](TimeStamp& t) { return t.incr_hours(1); }, 0, utc(2021, 11, 7, 8, 30, 0)},
        // From 10:30 EDT, 02:30 does not exist: read as 01:30 EST, then corrected.
        {"an hour set inside the spring gap", kUsEastern, utc(2021, 3, 14, 14, 30, 0),
         [](TimeStamp& t) { return t.set_hours(2); }, 0, utc(2021, 3, 14, 8, 30, 0)},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.name);
        zone(c.tz);
        TimeStamp ts = at(c.from);
        EXPECT_EQ(c.change(ts), c.rc);
        EXPECT_EQ(ts.get_Stamp(), static_cast<unsigned long>(c.to));
    }
}

TEST_F(TimeStampTest, Operators) {
    TimeStamp early = at(1000);
    TimeStamp late = at(5000);
    EXPECT_EQ(early - late, -4000);
    EXPECT_TRUE(early < late && late > early);
    EXPECT_EQ((early + late).get_Stamp(), 6000u);
    early += late;
    early -= late;  // deliberately a no-op
    EXPECT_EQ(early.get_Stamp(), 6000u);
    // Comparison is signed: a count with the top bit set is before the epoch.
    TimeStamp negative = at(0xFFFFFFF0UL);
    EXPECT_TRUE(negative < early);
    EXPECT_EQ(negative - at(0), -16);
}

}  // namespace

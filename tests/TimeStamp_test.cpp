#include <gtest/gtest.h>
#include <sqltypes.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

#include "foundation/TimeStamp.h"

namespace {

// Each test sets its own zone; POSIX TZ rules need no zone database.
class TimeStampTest : public ::testing::Test {
protected:
    void zone(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    void TearDown() override { zone("UTC0"); }

    static TimeStamp at(long count) {
        TimeStamp ts;
        ts.set_Stamp(static_cast<unsigned long>(count));
        return ts;
    }
    static long utc(int y, int mo, int d, int h, int mi, int s) {
        struct tm t {};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
        return static_cast<long>(timegm(&t));
    }
};

TEST_F(TimeStampTest, FreshStampHoldsNow) {
    long before = static_cast<long>(time(nullptr));
    TimeStamp ts;
    long after = static_cast<long>(time(nullptr));
    EXPECT_GE(static_cast<long>(ts.get_Stamp()), before);
    EXPECT_LE(static_cast<long>(ts.get_Stamp()), after);
}

TEST_F(TimeStampTest, TextFormsPadOnlyInTheDatabaseForm) {
    zone("UTC0");
    TimeStamp ts = at(utc(2001, 3, 7, 9, 5, 3));
    EXPECT_EQ(ts.toString(), L"2001/3/7 9:5:3");
    EXPECT_EQ(ts.toStringQL7(), L"2001-03-07-09.05.03.000000");
    TimeStamp late = at(utc(2019, 12, 31, 23, 59, 58));
    EXPECT_EQ(late.toString(), L"2019/12/31 23:59:58");
    EXPECT_EQ(late.toStringQL7(), L"2019-12-31-23.59.58.000000");
    zone("EST5");
    EXPECT_EQ(ts.toString(), L"2001/3/7 4:5:3");
}

TEST_F(TimeStampTest, ReadersGiveLocalFields) {
    zone("CET-1");
    TimeStamp ts = at(utc(2001, 1, 1, 23, 30, 15));  // 00:30 on 2 January, a Tuesday
    EXPECT_EQ(ts.get_year(), 101);
    EXPECT_EQ(ts.get_month(), 1);
    EXPECT_EQ(ts.get_day(), 2);
    EXPECT_EQ(ts.get_hours(), 0);
    EXPECT_EQ(ts.get_minutes(), 30);
    EXPECT_EQ(ts.get_seconds(), 15);
    EXPECT_EQ(ts.get_dayOfWeek(), 2);
    EXPECT_EQ(ts.get_dayOfYear(), 2);
}

TEST_F(TimeStampTest, FloorLiftsSmallCountsBeforeSettersOnly) {
    zone("EST5");
    TimeStamp ts = at(0);
    EXPECT_EQ(ts.get_Stamp(), 0u);  // set_Stamp and readers leave it alone
    EXPECT_EQ(ts.set_day(1), 0);
    EXPECT_EQ(ts.get_Stamp(), 18000u);  // 1970-01-01 00:00 local, day 1 already
    TimeStamp other = at(100);
    EXPECT_EQ(other.incr_seconds(1), 0);
    EXPECT_EQ(other.get_Stamp(), 18001u);
}

TEST_F(TimeStampTest, OverflowingFieldsCarry) {
    zone("UTC0");
    TimeStamp feb = at(utc(2021, 2, 10, 12, 0, 0));
    EXPECT_EQ(feb.set_day(31), 0);
    EXPECT_EQ(feb.get_Stamp(), static_cast<unsigned long>(utc(2021, 3, 3, 12, 0, 0)));

    TimeStamp jan = at(utc(2021, 1, 15, 8, 0, 0));
    EXPECT_EQ(jan.incr_month(-1), 0);
    EXPECT_EQ(jan.get_Stamp(), static_cast<unsigned long>(utc(2020, 12, 15, 8, 0, 0)));

    TimeStamp dec = at(utc(2020, 12, 15, 8, 0, 0));
    EXPECT_EQ(dec.set_month(13), 0);
    EXPECT_EQ(dec.get_Stamp(), static_cast<unsigned long>(utc(2021, 1, 15, 8, 0, 0)));

    TimeStamp t = at(utc(2021, 3, 1, 0, 0, 10));
    EXPECT_EQ(t.incr_seconds(-20), 0);
    EXPECT_EQ(t.get_Stamp(), static_cast<unsigned long>(utc(2021, 2, 28, 23, 59, 50)));
    EXPECT_EQ(t.incr_minutes(90), 0);
    EXPECT_EQ(t.incr_day(-365), 0);
    EXPECT_EQ(t.get_Stamp(), static_cast<unsigned long>(utc(2020, 3, 1, 1, 29, 50)));

    TimeStamp d = at(utc(2021, 6, 1, 0, 0, 0));
    EXPECT_EQ(d.set_date(2, 29, 120), 0);  // 2020 was a leap year
    EXPECT_EQ(d.set_time(13, 14, 15), 0);
    EXPECT_EQ(d.get_Stamp(), static_cast<unsigned long>(utc(2020, 2, 29, 13, 14, 15)));
    EXPECT_EQ(d.set_year(101), 0);  // 29 February 2001 is 1 March
    EXPECT_EQ(d.get_month(), 3);
    EXPECT_EQ(d.get_day(), 1);
}

TEST_F(TimeStampTest, FailedRenormalisationReturns999AndKeepsTheFlooredCount) {
    zone("UTC0");
    TimeStamp ts = at(5);
    EXPECT_EQ(ts.incr_year(200), 999);  // beyond the 32-bit range
    EXPECT_EQ(ts.get_Stamp(), 18000u);
    TimeStamp now = at(utc(2020, 1, 1, 0, 0, 0));
    EXPECT_EQ(now.incr_day(365 * 30), 999);
    EXPECT_EQ(now.get_Stamp(), static_cast<unsigned long>(utc(2020, 1, 1, 0, 0, 0)));
}

TEST_F(TimeStampTest, HourCorrectionAcrossTheSpringGap) {
    zone("EST5EDT,M3.2.0,M11.1.0");  // 2021-03-14 02:00 EST becomes 03:00 EDT
    // From daylight time, 02:30 does not exist: the hour is moved past the gap.
    TimeStamp ts = at(utc(2021, 3, 14, 14, 30, 0));  // 10:30 EDT
    EXPECT_EQ(ts.set_hours(2), 0);
    EXPECT_GE(ts.get_hours(), 3);
    EXPECT_EQ(ts.get_day(), 14);

    // One hour on from 01:30 EST lands at 03:30 EDT: one real hour later.
    TimeStamp before = at(utc(2021, 3, 14, 6, 30, 0));
    EXPECT_EQ(before.get_hours(), 1);
    TimeStamp moved = before;
    EXPECT_EQ(moved.incr_hours(1), 0);
    EXPECT_EQ(moved.get_hours(), 3);
    EXPECT_EQ(moved - before, 3600);
}

TEST_F(TimeStampTest, HourIncrementSwallowedByTheAutumnChangeIsRedone) {
    zone("EST5EDT,M3.2.0,M11.1.0");  // 2021-11-07 02:00 EDT becomes 01:00 EST
    TimeStamp ts = at(utc(2021, 11, 7, 5, 30, 0));  // 01:30 EDT
    ASSERT_EQ(ts.get_hours(), 1);
    EXPECT_EQ(ts.incr_hours(1), 0);
    // 02:30 with daylight time renormalises to 01:30 EST, the hour before the
    // increment, so the correction moves it to 03:30 EST.
    EXPECT_EQ(ts.get_hours(), 3);
    EXPECT_EQ(ts.get_Stamp(), static_cast<unsigned long>(utc(2021, 11, 7, 8, 30, 0)));
}

TEST_F(TimeStampTest, OdbcConversion) {
    zone("UTC0");
    TimeStamp ts = at(utc(2001, 3, 7, 9, 5, 3));
    TIMESTAMP_STRUCT s;
    s.fraction = 77;
    ts.toOdbc(s);
    EXPECT_EQ(s.year, 2001);
    EXPECT_EQ(s.month, 3);
    EXPECT_EQ(s.day, 7);
    EXPECT_EQ(s.hour, 9);
    EXPECT_EQ(s.minute, 5);
    EXPECT_EQ(s.second, 3);
    EXPECT_EQ(s.fraction, 0u);

    TimeStamp a = at(utc(1999, 1, 1, 0, 0, 0));
    TimeStamp b = at(utc(1999, 1, 1, 0, 0, 0));
    TIMESTAMP_STRUCT in = {2010, 12, 24, 18, 30, 45, 0};
    EXPECT_EQ(a.fromOdbc(in), 0);
    in.fraction = 999999;
    EXPECT_EQ(b.fromOdbc(in), 0);
    EXPECT_EQ(a.get_Stamp(), static_cast<unsigned long>(utc(2010, 12, 24, 18, 30, 45)));
    EXPECT_TRUE(a == b);
}

TEST_F(TimeStampTest, Operators) {
    TimeStamp early = at(1000);
    TimeStamp late = at(5000);
    EXPECT_EQ(early - late, -4000);
    EXPECT_EQ(late - early, 4000);
    EXPECT_TRUE(early < late);
    EXPECT_TRUE(late > early);
    EXPECT_FALSE(early == late);
    EXPECT_EQ((early + late).get_Stamp(), 6000u);
    early += late;
    EXPECT_EQ(early.get_Stamp(), 6000u);
    early -= late;  // deliberately a no-op
    EXPECT_EQ(early.get_Stamp(), 6000u);
    // Comparison is signed: a count with the top bit set is before the epoch.
    TimeStamp negative = at(0xFFFFFFF0UL);
    EXPECT_TRUE(negative < early);
    EXPECT_EQ(negative - at(0), -16);
    std::ostringstream os;
    os << late << ' ' << at(static_cast<unsigned long>(-5)) << ' ' << negative;
    EXPECT_EQ(os.str(), "5000 -5 -16") << "the signed count";
}

}  // namespace

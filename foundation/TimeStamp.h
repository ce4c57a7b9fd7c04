#ifndef TCORE_FOUNDATION_TIMESTAMP_H
#define TCORE_FOUNDATION_TIMESTAMP_H

#include <cstdint>
#include <iosfwd>

#include "foundation/Export.h"
#include "foundation/XQString.h"

struct tagTIMESTAMP_STRUCT;

// A point in time: one signed 32-bit count of seconds since 1970-01-01 UTC,
// broken into local-time fields on demand (localtime_r, so stamps may be
// read from several threads; one object must not be changed by two at once).
// Setters and incrementers first lift a count below 18000 to 18000, then
// renormalise with mktime; they return 0, or 999 when mktime fails (or the
// result leaves the 32-bit range), keeping the lifted count.
class TCORE_EXPORT TimeStamp {
public:
    TimeStamp();

    unsigned long timeStamp();
    unsigned long get_Stamp() const { return static_cast<uint32_t>(stamp); }
    void set_Stamp(unsigned long s) { stamp = static_cast<int32_t>(static_cast<uint32_t>(s)); }

    int get_year() const;  // years since 1900
    int get_month() const;  // 1..12
    int get_day() const;
    int get_hours() const;
    int get_minutes() const;
    int get_seconds() const;
    int get_dayOfWeek() const;  // 0 = Sunday
    int get_dayOfYear() const;  // 1 = 1 January

    int set_date(char month, char day, int year);
    int set_time(char hours, char minutes, char seconds);
    int set_day(char day);
    int set_month(char month);
    int set_year(char year);
    int set_hours(char hours);
    int set_minutes(char minutes);
    int set_seconds(char seconds);
    int incr_day(int n);
    int incr_month(int n);
    int incr_year(int n);
    int incr_hours(int n);
    int incr_minutes(int n);
    int incr_seconds(int n);

    // "2001/3/7 9:5:3": no padding. The form of every trace line.
    XQSTRING toString() const;
    // "2001-03-07-09.05.03.000000": the database timestamp literal.
    XQSTRING toStringQL7() const;

    // TIMESTAMP_STRUCT comes from <sqltypes.h>; include it to use these.
    void toOdbc(tagTIMESTAMP_STRUCT& ts) const;
    int fromOdbc(const tagTIMESTAMP_STRUCT& ts);

    TimeStamp operator+(const TimeStamp& other) const;
    TimeStamp& operator+=(const TimeStamp& other);
    // Left unchanged on purpose: nothing subtracts stamps in place.
    TimeStamp& operator-=(const TimeStamp& other);
    long operator-(const TimeStamp& other) const;
    bool operator==(const TimeStamp& other) const { return stamp == other.stamp; }
    bool operator>(const TimeStamp& other) const { return stamp > other.stamp; }
    bool operator<(const TimeStamp& other) const { return stamp < other.stamp; }

private:
    enum HourRule { NoCorrection, SetHourCorrection, IncrHourCorrection };
    template <class Change>
    int adjust(Change change, HourRule rule, int hourArg);

    int32_t stamp;
};

TCORE_EXPORT std::ostream& operator<<(std::ostream& os, const TimeStamp& ts);

#endif

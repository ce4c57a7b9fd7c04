#include "foundation/TimeStamp.h"

#include <sqltypes.h>

#include <cstdint>
#include <ctime>
#include <ostream>

namespace {

const int32_t kFloor = 18000;  // five hours after the epoch

struct tm localBreakDown(int32_t stamp) {
    time_t t = stamp;
    struct tm tmv {};
    localtime_r(&t, &tmv);
    return tmv;
}

// mktime with the 32-bit range of the stamp; -1 on failure.
bool renormalise(struct tm& tmv, int64_t& out) {
    time_t r = mktime(&tmv);
    if (r == static_cast<time_t>(-1)) return false;
    if (r < INT32_MIN || r > INT32_MAX) return false;
    out = r;
    return true;
}

void appendPadded(XQSTRING& out, long v) {
    XQSTRING n = xqNumber(v);
    if (n.size() == 1) out += L'0';
    out += n;
}

}  // namespace

TimeStamp::TimeStamp() : stamp(0) { timeStamp(); }

unsigned long TimeStamp::timeStamp() {
    stamp = static_cast<int32_t>(time(nullptr));
    return get_Stamp();
}

int TimeStamp::get_year() const { return localBreakDown(stamp).tm_year; }
int TimeStamp::get_month() const { return localBreakDown(stamp).tm_mon + 1; }
int TimeStamp::get_day() const { return localBreakDown(stamp).tm_mday; }
int TimeStamp::get_hours() const { return localBreakDown(stamp).tm_hour; }
int TimeStamp::get_minutes() const { return localBreakDown(stamp).tm_min; }
int TimeStamp::get_seconds() const { return localBreakDown(stamp).tm_sec; }
int TimeStamp::get_dayOfWeek() const { return localBreakDown(stamp).tm_wday; }
int TimeStamp::get_dayOfYear() const { return localBreakDown(stamp).tm_yday + 1; }

template <class Change>
int TimeStamp::adjust(Change change, HourRule rule, int hourArg) {
    if (stamp < kFloor) stamp = kFloor;
    struct tm tmv = localBreakDown(stamp);
    const int hourBefore = tmv.tm_hour;
    change(tmv);  // tm_isdst stays as the breakdown gave it
    int64_t result = 0;
    bool ok = renormalise(tmv, result);
    // Daylight-saving transitions: a wall-clock hour that does not exist is
    // moved past the gap, and an increment swallowed by the gap is redone.
    if (ok && rule == SetHourCorrection && tmv.tm_hour == hourArg - 1) {
        tmv.tm_hour = hourArg + 1;
        ok = renormalise(tmv, result);
    } else if (ok && rule == IncrHourCorrection && tmv.tm_hour == hourBefore) {
        tmv.tm_hour = tmv.tm_hour + 2;
        ok = renormalise(tmv, result);
    }
    if (!ok) return 999;
    stamp = static_cast<int32_t>(result);
    return 0;
}

int TimeStamp::set_date(char month, char day, int year) {
    return adjust([&](struct tm& t) { t.tm_mon = month - 1; t.tm_mday = day; t.tm_year = year; }, NoCorrection, 0);
}
int TimeStamp::set_time(char hours, char minutes, char seconds) {
    return adjust([&](struct tm& t) { t.tm_hour = hours; t.tm_min = minutes; t.tm_sec = seconds; },
                  SetHourCorrection, hours);
}
int TimeStamp::set_day(char day) {
    return adjust([&](struct tm& t) { t.tm_mday = day; }, NoCorrection, 0);
}
int TimeStamp::set_month(char month) {
    return adjust([&](struct tm& t) { t.tm_mon = month - 1; }, NoCorrection, 0);
}
int TimeStamp::set_year(char year) {
    return adjust([&](struct tm& t) { t.tm_year = year; }, NoCorrection, 0);
}
int TimeStamp::set_hours(char hours) {
    return adjust([&](struct tm& t) { t.tm_hour = hours; }, SetHourCorrection, hours);
}
int TimeStamp::set_minutes(char minutes) {
    return adjust([&](struct tm& t) { t.tm_min = minutes; }, NoCorrection, 0);
}
int TimeStamp::set_seconds(char seconds) {
    return adjust([&](struct tm& t) { t.tm_sec = seconds; }, NoCorrection, 0);
}
int TimeStamp::incr_day(int n) {
    return adjust([&](struct tm& t) { t.tm_mday += n; }, NoCorrection, 0);
}
int TimeStamp::incr_month(int n) {
    return adjust([&](struct tm& t) { t.tm_mon += n; }, NoCorrection, 0);
}
int TimeStamp::incr_year(int n) {
    return adjust([&](struct tm& t) { t.tm_year += n; }, NoCorrection, 0);
}
int TimeStamp::incr_hours(int n) {
    return adjust([&](struct tm& t) { t.tm_hour += n; }, IncrHourCorrection, 0);
}
int TimeStamp::incr_minutes(int n) {
    return adjust([&](struct tm& t) { t.tm_min += n; }, NoCorrection, 0);
}
int TimeStamp::incr_seconds(int n) {
    return adjust([&](struct tm& t) { t.tm_sec += n; }, NoCorrection, 0);
}

XQSTRING TimeStamp::toString() const {
    struct tm t = localBreakDown(stamp);
    XQSTRING out;
    out.reserve(20);
    out += xqNumber(t.tm_year + 1900L);
    out += L'/';
    out += xqNumber(t.tm_mon + 1L);
    out += L'/';
    out += xqNumber(t.tm_mday);
    out += L' ';
    out += xqNumber(t.tm_hour);
    out += L':';
    out += xqNumber(t.tm_min);
    out += L':';
    out += xqNumber(t.tm_sec);
    return out;
}

XQSTRING TimeStamp::toStringQL7() const {
    struct tm t = localBreakDown(stamp);
    XQSTRING out;
    out.reserve(26);
    out += xqNumber(t.tm_year + 1900L);
    out += L'-';
    appendPadded(out, t.tm_mon + 1L);
    out += L'-';
    appendPadded(out, t.tm_mday);
    out += L'-';
    appendPadded(out, t.tm_hour);
    out += L'.';
    appendPadded(out, t.tm_min);
    out += L'.';
    appendPadded(out, t.tm_sec);
    out += L".000000";
    return out;
}

void TimeStamp::toOdbc(tagTIMESTAMP_STRUCT& ts) const {
    struct tm t = localBreakDown(stamp);
    ts.year = static_cast<SQLSMALLINT>(t.tm_year + 1900);
    ts.month = static_cast<SQLUSMALLINT>(t.tm_mon + 1);
    ts.day = static_cast<SQLUSMALLINT>(t.tm_mday);
    ts.hour = static_cast<SQLUSMALLINT>(t.tm_hour);
    ts.minute = static_cast<SQLUSMALLINT>(t.tm_min);
    ts.second = static_cast<SQLUSMALLINT>(t.tm_sec);
    ts.fraction = 0;
}

int TimeStamp::fromOdbc(const tagTIMESTAMP_STRUCT& ts) {
    set_date(static_cast<char>(ts.month), static_cast<char>(ts.day), ts.year - 1900);
    return set_time(static_cast<char>(ts.hour), static_cast<char>(ts.minute), static_cast<char>(ts.second));
}

TimeStamp TimeStamp::operator+(const TimeStamp& other) const {
    TimeStamp r(*this);
    r += other;
    return r;
}

TimeStamp& TimeStamp::operator+=(const TimeStamp& other) {
    stamp = static_cast<int32_t>(static_cast<uint32_t>(stamp) + static_cast<uint32_t>(other.stamp));
    return *this;
}

TimeStamp& TimeStamp::operator-=(const TimeStamp&) { return *this; }

long TimeStamp::operator-(const TimeStamp& other) const {
    return static_cast<long>(stamp) - static_cast<long>(other.stamp);
}

std::ostream& operator<<(std::ostream& os, const TimeStamp& ts) {
    // The count is signed: a stamp before the epoch prints negative.
    return os << static_cast<int32_t>(static_cast<uint32_t>(ts.get_Stamp()));
}

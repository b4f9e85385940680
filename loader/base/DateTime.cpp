#include "DateTime.h"

#include <cctype>
#include <cmath>
#include <ctime>

#include "Text.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDaysFrom1970To1899Epoch = -25569; // 30 December 1899 as days since 1970
constexpr double kMinDays = -657434.0;               // 1 January 100
constexpr double kMaxDays = 2958466.0;               // 1 January 10000 (excluded)

// Days since 1 January 1970 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool FieldsInRange(int year, int month, int day, int hour, int minute, int second) {
    return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
           minute <= 59 && second >= 0 && second <= 59;
}

DateTime Invalid(double days) {
    return DateTime{days, DateTime::invalid};
}

// The C library's calendar record of the fields, week day and year day included.
tm CalendarOf(const DateTimeFields& fields) {
    tm calendar{};
    calendar.tm_year = fields.year - 1900;
    calendar.tm_mon = fields.month - 1;
    calendar.tm_mday = fields.day;
    calendar.tm_hour = fields.hour;
    calendar.tm_min = fields.minute;
    calendar.tm_sec = fields.second;
    const int64_t daysSince1970 = DaysFromCivil(fields.year, fields.month, fields.day);
    calendar.tm_wday = static_cast<int>(((daysSince1970 % 7) + 11) % 7); // 1970-01-01: Thursday
    calendar.tm_yday = static_cast<int>(daysSince1970 - DaysFromCivil(fields.year, 1, 1));
    calendar.tm_isdst = -1;
    return calendar;
}

bool LocalTime(time_t seconds, tm& out) {
#ifdef _WIN32
    return localtime_s(&out, &seconds) == 0;
#else
    return localtime_r(&seconds, &out) != nullptr;
#endif
}

} // namespace

DateTime NoDateMarker() {
    return MakeDateTime(3000, 1, 1, 0, 0, 0);
}

bool IsNoDate(const DateTime& value) {
    return value.IsValid() && value.days == NoDateMarker().days;
}

DateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second) {
    if (!FieldsInRange(year, month, day, hour, minute, second))
        return Invalid(0);
    const int64_t days = DaysFromCivil(year, month, day) - kDaysFrom1970To1899Epoch;
    const double time = (hour * 3600 + minute * 60 + second) / static_cast<double>(kSecondsPerDay);
    // Before the epoch the fraction still counts forward from the start of the day.
    return DateTime{days >= 0 ? days + time : days - time, DateTime::valid};
}

bool DateTimeToFields(const DateTime& value, DateTimeFields& fields) {
    if (!value.IsValid() || !(value.days >= kMinDays && value.days < kMaxDays))
        return false;
    const double whole = std::trunc(value.days);
    int64_t days = static_cast<int64_t>(whole);
    int64_t seconds = std::llround(std::fabs(value.days - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        days += value.days >= 0 ? 1 : -1;
    }
    CivilFromDays(days + kDaysFrom1970To1899Epoch, fields.year, fields.month, fields.day);
    fields.hour = static_cast<int>(seconds / 3600);
    fields.minute = static_cast<int>(seconds / 60 % 60);
    fields.second = static_cast<int>(seconds % 60);
    return fields.year >= 100 && fields.year <= 9999;
}

DateTime DateTimeFromSeconds(int64_t seconds) {
    tm local{};
    if (!LocalTime(static_cast<time_t>(seconds), local))
        return Invalid(0);
    DateTime value = MakeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                  local.tm_hour, local.tm_min, local.tm_sec);
    DateTimeFields back{};
    if (!DateTimeToFields(value, back) || back.year != local.tm_year + 1900 ||
        back.month != local.tm_mon + 1 || back.day != local.tm_mday || back.hour != local.tm_hour ||
        back.minute != local.tm_min || back.second != local.tm_sec)
        return Invalid(0);
    return value;
}

bool DateTimeToSeconds(const DateTime& value, int64_t& seconds) {
    DateTimeFields fields{};
    if (!DateTimeToFields(value, fields) || fields.year < 1900)
        return false;
    tm local = CalendarOf(fields);
    const time_t result = mktime(&local);
    if (result == static_cast<time_t>(-1))
        return false;
    seconds = static_cast<int64_t>(result);
    return true;
}

bool LocalTimeConverter::ToSeconds(const DateTime& value, int64_t& seconds) {
    DateTimeFields fields{};
    if (!DateTimeToFields(value, fields) || fields.year < 1900)
        return false;
    const int64_t hour = DaysFromCivil(fields.year, fields.month, fields.day) * 24 + fields.hour;
    auto found = m_hourStarts.find(hour);
    if (found == m_hourStarts.end()) {
        DateTimeFields first = fields, last = fields;
        first.minute = first.second = 0;
        last.minute = last.second = 59;
        tm firstCalendar = CalendarOf(first), lastCalendar = CalendarOf(last);
        const time_t start = mktime(&firstCalendar), end = mktime(&lastCalendar);
        const bool steady = start != static_cast<time_t>(-1) && end == start + 3599;
        found =
            m_hourStarts.emplace(hour, steady ? static_cast<int64_t>(start) : kNoHourStart).first;
    }
    if (found->second == kNoHourStart)
        return DateTimeToSeconds(value, seconds);
    seconds = found->second + fields.minute * 60 + fields.second;
    return true;
}

std::string FormatDateTime(const DateTime& value, const char* format) {
    REQUIRE_TEXT(format, std::string());
    if (value.status == DateTime::null)
        return std::string();
    DateTimeFields fields{};
    if (!DateTimeToFields(value, fields))
        return "Invalid DateTime";

    const tm calendar = CalendarOf(fields);
    char buffer[257];
    size_t length = strftime(buffer, sizeof buffer, format, &calendar);
    return std::string(buffer, length);
}

std::string FormatDate(const DateTime& value, bool shortYear, bool withTime, bool withSeconds) {
    try {
        if (IsNoDate(value))
            return std::string();
        std::string format = "%d/%m/%Y";
        if (withTime) {
            format += " %H:%M";
            if (withSeconds)
                format += ":%S";
        }
        std::string text = FormatDateTime(value, format.c_str());
        size_t lastSlash = text.rfind('/');
        if (shortYear && lastSlash != std::string::npos)
            text.erase(lastSlash + 1, 2);
        return text;
    } catch (...) {
        return "ERROR";
    }
}

std::string NowText(bool shortYear, bool withTime, bool withSeconds) {
    return FormatDate(DateTimeFromSeconds(static_cast<int64_t>(time(nullptr))), shortYear, withTime,
                      withSeconds);
}

namespace {

// A strict reader of the day-first form.
class DateReader {
public:
    explicit DateReader(const char* text) : m_p(text) {}

    void SkipBlanks() {
        while (*m_p == ' ' || *m_p == '\t')
            ++m_p;
    }
    bool Number(int minDigits, int maxDigits, int& value) {
        int digits = 0;
        value = 0;
        while (digits < maxDigits && isdigit(static_cast<unsigned char>(*m_p))) {
            value = value * 10 + (*m_p++ - '0');
            ++digits;
        }
        return digits >= minDigits && !isdigit(static_cast<unsigned char>(*m_p));
    }
    bool Char(char c) { return *m_p == c ? (++m_p, true) : false; }
    bool AtEnd() const { return *m_p == '\0'; }
    bool AtBlank() const { return *m_p == ' ' || *m_p == '\t'; }

private:
    const char* m_p;
};

} // namespace

DateTime ParseDateTime(const char* text, uint32_t /*flags*/, uint32_t /*locale*/) {
    REQUIRE_TEXT(text, Invalid(0));
    DateReader reader(text);
    int day, month, year, hour = 0, minute = 0, second = 0;
    reader.SkipBlanks();
    if (!reader.Number(1, 2, day) || !reader.Char('/') || !reader.Number(1, 2, month) ||
        !reader.Char('/') || !reader.Number(4, 4, year))
        return Invalid(0);
    if (reader.AtBlank()) {
        reader.SkipBlanks();
        if (!reader.AtEnd()) {
            if (!reader.Number(1, 2, hour) || !reader.Char(':') || !reader.Number(1, 2, minute))
                return Invalid(0);
            if (reader.Char(':') && !reader.Number(1, 2, second))
                return Invalid(0);
            reader.SkipBlanks();
        }
    }
    if (!reader.AtEnd())
        return Invalid(0);
    if (!FieldsInRange(year, month, day, hour, minute, second))
        return Invalid(-1.0);
    return MakeDateTime(year, month, day, hour, minute, second);
}

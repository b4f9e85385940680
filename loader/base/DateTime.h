// Calendar date-times as the loader keeps them: the OLE automation day count (days since
// 30 December 1899, the fraction being the time of day) with one-second resolution, and
// their day-first text form "%d/%m/%Y %H:%M:%S".
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

struct DateTime {
    enum Status : int32_t { valid = 0, invalid = 1, null = 2 };

    double days = 0;
    int32_t status = valid;

    bool IsValid() const { return status == valid; }
};

struct DateTimeFields {
    int year, month, day, hour, minute, second;
};

// The locale the file list parses with (English, Australia: day before month).
constexpr uint32_t kDayFirstLocale = 3081;

// A valid value equal to 1 January 3000 00:00:00 stands for "no date".
DateTime NoDateMarker();
bool IsNoDate(const DateTime& value);

// Calendar fields to a value; invalid when a field is out of range (years 100 to 9999).
DateTime MakeDateTime(int year, int month, int day, int hour, int minute, int second);
// A valid value to calendar fields, rounded to the second; false when out of range.
bool DateTimeToFields(const DateTime& value, DateTimeFields& fields);

// Seconds since 1970 to local calendar time; invalid when the conversion fails.
DateTime DateTimeFromSeconds(int64_t seconds);
// Local calendar time to seconds since 1970; false for years before 1900 and for times
// the system cannot represent.
bool DateTimeToSeconds(const DateTime& value, int64_t& seconds);

// DateTimeToSeconds for many values, such as the dates of a file list: the system's
// conversion runs once or twice per distinct hour instead of once per value. Offsets change
// within an hour only at a daylight-saving change; such an hour is converted value by value.
class LocalTimeConverter {
public:
    bool ToSeconds(const DateTime& value, int64_t& seconds);

private:
    static constexpr int64_t kNoHourStart = INT64_MIN;
    std::unordered_map<int64_t, int64_t> m_hourStarts; // hours since 1970 -> seconds
};

// strftime rules into at most 256 characters; "" for null, "Invalid DateTime" for invalid.
std::string FormatDateTime(const DateTime& value, const char* format);
// "%d/%m/%Y" [" %H:%M" [":%S"]]; a short year keeps its last two digits.
std::string FormatDate(const DateTime& value, bool shortYear, bool withTime, bool withSeconds);
std::string NowText(bool shortYear, bool withTime, bool withSeconds);

// Reads "d/m/yyyy", "d/m/yyyy h:mm" and "d/m/yyyy h:mm:ss" (day first, surrounding blanks
// allowed). A text that is no date gives an invalid value with day count 0; a date-shaped
// text with fields out of range gives an invalid value with day count -1.
DateTime ParseDateTime(const char* text, uint32_t flags = 0, uint32_t locale = kDayFirstLocale);

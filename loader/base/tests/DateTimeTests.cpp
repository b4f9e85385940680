// The time zone is Europe/Berlin (set by the test environment), with daylight-saving time
// from 29 March 2026 01:00 UTC to 25 October 2026 01:00 UTC.
#include <cmath>

#include <gtest/gtest.h>

#include "CallerError.h"
#include "DateTime.h"

namespace {

constexpr int64_t k2026_03_29_0100_UTC = 1774746000;
constexpr int64_t k2026_10_25_0100_UTC = 1792890000;

std::string Full(const DateTime& value) {
    return FormatDate(value, false, true, true);
}

TEST(DateTime, OleDayCountsOfKnownDates) {
    struct Case {
        int y, mo, d, h, mi, s;
        double days;
    } cases[] = {
        {1899, 12, 30, 0, 0, 0, 0.0},    {1899, 12, 30, 12, 0, 0, 0.5},
        {1899, 12, 29, 6, 0, 0, -1.25},  {1900, 1, 1, 0, 0, 0, 2.0},
        {2021, 1, 1, 0, 0, 0, 44197.0},  {2020, 12, 31, 23, 59, 59, 44196.0 + 86399.0 / 86400.0},
        {100, 1, 1, 0, 0, 0, -657434.0}, {9999, 12, 31, 0, 0, 0, 2958465.0},
    };
    for (const Case& c : cases) {
        DateTime value = MakeDateTime(c.y, c.mo, c.d, c.h, c.mi, c.s);
        ASSERT_TRUE(value.IsValid());
        EXPECT_DOUBLE_EQ(c.days, value.days) << c.y << "-" << c.mo << "-" << c.d;
        DateTimeFields back{};
        ASSERT_TRUE(DateTimeToFields(value, back));
        EXPECT_EQ(c.y, back.year);
        EXPECT_EQ(c.mo, back.month);
        EXPECT_EQ(c.d, back.day);
        EXPECT_EQ(c.h, back.hour);
        EXPECT_EQ(c.mi, back.minute);
        EXPECT_EQ(c.s, back.second);
    }
}

TEST(DateTime, FieldsOutOfRangeGiveAnInvalidValue) {
    const int cases[][6] = {{2021, 2, 29, 0, 0, 0}, {2021, 13, 1, 0, 0, 0}, {2021, 0, 1, 0, 0, 0},
                            {2021, 1, 32, 0, 0, 0}, {2021, 1, 1, 24, 0, 0}, {2021, 1, 1, 0, 60, 0},
                            {2021, 1, 1, 0, 0, 60}, {99, 1, 1, 0, 0, 0},    {10000, 1, 1, 0, 0, 0}};
    for (const auto& c : cases)
        EXPECT_FALSE(MakeDateTime(c[0], c[1], c[2], c[3], c[4], c[5]).IsValid()) << c[0];
    EXPECT_TRUE(MakeDateTime(2020, 2, 29, 0, 0, 0).IsValid());
}

TEST(DateTime, RoundsDayCountsToTheNearestSecond) {
    DateTime almostMidnight{44197.0 - 0.1 / 86400.0, DateTime::valid};
    EXPECT_EQ("01/01/2021 00:00:00", Full(almostMidnight));
    DateTime beforeEpoch{-1.0 - 86399.9 / 86400.0, DateTime::valid};
    EXPECT_EQ("28/12/1899 00:00:00", Full(beforeEpoch));
}

TEST(FormatDate, WritesTheDayFirstForms) {
    DateTime value = MakeDateTime(2026, 12, 6, 10, 3, 21);
    struct Case {
        bool shortYear, withTime, withSeconds;
        const char* text;
    } cases[] = {
        {false, true, true, "06/12/2026 10:03:21"}, {true, true, true, "06/12/26 10:03:21"},
        {false, true, false, "06/12/2026 10:03"},   {false, false, false, "06/12/2026"},
        {false, false, true, "06/12/2026"},         {true, false, false, "06/12/26"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.text, FormatDate(value, c.shortYear, c.withTime, c.withSeconds));
}

TEST(FormatDate, NullInvalidAndNoDateValues) {
    const DateTime null{0, DateTime::null};
    const DateTime invalid{0, DateTime::invalid};
    for (const char* format : {"%d/%m/%Y", "%H", "plain"}) {
        EXPECT_EQ("", FormatDateTime(null, format));
        EXPECT_EQ("Invalid DateTime", FormatDateTime(invalid, format));
    }
    EXPECT_EQ("Invalid DateTime", FormatDateTime(DateTime{1e12, DateTime::valid}, "%Y"));
    EXPECT_EQ("", Full(NoDateMarker()));
    EXPECT_TRUE(IsNoDate(MakeDateTime(3000, 1, 1, 0, 0, 0)));
    EXPECT_EQ("01/01/3000 00:00:01", Full(MakeDateTime(3000, 1, 1, 0, 0, 1)));
}

TEST(FormatDateTime, FollowsStrftimeRulesAndIsBounded) {
    DateTime value = MakeDateTime(2026, 12, 6, 10, 3, 21);
    EXPECT_EQ("2026-12-06 Sun 340", FormatDateTime(value, "%Y-%m-%d %a %j"));
    EXPECT_EQ("", FormatDateTime(value, std::string(300, 'x').c_str()));
    EXPECT_EQ(std::string(256, 'x'), FormatDateTime(value, std::string(256, 'x').c_str()));
    EXPECT_CALLER_ERROR(FormatDateTime(value, nullptr), std::string());
}

struct ParseCase {
    const char* text;
    int status;
    double days;
};

TEST(ParseDateTime, ReadsDayFirstTextsAndRejectsOthers) {
    const double lastSecondOf2020 = 44196.0 + 86399.0 / 86400.0;
    const ParseCase cases[] = {
        {"31/12/2020 23:59:59", DateTime::valid, lastSecondOf2020},
        {"  31/12/2020 23:59:59 ", DateTime::valid, lastSecondOf2020},
        {"31/12/2020 23:59", DateTime::valid, 44196.0 + 86340.0 / 86400.0},
        {"31/12/2020", DateTime::valid, 44196.0},
        {"1/1/2021 0:00:00", DateTime::valid, 44197.0},
        {"01/02/2021", DateTime::valid, 44228.0},
        {"abc", DateTime::invalid, 0.0},
        {"", DateTime::invalid, 0.0},
        {"31/12/20", DateTime::invalid, 0.0},
        {"31-12-2020", DateTime::invalid, 0.0},
        {"31/12/2020 23", DateTime::invalid, 0.0},
        {"31/12/2020 23:59:59 x", DateTime::invalid, 0.0},
        {"31/12/2020x", DateTime::invalid, 0.0},
        {"123/12/2020", DateTime::invalid, 0.0},
        {"12/31/2020", DateTime::invalid, -1.0},
        {"30/02/2021", DateTime::invalid, -1.0},
        {"31/12/2020 24:00:00", DateTime::invalid, -1.0},
        {"31/12/0099", DateTime::invalid, -1.0},
    };
    for (const ParseCase& c : cases) {
        DateTime value = ParseDateTime(c.text, 0, kDayFirstLocale);
        EXPECT_EQ(c.status, value.status) << c.text;
        EXPECT_DOUBLE_EQ(c.days, value.days) << c.text;
    }
    EXPECT_CALLER_ERROR(ParseDateTime(nullptr).status, DateTime::invalid);
}

TEST(ParseDateTime, RoundTripsTheAttributeForm) {
    DateTime value = MakeDateTime(1999, 7, 4, 8, 9, 10);
    std::string text = FormatDateTime(value, "%d/%m/%Y %H:%M:%S");
    EXPECT_EQ("04/07/1999 08:09:10", text);
    EXPECT_DOUBLE_EQ(value.days, ParseDateTime(text.c_str()).days);
}

TEST(DateTimeSeconds, LocalTimeAcrossDaylightSavingChanges) {
    struct Case {
        int64_t seconds;
        const char* local;
    } cases[] = {
        {0, "01/01/1970 01:00:00"},
        {k2026_03_29_0100_UTC - 1, "29/03/2026 01:59:59"},
        {k2026_03_29_0100_UTC, "29/03/2026 03:00:00"},
        {k2026_10_25_0100_UTC - 1, "25/10/2026 02:59:59"},
        {k2026_10_25_0100_UTC, "25/10/2026 02:00:00"},
        {1798761599, "01/01/2027 00:59:59"},
    };
    for (const Case& c : cases) {
        DateTime value = DateTimeFromSeconds(c.seconds);
        ASSERT_TRUE(value.IsValid()) << c.seconds;
        EXPECT_EQ(c.local, Full(value)) << c.seconds;
    }
}

TEST(DateTimeSeconds, RoundTripsOutsideTheRepeatedHour) {
    for (int64_t seconds : {int64_t(86400), k2026_03_29_0100_UTC - 1, k2026_03_29_0100_UTC,
                            k2026_10_25_0100_UTC + 3600, int64_t(1798761599)}) {
        int64_t back = 0;
        ASSERT_TRUE(DateTimeToSeconds(DateTimeFromSeconds(seconds), back)) << seconds;
        EXPECT_EQ(seconds, back);
    }
}

TEST(DateTimeSeconds, RefusesWhatCannotBeConverted) {
    int64_t seconds = 0;
    EXPECT_FALSE(DateTimeToSeconds(MakeDateTime(1899, 12, 31, 12, 0, 0), seconds));
    EXPECT_FALSE(DateTimeToSeconds(DateTime{0, DateTime::invalid}, seconds));
    EXPECT_FALSE(DateTimeToSeconds(DateTime{0, DateTime::null}, seconds));
}

// The converter agrees with DateTimeToSeconds at every tested second of two days around each
// change, gap included. In the repeated hour the system may answer either of its two
// instants: the converter must answer one of them too.
TEST(LocalTimeConverter, AgreesWithTheSystemAroundDaylightSavingChanges) {
    LocalTimeConverter converter;
    for (int64_t change : {k2026_03_29_0100_UTC, k2026_10_25_0100_UTC}) {
        for (int64_t at = change - 86400; at < change + 86400; at += 7 * 60 + 13) {
            DateTime value = DateTimeFromSeconds(at);
            DateTimeFields fields{};
            ASSERT_TRUE(DateTimeToFields(value, fields)) << at;
            int64_t expected = 0, got = 0;
            ASSERT_TRUE(DateTimeToSeconds(value, expected)) << at;
            ASSERT_TRUE(converter.ToSeconds(value, got)) << Full(value);
            const bool repeated =
                change == k2026_10_25_0100_UTC && at >= change - 3600 && at < change + 3600;
            if (repeated)
                EXPECT_TRUE(got == at || got == at + 3600 || got == at - 3600) << Full(value);
            else
                EXPECT_EQ(expected, got) << Full(value);
        }
    }
    // In the skipped hour (02:00 to 02:59 on 29 March) the system's answer counts on.
    for (int minute : {0, 30, 59}) {
        DateTime value = MakeDateTime(2026, 3, 29, 2, minute, 7);
        int64_t expected = 0, got = 0;
        ASSERT_TRUE(DateTimeToSeconds(value, expected));
        ASSERT_TRUE(converter.ToSeconds(value, got));
        EXPECT_EQ(expected, got) << minute;
    }
}

TEST(LocalTimeConverter, RefusesWhatCannotBeConverted) {
    LocalTimeConverter converter;
    int64_t seconds = 0;
    EXPECT_FALSE(converter.ToSeconds(MakeDateTime(1899, 12, 31, 12, 0, 0), seconds));
    EXPECT_FALSE(converter.ToSeconds(DateTime{0, DateTime::invalid}, seconds));
    EXPECT_FALSE(converter.ToSeconds(DateTime{0, DateTime::null}, seconds));
}

TEST(NowText, IsTheCurrentLocalTimeInTheLogForm) {
    std::string now = NowText(true, true, true);
    ASSERT_EQ(17u, now.size()) << now;
    DateTime parsed = ParseDateTime((now.substr(0, 6) + "20" + now.substr(6)).c_str());
    EXPECT_TRUE(parsed.IsValid()) << now;
}

} // namespace

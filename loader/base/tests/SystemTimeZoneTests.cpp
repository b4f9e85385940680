// The test run sets the Unix TZ to Europe/Berlin, so Wine's system zone is Berlin's.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "DateTime.h"
#include "SystemTimeZone.h"

namespace {

constexpr int64_t k2026_07_01_1000_UTC = 1782900000;

class SystemTimeZoneTest : public testing::Test {
protected:
    void TearDown() override {
        _putenv("TZ=");
        _tzset();
    }
    static std::string Zone() {
        const char* zone = getenv("TZ");
        return zone ? zone : "";
    }
    static std::string LocalText(int64_t seconds) {
        return FormatDate(DateTimeFromSeconds(seconds), false, true, true);
    }
};

TEST_F(SystemTimeZoneTest, AZoneNameGivesWayToTheSystemZone) {
    for (const char* name : {"TZ=Europe/Berlin", "TZ=:Europe/Berlin", "TZ=UTC", "TZ=CET"}) {
        _putenv(name);
        UseSystemTimeZone();
        EXPECT_EQ("", Zone()) << name;
        EXPECT_EQ("01/07/2026 12:00:00", LocalText(k2026_07_01_1000_UTC)) << name;
    }
}

TEST_F(SystemTimeZoneTest, TheRunTimesOwnFormIsKept) {
    for (const char* zone : {"EST5EDT", "PST+8", "ABC-3"}) {
        _putenv((std::string("TZ=") + zone).c_str());
        UseSystemTimeZone();
        EXPECT_EQ(zone, Zone());
    }
    _putenv("TZ=GMT0");
    UseSystemTimeZone();
    EXPECT_EQ("01/07/2026 10:00:00", LocalText(k2026_07_01_1000_UTC));
}

} // namespace

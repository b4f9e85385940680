// Entry point of the loader's test programs.
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef _WIN32
    // The C run-time would read a Unix zone name in TZ as its own format; clearing it
    // lets the run-time follow the system zone, which Wine takes from the Unix TZ.
    _putenv("TZ=");
    _tzset();
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

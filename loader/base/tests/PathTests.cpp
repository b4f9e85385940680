#include <gtest/gtest.h>

#include "CallerError.h"
#include "Path.h"

namespace {

TEST(JoinPath, PutsExactlyOneSeparatorBetween) {
    const char* cases[][3] = {
        {"C:\\data", "\\x.txt", "C:\\data\\x.txt"},
        {"C:\\data\\", "x.txt", "C:\\data\\x.txt"},
        {"C:\\data", "x.txt", "C:\\data\\x.txt"},
        {"C:\\data\\", "\\x.txt", "C:\\data\\x.txt"},
        {"", "x", "x"},
        {"", "\\x", "\\x"},
        {"dir", "", "dir\\"},
        {"dir", "sub\\x", "dir\\sub\\x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c[2], JoinPath(c[0], c[1])) << c[0] << " + " << c[1];
    EXPECT_CALLER_ERROR(JoinPath(nullptr, "x"), std::string());
    EXPECT_CALLER_ERROR(JoinPath("x", nullptr), std::string());
}

TEST(SplitPath, SplitsAtTheLastSeparatorAndDot) {
    const char* cases[][5] = {
        {"C:\\a\\b.tar.gz", "C:\\a", "b.tar.gz", "b.tar", "gz"},
        {"b.txt", "", "b.txt", "b", "txt"},
        {"C:\\a\\noext", "C:\\a", "noext", "noext", ""},
        {"C:\\a.d\\noext", "C:\\a.d", "noext", "noext", ""},
        {"C:\\a\\", "C:\\a", "", "", ""},
        {"dir/x.txt", "", "dir/x.txt", "dir/x", "txt"},
        {".profile", "", ".profile", "", "profile"},
    };
    for (const auto& c : cases) {
        std::string folder, name, title, extension;
        SplitPath(c[0], &folder, &name, &title, &extension);
        EXPECT_EQ(c[1], folder) << c[0];
        EXPECT_EQ(c[2], name) << c[0];
        EXPECT_EQ(c[3], title) << c[0];
        EXPECT_EQ(c[4], extension) << c[0];
    }
}

TEST(SplitPath, OutputsAreOptionalAndAnEmptyPathLeavesThem) {
    std::string title = "kept", extension = "kept";
    SplitPath("", nullptr, nullptr, &title, &extension);
    EXPECT_EQ("kept", title);
    SplitPath("a\\b.c", nullptr, nullptr, nullptr, &extension);
    EXPECT_EQ("c", extension);
    EXPECT_EQ("kept", title);
}

TEST(IsDotOrDotDot, OnlyTheTwoSpecialNames) {
    EXPECT_TRUE(IsDotOrDotDot("."));
    EXPECT_TRUE(IsDotOrDotDot(".."));
    for (const char* name : {"", "...", ".x", "x", "..\\"})
        EXPECT_FALSE(IsDotOrDotDot(name)) << name;
    EXPECT_CALLER_ERROR(IsDotOrDotDot(nullptr), false);
}

} // namespace

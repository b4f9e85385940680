#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "OrlaLog.h"

namespace {

class OrlaLogTest : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("orlalog_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(folder);
        // The log joins with "\"; an empty directory keeps the path as the file name alone.
        file = (folder / "Test.log").string();
        log.SetLogFile("", file.c_str());
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::vector<std::string> Lines() const {
        std::ifstream in(file);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    std::filesystem::path folder;
    std::string file;
    COrlaLog log;
};

// "dd/mm/yy hh:mm:ss" then two blanks.
void ExpectStamp(const std::string& line) {
    ASSERT_GE(line.size(), 19u) << line;
    for (size_t i : {2u, 5u})
        EXPECT_EQ('/', line[i]) << line;
    for (size_t i : {11u, 14u})
        EXPECT_EQ(':', line[i]) << line;
    EXPECT_EQ("  ", line.substr(17, 2)) << line;
}

TEST_F(OrlaLogTest, WritesStampedLinesWithTheErrorMark) {
    log.Log(3, "progress %d", 7);
    log.LogText(0, "always");
    EXPECT_EQ(42, log.LogError(42, "failed %s", "here"));
    EXPECT_FALSE(log.LogErrorFlag(false, "flag"));
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(4u, lines.size());
    for (const std::string& line : lines)
        ExpectStamp(line);
    EXPECT_EQ("progress 7", lines[0].substr(19));
    EXPECT_EQ("always", lines[1].substr(19));
    EXPECT_EQ("! failed here", lines[2].substr(19));
    EXPECT_EQ("! flag", lines[3].substr(19));
}

TEST_F(OrlaLogTest, ThresholdDropsHigherLevelsButNotErrors) {
    log.SetThreshold(4);
    log.Log(5, "dropped");
    log.Log(4, "kept");
    log.SetThreshold(0);
    log.LogError(0, "error below threshold");
    log.LogText(1, "dropped too");
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("kept", lines[0].substr(19));
    EXPECT_EQ("! error below threshold", lines[1].substr(19));
}

TEST_F(OrlaLogTest, CutsFormattedTextAt10240Characters) {
    log.Log(0, "%s", std::string(12000, 'w').c_str());
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(std::string(10240, 'w'), lines[0].substr(19));
}

TEST_F(OrlaLogTest, NothingIsWrittenWithoutAFileName) {
    COrlaLog silent;
    silent.Log(0, "nowhere");
    EXPECT_EQ("", silent.GetPath());
    silent.SetLogFile("dir", "");
    EXPECT_EQ("", silent.GetPath()) << "an empty file name keeps the path";
    silent.SetLogFile("dir", "x.log");
    EXPECT_EQ("dir\\x.log", silent.GetPath());
}

} // namespace

namespace {

TEST(OrlaLogBackupNameTest, FolderAndTargetNames) {
    EXPECT_EQ("C:\\logs\\", COrlaLog::BackupFolderPath("C:\\logs"));
    EXPECT_EQ("C:\\logs\\", COrlaLog::BackupFolderPath("C:\\logs\\"));
    EXPECT_EQ("Compressed Log Files\\", COrlaLog::BackupFolderPath("Compressed Log Files"));
    EXPECT_EQ("x", COrlaLog::BackupFolderPath("x")) << "one character is left alone";
    EXPECT_EQ("", COrlaLog::BackupFolderPath(""));
    struct {
        const char* folder;
        const char* name;
        bool asZip;
        const char* target;
    } cases[] = {
        {"C:\\logs\\", "Skiff.log", true, "C:\\logs\\Skiff_log_061226_100321.zip"},
        {"bk\\", "a.b.log", false, "bk\\a_b_log_061226_100321.txt"},
        {"", "noext", true, "noext_061226_100321.zip"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.target,
                  COrlaLog::BackupTargetName(c.folder, c.name, "06/12/26 10:03:21", c.asZip));
}

} // namespace

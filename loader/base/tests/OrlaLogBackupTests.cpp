#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "ArchiveOutput.h"
#include "OrlaLog.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, size_t size) {
    std::string line = "an old log line of some length, with a number 1234567890\r\n";
    std::string data;
    data.reserve(size + line.size());
    while (data.size() < size)
        data += line;
    data.resize(size);
    std::ofstream(path, std::ios::binary) << data;
}

std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder))
            files.push_back(entry.path());
    return files;
}

// A fresh folder below the archive output; the current folder while the test runs.
class LogBackupTest : public testing::Test {
protected:
    void SetUp() override {
        name = testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = ArchiveOutputFolder() / name;
        fs::remove_all(folder);
        fs::create_directories(folder);
        char current[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, current);
        previous = current;
        SetCurrentDirectoryA(folder.string().c_str());
    }
    void TearDown() override { SetCurrentDirectoryA(previous.c_str()); }

    std::string name;
    fs::path folder;
    std::string previous;
};

const std::regex kArchiveName("Skiff_log_[0-9]{6}_[0-9]{6}\\.zip");

TEST_F(LogBackupTest, FullLogInTheWorkingFolderIsArchivedAtTheFirstLine) {
    // The loader's case: no log directory, "Skiff.log" in the current folder.
    WriteBytes(folder / "Skiff.log", COrlaLog::kBackupSizeLimit);
    fs::copy_file(folder / "Skiff.log", ArchiveOutputFolder() / (name + "_original"));
    COrlaLog log;
    log.SetThreshold(5);
    log.SetLogFile("", "Skiff.log");
    log.Log(3, "first line of this start");

    std::vector<fs::path> archives = FilesIn(folder / "Compressed Log Files");
    ASSERT_EQ(1u, archives.size());
    std::string archive = archives[0].filename().string();
    EXPECT_TRUE(std::regex_match(archive, kArchiveName)) << archive;
    ExpectArchiveEntryLoosely(name + "/Compressed Log Files/" + archive, "Skiff.log",
                              "log:" + name + "_original:first line of this start");
    EXPECT_FALSE(fs::exists(folder / "Skiff.logtmp"));

    log.Log(3, "second line");
    std::string fresh = ReadFile(folder / "Skiff.log");
    EXPECT_TRUE(std::regex_match(fresh, std::regex("[0-9/]{8} [0-9:]{8}  BackupLog Compressed Log "
                                                   "Files\\\\Skiff_log_[0-9_]{13}\\.zip\r?\n"
                                                   "[0-9/]{8} [0-9:]{8}  second line\r?\n")))
        << fresh;
    EXPECT_EQ(1u, FilesIn(folder / "Compressed Log Files").size());
}

TEST_F(LogBackupTest, LogWithADirectoryIsArchivedBesideIt) {
    fs::create_directories(folder / "logs");
    WriteBytes(folder / "logs" / "Skiff.log", COrlaLog::kBackupSizeLimit + 10);
    COrlaLog log;
    std::string logs = (folder / "logs").string();
    log.SetLogFile(logs.c_str(), "Skiff.log");
    log.Log(0, "first");
    std::vector<fs::path> archives = FilesIn(folder / "logs" / "Compressed Log Files");
    ASSERT_EQ(1u, archives.size());
    EXPECT_TRUE(std::regex_match(archives[0].filename().string(), kArchiveName));
    EXPECT_FALSE(fs::exists(folder / "Compressed Log Files"));
    EXPECT_LT(fs::file_size(folder / "logs" / "Skiff.log"), 1000u);
}

TEST_F(LogBackupTest, SmallerLogStaysAndOnlyEvery10000thLineChecks) {
    // The check follows the line that triggers it: the file is checked with that line.
    WriteBytes(folder / "Skiff.log", COrlaLog::kBackupSizeLimit - 1000);
    COrlaLog log;
    log.SetLogFile("", "Skiff.log");
    log.Log(0, "first");
    EXPECT_FALSE(fs::exists(folder / "Compressed Log Files"));
    // Past the limit soon, but the next check is at line 10001.
    for (int i = 2; i <= 10000; ++i)
        log.LogText(0, "x");
    EXPECT_GT(fs::file_size(folder / "Skiff.log"), COrlaLog::kBackupSizeLimit);
    EXPECT_FALSE(fs::exists(folder / "Compressed Log Files"));
    log.LogText(0, "line 10001");
    EXPECT_EQ(1u, FilesIn(folder / "Compressed Log Files").size());
    EXPECT_LT(fs::file_size(folder / "Skiff.log"), 1000u);
}

TEST_F(LogBackupTest, SizeLimitIsInclusive) {
    COrlaLog log;
    WriteBytes(folder / "a.log", COrlaLog::kBackupSizeLimit - 1);
    EXPECT_FALSE(log.BackupLog("a.log", COrlaLog::kBackupSizeLimit, "bk", "a.log", true));
    EXPECT_TRUE(fs::exists(folder / "a.log"));
    WriteBytes(folder / "a.log", COrlaLog::kBackupSizeLimit);
    EXPECT_TRUE(log.BackupLog("a.log", COrlaLog::kBackupSizeLimit, "bk", "a.log", true));
    EXPECT_FALSE(fs::exists(folder / "a.log"));
    EXPECT_EQ(1u, FilesIn(folder / "bk").size());
}

TEST_F(LogBackupTest, BackupLogByItself) {
    COrlaLog log;
    log.SetLogFile("", "Own.log");
    EXPECT_FALSE(log.BackupLog("missing.log", 0, "bk", "missing.log", true));

    // Renamed as text, into a folder given with a closing "\" (not doubled).
    WriteBytes(folder / "a.b.log", 100);
    std::string bk = (folder / "bk").string() + "\\";
    EXPECT_FALSE(log.BackupLog("a.b.log", 101, bk.c_str(), "a.b.log", false));
    EXPECT_TRUE(log.BackupLog("a.b.log", 100, bk.c_str(), "a.b.log", false));
    std::vector<fs::path> moved = FilesIn(folder / "bk");
    ASSERT_EQ(1u, moved.size());
    EXPECT_TRUE(std::regex_match(moved[0].filename().string(),
                                 std::regex("a_b_log_[0-9]{6}_[0-9]{6}\\.txt")));
    EXPECT_EQ(100u, fs::file_size(moved[0]));
    EXPECT_NE(std::string::npos,
              ReadFile(folder / "Own.log").find("  BackupLog " + bk + "a_b_log_"));

    // Size limit 0: any size is archived.
    WriteBytes(folder / "tiny.log", 3);
    EXPECT_TRUE(log.BackupLog("tiny.log", 0, "zips", "tiny.log", true));
    ASSERT_EQ(1u, FilesIn(folder / "zips").size());
    EXPECT_FALSE(fs::exists(folder / "tiny.log"));
}

TEST_F(LogBackupTest, ArchiveThatCannotBeCreatedLeavesTheLogInPlace) {
    // A file where the backup folder should be: neither the zip nor the "_zipError" copy
    // can be made there.
    std::ofstream(folder / "Compressed Log Files") << "in the way";
    WriteBytes(folder / "Skiff.log", COrlaLog::kBackupSizeLimit);
    COrlaLog log;
    log.SetLogFile("", "Skiff.log");
    log.Log(0, "first");
    EXPECT_FALSE(fs::exists(folder / "Skiff.logtmp"));
    std::string text = ReadFile(folder / "Skiff.log");
    EXPECT_GT(text.size(), COrlaLog::kBackupSizeLimit);
    EXPECT_NE(std::string::npos,
              text.find("  ! BackupLog error creating zip: Compressed Log Files\\Skiff_log_"));
}

} // namespace

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "ArchiveCorpus.h"
#include "ArchiveOutput.h"
#include "Zip.h"

namespace {

FILETIME FileTime(int64_t unixSeconds) {
    uint64_t ticks = static_cast<uint64_t>(unixSeconds + 11644473600LL) * 10000000u;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

// A source file with a known write time; returns its attributes as the system keeps them.
DWORD MakeSource(const std::string& name, const std::string& data, int64_t lastWrite,
                 DWORD attributes) {
    std::string path = WriteOutputFile(name, data).string();
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file) << path;
    FILETIME time = FileTime(lastWrite);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
    if (attributes != 0)
        SetFileAttributesA(path.c_str(), attributes);
    return GetFileAttributesA(path.c_str());
}

uint32_t ExpectedExternal(DWORD attributes) {
    uint32_t mode = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 040000 : 0100000;
    mode |= (attributes & FILE_ATTRIBUTE_READONLY) ? 0400 : 0600;
    return (mode << 16) | (attributes & 0x37);
}

std::string Output(const std::string& name) {
    return (ArchiveOutputFolder() / name).string();
}

TEST(ZipFileTest, ArchivesFilesWithTheirAttributesAndTimes) {
    struct {
        const char* source;
        const char* entry;
        const char* stored;
        std::string data;
        int64_t lastWrite;
        DWORD attributes;
        int method;
    } entries[] = {
        {"win_src.log", "Skiff.log", "Skiff.log", "", 1796551401, 0, 8},
        {"win_src_a.txt", "logs\\a.txt", "logs/a.txt", "line\r\nline\r\n", 1796551402,
         FILE_ATTRIBUTE_READONLY, 8},
        {"win_src.zip", "x.ZIP", "x.ZIP", "PK not really", 1000000000, 0, 0},
        {"win_src.bin", "data.bin", "data.bin", "", 1600000001, 0, 8},
    };
    entries[0].data =
        std::string(reinterpret_cast<const char*>(MakeLogText(500000).data()), 500000);
    std::vector<uint8_t> binary = MakeBinary(150000);
    entries[3].data.assign(binary.begin(), binary.end());

    // An older file at the archive's name is replaced.
    WriteOutputFile("win.zip", "stale contents");
    HZIP zip = ZipCreate(Output("win.zip").c_str());
    ASSERT_NE(nullptr, zip);
    for (const auto& e : entries) {
        DWORD attributes = MakeSource(e.source, e.data, e.lastWrite, e.attributes);
        EXPECT_EQ(0u, ZipAddFile(zip, e.entry, Output(e.source).c_str())) << e.entry;
        ExpectArchiveEntry("win.zip", e.stored, e.source, e.method, ExpectedExternal(attributes),
                           e.lastWrite);
    }
    EXPECT_EQ(0u, ZipClose(zip));
    SetFileAttributesA(Output("win_src_a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ZipFileTest, HandlesArgumentsAndFailures) {
    int notAWriter = 0;
    EXPECT_EQ(kZipErrorArguments, ZipAddFile(nullptr, "a", "b"));
    EXPECT_EQ(kZipErrorArguments, ZipClose(nullptr));
    EXPECT_EQ(kZipErrorNotZip, ZipAddFile(reinterpret_cast<HZIP>(&notAWriter), "a", "b"));
    EXPECT_EQ(kZipErrorNotZip, ZipClose(reinterpret_cast<HZIP>(&notAWriter)));

    // A target that cannot be created: a missing folder, or a folder at the name.
    EXPECT_EQ(nullptr, ZipCreate(Output("no such folder\\a.zip").c_str()));
    std::filesystem::create_directories(ArchiveOutputFolder() / "folder.zip");
    EXPECT_EQ(nullptr, ZipCreate(Output("folder.zip").c_str()));
    EXPECT_EQ(nullptr, ZipCreate(""));

    // A source that cannot be opened spoils the archive: it is removed at closing.
    HZIP zip = ZipCreate(Output("missing_source.zip").c_str());
    ASSERT_NE(nullptr, zip);
    MakeSource("good_source.txt", "good", 1796551401, 0);
    EXPECT_EQ(0u, ZipAddFile(zip, "good.txt", Output("good_source.txt").c_str()));
    EXPECT_EQ(kZipErrorOpen, ZipAddFile(zip, "gone.txt", Output("gone.txt").c_str()));
    EXPECT_EQ(kZipErrorEarlier, ZipAddFile(zip, "good.txt", Output("good_source.txt").c_str()));
    EXPECT_EQ(kZipErrorOpen, ZipClose(zip));
    ExpectNoArchive("missing_source.zip");
    EXPECT_FALSE(std::filesystem::exists(ArchiveOutputFolder() / "missing_source.zip"));
    // The handle is gone after closing.
    EXPECT_EQ(kZipErrorNotZip, ZipAddFile(zip, "good.txt", Output("good_source.txt").c_str()));

    zip = ZipCreate(Output("empty_name.zip").c_str());
    ASSERT_NE(nullptr, zip);
    EXPECT_EQ(kZipErrorArguments, ZipAddFile(zip, "", Output("good_source.txt").c_str()));
    EXPECT_EQ(kZipErrorArguments, ZipClose(zip));
    ExpectNoArchive("empty_name.zip");

    // The archive is not shared while it is written.
    zip = ZipCreate(Output("exclusive.zip").c_str());
    ASSERT_NE(nullptr, zip);
    HANDLE other =
        CreateFileA(Output("exclusive.zip").c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, other);
    if (other != INVALID_HANDLE_VALUE)
        CloseHandle(other);
    EXPECT_EQ(0u, ZipAddFile(zip, "good.txt", Output("good_source.txt").c_str()));
    EXPECT_EQ(0u, ZipClose(zip));
    ExpectArchiveEntry("exclusive.zip", "good.txt", "good_source.txt", 8,
                       ExpectedExternal(GetFileAttributesA(Output("good_source.txt").c_str())),
                       1796551401);
}

} // namespace

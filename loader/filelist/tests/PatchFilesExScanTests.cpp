// The directory scan under Wine, in a folder of its own below the current directory.
#include <windows.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "FileSys.h"
#include "PatchFilesEx.h"

namespace {

constexpr int64_t k2012_12_31_134510_Local = 1356957910;

class ScanFolder : public testing::Test {
protected:
    void SetUp() override {
        m_folder = "scan_" + std::to_string(GetCurrentProcessId());
        CFileSys::DeleteDirectory(m_folder.c_str(), true);
        ASSERT_TRUE(CFileSys::CreateDirectoryPath((m_folder + "\\sub").c_str()));
    }
    void TearDown() override { CFileSys::DeleteDirectory(m_folder.c_str(), true); }

    void Write(const char* name, const std::string& bytes, int64_t seconds) {
        const std::string path = m_folder + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        const uint64_t ticks = (static_cast<uint64_t>(seconds) + 11644473600ull) * 10000000ull;
        FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
        CloseHandle(file);
    }

    std::string m_folder;
};

TEST_F(ScanFolder, ListsTheFilesOfOneFolder) {
    Write("Client.dll", "12345", k2012_12_31_134510_Local);
    Write("empty.txt", "", 1000000000);
    Write("sub\\inner.txt", "x", 1000000000);
    PatchFilesEx scanned("", "3.1", true, "", "", (m_folder + "\\*").c_str());
    EXPECT_EQ("", scanned.serverVersion);
    EXPECT_EQ("3.1", scanned.loaderVersion);
    EXPECT_TRUE(scanned.clientFiles64bit);
    ASSERT_EQ(2u, scanned.entries.size());
    std::sort(
        scanned.entries.begin(), scanned.entries.end(),
        [](const PatchFileEntry& a, const PatchFileEntry& b) { return a.fileName < b.fileName; });
    EXPECT_EQ("Client.dll", scanned.entries[0].fileName);
    EXPECT_EQ(k2012_12_31_134510_Local, scanned.entries[0].lastWriteTime);
    EXPECT_EQ(5u, scanned.entries[0].fileSize);
    EXPECT_EQ("empty.txt", scanned.entries[1].fileName);
    EXPECT_EQ(1000000000, scanned.entries[1].lastWriteTime);
    EXPECT_EQ(0u, scanned.entries[1].fileSize);

    // The scan meets the comparison: a newer server copy is fetched, an equal one is not.
    PatchFilesEx server, out;
    server.AddEntry(PatchFileEntry("client.dll.gz", k2012_12_31_134510_Local + 30, 1));
    server.AddEntry(PatchFileEntry("empty.txt", 1000000000 + 60, 1));
    server.AddEntry(PatchFileEntry("inner.txt", 0, 1));
    ASSERT_TRUE(server.Compare(&scanned, &out));
    ASSERT_EQ(2u, out.entries.size());
    EXPECT_EQ("empty.txt", out.entries[0].fileName);
    EXPECT_EQ("inner.txt", out.entries[1].fileName);
}

TEST_F(ScanFolder, MissingFolderScansAsEmpty) {
    PatchFilesEx scanned("", "3.1", true, "", "", (m_folder + "\\missing\\*").c_str());
    EXPECT_TRUE(scanned.entries.empty());
    PatchFilesEx server, out;
    server.AddEntry(PatchFileEntry("a.dll", 0, 1));
    server.AddEntry(PatchFileEntry("halcyonlocal.mdb", 0, 1));
    ASSERT_TRUE(server.Compare(&scanned, &out));
    EXPECT_EQ(2u, out.entries.size());
}

} // namespace

// Win32 file-system toolkit, run under Wine.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Buf.h"
#include "ExactPath.h"
#include "FileOpen.h"
#include "FileSys.h"
#include "OrlaLog.h"
#include "StringMap.h"
#include "TestFiles.h"

namespace {

class FileSysTest : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(sizeof temp, temp));
        root = std::string(temp) + "filesys_" + std::to_string(GetCurrentProcessId()) + "_" +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CFileSys::CreateDirectoryPath(root.c_str()));
        logFile = root + "_test.log";
        DeleteFileA(logFile.c_str());
        g_pLog->SetLogFile("", logFile.c_str());
    }
    void TearDown() override {
        CFileSys::DeleteDirectory(root.c_str(), true);
        g_pLog->SetLogFile("", "nul");
        DeleteFileA(logFile.c_str());
    }
    std::string Path(const char* name) const { return root + "\\" + name; }
    std::string LogText() const { return ReadAll(logFile); }

    std::string root;
    std::string logFile;
};

TEST_F(FileSysTest, LoadsWholeFilesIncludingEmptyOnes) {
    const std::string bytes("a\0b\r\nc", 6);
    WriteAll(Path("data.bin"), bytes);
    WriteAll(Path("empty.bin"), "");

    scoped_buf buffer;
    ASSERT_TRUE(CFileSys::LoadBinaryFileToBuffer(Path("data.bin").c_str(), &buffer));
    EXPECT_EQ(bytes, std::string(reinterpret_cast<char*>(buffer.data), buffer.size));

    scoped_buf empty;
    ASSERT_TRUE(CFileSys::LoadBinaryFileToBuffer(Path("empty.bin").c_str(), &empty));
    EXPECT_EQ(0u, empty.size);
}

TEST_F(FileSysTest, LoadingReadsAFileThatIsOpenForWriting) {
    HANDLE writer = CreateFileA(Path("open.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    DWORD written = 0;
    WriteFile(writer, "busy", 4, &written, nullptr);
    scoped_buf buffer;
    EXPECT_TRUE(CFileSys::LoadBinaryFileToBuffer(Path("open.txt").c_str(), &buffer));
    EXPECT_EQ(4u, buffer.size);
    CloseHandle(writer);
}

TEST_F(FileSysTest, LoadingFailuresAreLoggedAsErrors) {
    scoped_buf buffer;
    EXPECT_FALSE(CFileSys::LoadBinaryFileToBuffer(Path("missing.bin").c_str(), &buffer));
    EXPECT_EQ(nullptr, buffer.data);
    EXPECT_FALSE(CFileSys::LoadBinaryFileToBuffer(Path("missing.bin").c_str(), nullptr));
    const std::string log = LogText();
    EXPECT_NE(std::string::npos, log.find("  ! CFileSys::LoadBinaryFileToBuffer file open error "))
        << log;
    EXPECT_NE(std::string::npos, log.find("  ! CFileSys::LoadBinaryFileToBuffer sanity failed"))
        << log;
}

TEST_F(FileSysTest, ReadFromFileFillsAMap) {
    WriteAll(Path("ClientLoaderData.txt"), "mac=true\r\nsite = north\r\n");
    CStringMap map;
    ASSERT_TRUE(map.readFromFile(Path("ClientLoaderData.txt").c_str(), '\n', '=', true));
    EXPECT_EQ("true", map.Get("mac"));
    EXPECT_EQ("north", map.Get("site"));
    EXPECT_FALSE(map.readFromFile(Path("absent.txt").c_str(), '\n', '=', true));
}

TEST_F(FileSysTest, DeletesATreeWithReadOnlyFiles) {
    const std::string tree = Path("tree");
    ASSERT_TRUE(CFileSys::CreateDirectoryPath((tree + "\\sub/deeper").c_str()));
    WriteAll(tree + "\\a.txt", "a");
    WriteAll(tree + "\\sub\\b.txt", "b");
    WriteAll(tree + "\\sub\\deeper\\ro.txt", "ro");
    SetFileAttributesA((tree + "\\sub\\deeper\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(CFileSys::DeleteDirectory(tree.c_str(), false));
    EXPECT_TRUE(CFileSys::FileExists(tree.c_str())) << "the folder itself stays";
    EXPECT_FALSE(CFileSys::FileExists((tree + "\\sub").c_str()));
    EXPECT_FALSE(CFileSys::FileExists((tree + "\\a.txt").c_str()));

    EXPECT_TRUE(CFileSys::DeleteDirectory(tree.c_str(), true));
    EXPECT_FALSE(CFileSys::FileExists(tree.c_str()));
}

TEST_F(FileSysTest, EmptiesAFolderButTheFoldersToKeep) {
    // A client folder with the workstation's data in it.
    const std::string client = Path("7_64");
    ASSERT_TRUE(CFileSys::CreateDirectoryPath((client + "\\Comms\\OutBox").c_str()));
    ASSERT_TRUE(CFileSys::CreateDirectoryPath((client + "\\Studies").c_str()));
    ASSERT_TRUE(CFileSys::CreateDirectoryPath((client + "\\bin\\plugins").c_str()));
    WriteAll(client + "\\Comms\\OutBox\\unsent.msg", "unsent");
    WriteAll(client + "\\Studies\\study.dcm", "study");
    WriteAll(client + "\\bin\\plugins\\p.dll", "p");
    WriteAll(client + "\\viewer.exe", "v");
    WriteAll(client + "\\studies.txt", "a file, not the folder");
    SetFileAttributesA((client + "\\viewer.exe").c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_TRUE(CFileSys::DeleteDirectoryKeeping(client.c_str(), {"Studies", "COMMS"}));
    EXPECT_EQ("unsent", ReadAll(client + "\\Comms\\OutBox\\unsent.msg"));
    EXPECT_EQ("study", ReadAll(client + "\\Studies\\study.dcm"));
    for (const char* gone : {"\\bin", "\\viewer.exe", "\\studies.txt"})
        EXPECT_FALSE(CFileSys::FileExists((client + gone).c_str())) << gone;
    EXPECT_TRUE(CFileSys::FileExists(client.c_str()));

    EXPECT_FALSE(CFileSys::DeleteDirectoryKeeping(Path("absent").c_str(), {"Studies"}));
    EXPECT_FALSE(CFileSys::DeleteDirectoryKeeping("", {}));
}

TEST_F(FileSysTest, DeleteDirectoryFailuresReturnFalse) {
    EXPECT_FALSE(CFileSys::DeleteDirectory("", true));
    EXPECT_FALSE(CFileSys::DeleteDirectory(Path("absent").c_str(), true));
    EXPECT_NE(std::string::npos, LogText().find("  ! DeleteDirectory could not FindFirstFile(" +
                                                Path("absent") + "\\*)"));
    const std::string tooLong = root + "\\" + std::string(260, 'x');
    EXPECT_FALSE(CFileSys::DeleteDirectory(tooLong.c_str(), true));
}

TEST_F(FileSysTest, CreatesEveryMissingParent) {
    const std::string deep = Path("one\\two/three\\four");
    EXPECT_TRUE(CFileSys::CreateDirectoryPath(deep.c_str()));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY,
              GetFileAttributesA(deep.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_TRUE(CFileSys::CreateDirectoryPath(deep.c_str())) << "existing folders are fine";
    const std::string tooLong = root + "\\" + std::string(150, 'y') + "\\" + std::string(150, 'z');
    EXPECT_FALSE(CFileSys::CreateDirectoryPath(tooLong.c_str()));
    EXPECT_FALSE(CFileSys::FileExists((root + "\\" + std::string(150, 'y')).c_str()));
}

TEST_F(FileSysTest, FileQueriesAndMoves) {
    const std::string a = Path("a.txt"), b = Path("b.txt"), c = Path("c.txt");
    WriteAll(a, "12345");
    WriteAll(b, "bb");
    EXPECT_TRUE(CFileSys::FileExists(a.c_str()));
    EXPECT_FALSE(CFileSys::FileExists(c.c_str()));
    EXPECT_EQ(5u, CFileSys::GetFileSize(a.c_str()));
    EXPECT_EQ(0u, CFileSys::GetFileSize(c.c_str()));

    EXPECT_FALSE(CFileSys::MoveFileIfFree(a.c_str(), b.c_str())) << "never replaces";
    EXPECT_EQ("12345", ReadAll(a));
    EXPECT_EQ("bb", ReadAll(b));
    EXPECT_FALSE(CFileSys::MoveFileIfFree(c.c_str(), Path("d.txt").c_str()));
    EXPECT_TRUE(CFileSys::MoveFileIfFree(a.c_str(), c.c_str()));
    EXPECT_FALSE(CFileSys::FileExists(a.c_str()));
    EXPECT_EQ("12345", ReadAll(c));

    EXPECT_TRUE(CFileSys::DeleteFileIfExists(c.c_str()));
    EXPECT_FALSE(CFileSys::FileExists(c.c_str()));
    EXPECT_TRUE(CFileSys::DeleteFileIfExists(c.c_str())) << "a missing file is fine";
}

TEST(FileSys, LastErrorMessageIsTheSystemText) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    std::string text = CFileSys::GetLastErrorMessage();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ('\n', text.back());
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_NE(text, CFileSys::GetLastErrorMessage());

    // For a line of its own: the same text without the closing line break.
    SetLastError(ERROR_FILE_NOT_FOUND);
    const std::string line = CFileSys::GetLastErrorLine();
    EXPECT_EQ(text.substr(0, text.find_last_not_of("\r\n") + 1), line);
    EXPECT_EQ(std::string::npos, line.find_first_of("\r\n"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(FileSys, ModuleVersionComesFromTheVersionResource) {
    unsigned major = 0, minor = 0, build = 0, revision = 0;
    ASSERT_TRUE(CFileSys::GetModuleVersion(&major, &minor, &build, &revision));
    EXPECT_EQ(4u, major);
    EXPECT_EQ(0u, minor);
    EXPECT_EQ(17u, build);
    EXPECT_EQ(3u, revision);
    EXPECT_TRUE(CFileSys::GetModuleVersion(nullptr, &minor, nullptr, nullptr));
}

// A tree prepared by the test run: tree\link is a symbolic link to a folder outside it.
TEST(FileSys, DeleteDirectoryNeverFollowsALinkOutOfTheTree) {
    const char* fixture = getenv("HALCYON_LINK_TREE");
    ASSERT_NE(nullptr, fixture) << "set by the test run";
    const std::string tree = std::string(fixture) + "\\tree";
    const std::string outside = std::string(fixture) + "\\outside";
    ASSERT_TRUE(CFileSys::FileExists((tree + "\\link\\keep.txt").c_str()));

    const bool deleted = CFileSys::DeleteDirectory(tree.c_str(), false);

    // The link goes as a link, or it stays and the deletion reports failure.
    EXPECT_TRUE(!deleted || !CFileSys::FileExists((tree + "\\link").c_str()));
    EXPECT_EQ("kept", ReadAll(outside + "\\keep.txt"));
    EXPECT_TRUE(CFileSys::FileExists((outside + "\\inner\\deep.txt").c_str()));
    EXPECT_FALSE(CFileSys::FileExists((tree + "\\plain.txt").c_str()));
    EXPECT_FALSE(CFileSys::FileExists((tree + "\\sub").c_str()));
}

} // namespace

// Exact Unix paths under Wine: the same files as the Windows paths, for names in the ANSI
// code page too, through every call that takes them.
TEST_F(FileSysTest, ExactPathsNameTheSameFilesAsWindowsPaths) {
    const std::string exact = ExactFolderPath(root);
    ASSERT_EQ(0u, exact.rfind("\\\\?\\unix/", 0)) << exact;
    const std::string name = "Gr\xfcn 1.txt"; // "Grün 1.txt" in the ANSI code page

    FILE* file = OpenFile(ExactChildPath(exact, name).c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fputs("twelve bytes", file);
    fclose(file);
    EXPECT_EQ("twelve bytes", ReadAll(Path(name.c_str())));
    EXPECT_TRUE(CFileSys::FileExists(ExactChildPath(exact, name).c_str()));
    EXPECT_EQ(12u, CFileSys::GetFileSize(ExactChildPath(exact, name).c_str()));

    EXPECT_TRUE(MoveFileExW(WidePath(ExactChildPath(exact, name).c_str()).c_str(),
                            WidePath(ExactChildPath(exact, "moved.txt").c_str()).c_str(),
                            MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(CFileSys::FileExists(Path(name.c_str()).c_str()));
    EXPECT_EQ("twelve bytes", ReadAll(Path("moved.txt")));

    EXPECT_TRUE(CFileSys::DeleteFileIfExists(ExactChildPath(exact, "moved.txt").c_str()));
    EXPECT_FALSE(CFileSys::FileExists(Path("moved.txt").c_str()));
    EXPECT_NE(0, RemoveFile(ExactChildPath(exact, "absent.txt").c_str()));
}

TEST_F(FileSysTest, AFolderThatIsNotThereHasNoExactPath) {
    EXPECT_EQ("", ExactFolderPath(""));
    EXPECT_EQ("", ExactFolderPath(Path("no such folder\\deeper")));
}

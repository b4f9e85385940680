// The second half of the update session: reload, the files to fetch, the downloads and the
// start of the workstation.
#include <windows.h>

#include <unordered_set>

#include "ExactPath.h"
#include "FileSys.h"
#include "GunzipFile.h"
#include "LoaderMessages.h"
#include "MyFileDownloader.h"
#include "OrlaLog.h"
#include "PatchFilesEx.h"
#include "SessionRules.h"
#include "ShellOpen.h"
#include "SkiffThread.h"
#include "Text.h"

namespace {

// A download is written under this suffix beside its file and moved over it when complete.
constexpr const char* kPartSuffix = ".skiff-part";

const char* const kClientSubdirectories[] = {"\\Studies",       "\\Comms",
                                             "\\Comms\\InBox",  "\\Comms\\Logfiles",
                                             "\\Comms\\OutBox", "\\Comms\\ReportTemplates"};
// The folders above that hold the workstation's data; Reload keeps them.
const std::vector<std::string> kClientDataFolders = {"Studies", "Comms"};

// Sets the last-write time (seconds since 1970) and leaves the other times as they are.
bool SetLastWriteTime(const std::string& path, int64_t seconds) {
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
    const int64_t since1601 = seconds + kSecondsFrom1601To1970;
    if (since1601 < 0 || since1601 > INT64_MAX / 10000000)
        return false;
    const uint64_t ticks = static_cast<uint64_t>(since1601) * 10000000;
    FILETIME time{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
    HANDLE file = CreateFileW(WidePath(path.c_str()).c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BOOL set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return set != FALSE;
}

// ASCII lower case: the names a new file must not meet in any case.
std::string LowerName(const std::string& name) {
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return lower;
}

// Decides which client files may be written by their exact Unix path (ExactPath.h): plain
// ASCII names directly in the folder that meet no file of the folder in any case, neither
// as they stand nor as part files, and no file of this session before them.
class NewFileNames {
public:
    NewFileNames(const PatchFilesEx& localList, const std::string& folder)
        : m_exactFolder(ExactFolderPath(folder)) {
        for (const PatchFileEntry& entry : localList.entries)
            m_taken.insert(LowerName(entry.fileName));
    }

    // The exact folder path when every name given is new, else "". The names are taken.
    std::string ExactFolderFor(std::initializer_list<const std::string*> names) {
        bool fresh = !m_exactFolder.empty();
        for (const std::string* name : names) {
            for (char c : *name)
                fresh = fresh && c > ' ' - 1 && c < 127 && c != '\\' && c != '/';
            const std::string lower = LowerName(*name);
            fresh = fresh && m_taken.count(lower) == 0 && m_taken.count(lower + kPartSuffix) == 0;
            m_taken.insert(lower);
        }
        return fresh ? m_exactFolder : std::string();
    }

private:
    std::string m_exactFolder;
    std::unordered_set<std::string> m_taken;
};

} // namespace

void CSkiffThread::Synchronise(const PatchFilesEx& serverList,
                               const std::string& localLoaderVersion,
                               const std::string& localDirectory) {
    if (m_record.reload) {
        if (IsWorkstationRunning(localDirectory)) {
            PrintMessage(2, "Halcyon is running !\n\nPlease close it and try again.");
            return;
        }
        // The workstation's data (studies, outgoing items, report templates) is the user's,
        // not the client's: it stays.
        if (!CFileSys::DeleteDirectoryKeeping(localDirectory.c_str(), kClientDataFolders)) {
            PrintMessage(2, "Reload: Could not fully remove local client !");
            return;
        }
        PrintMessage(0, "Reloading all client files");
    }

    PatchFilesEx localList("", localLoaderVersion.c_str(), true, "", "",
                           (localDirectory + "\\*").c_str());
    PatchFilesEx downloads;
    if (!serverList.Compare(&localList, &downloads)) {
        PrintMessage(2, "Processing file lists failed !");
        return;
    }

    g_pLog->Log(3, "Download Dir=%s", localDirectory.c_str());
    CFileSys::CreateDirectoryPath(localDirectory.c_str());
    for (const char* subdirectory : kClientSubdirectories)
        CFileSys::CreateDirectoryPath((localDirectory + subdirectory).c_str());

    PrintMessage(0, "Web version: %s%s, %d files to download", serverList.serverVersion.c_str(),
                 serverList.clientFiles64bit ? " 64bit" : "",
                 static_cast<int>(downloads.entries.size()));

    if (!DownloadClientFiles(downloads, localList, localDirectory, serverList.clientFiles64bit))
        return;
    LaunchWorkstation(localDirectory);
}

bool CSkiffThread::IsWorkstationRunning(const std::string& localDirectory) {
    const std::string name = WorkstationSemaphoreName(localDirectory);
    g_pLog->Log(3, "Checking semaphore <%s>", name.c_str());
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, name.c_str());
    bool running = false;
    if (semaphore != nullptr) {
        running = GetLastError() == ERROR_ALREADY_EXISTS;
        CloseHandle(semaphore);
    }
    if (running)
        g_pLog->LogText(4, "Halcyon running");
    return running;
}

bool CSkiffThread::DownloadClientFiles(const PatchFilesEx& downloads, const PatchFilesEx& localList,
                                       const std::string& localDirectory, bool files64bit) {
    NewFileNames newFiles(localList, localDirectory);
    uint64_t bytesToFetch = 0, bytesDone = 0;
    for (const PatchFileEntry& entry : downloads.entries)
        bytesToFetch += entry.fileSize;
    int64_t bytesReceived = 0;
    uint64_t timeSpent = 0;
    bool failed = false, firstFile = true;
    const std::string serverBase = GetServerBase();

    for (const PatchFileEntry& entry : downloads.entries) {
        const std::string name = ClientFileDisplayName(entry.fileName);
        const std::string url = ClientFileUrl(serverBase, files64bit, entry.fileName);
        const std::string localPath = localDirectory + "\\" + name;
        if (firstFile) {
            // Replacing lines then overwrite this line, not the one above it.
            PrintText(-1, " ");
            firstFile = false;
        }
        UpdateLastText(-1, "Updating " + name);
        g_pLog->LogText(4, (url + " -> " + localPath).c_str());

        const bool unpack = EndsWith(localPath, ".gz");
        const std::string finalName = unpack ? name.substr(0, name.size() - 3) : name;
        ClientFilePaths paths{localPath, localPath, localDirectory + "\\" + finalName};
        const std::string exactFolder = newFiles.ExactFolderFor({&name, &finalName});
        if (!exactFolder.empty()) {
            paths.download = ExactChildPath(exactFolder, name);
            paths.final = ExactChildPath(exactFolder, finalName);
        }
        FetchResult result = FetchFile(url, paths, unpack, &bytesReceived, &timeSpent);
        if (result != FetchResult::Ok) {
            switch (result) {
            case FetchResult::DownloadFailed:
                PrintText(2, "Could not download " + name);
                break;
            case FetchResult::Empty:
                PrintText(2, "Download failed for " + name);
                break;
            case FetchResult::UnzipFailed:
                PrintText(2, "Could not unzip " + name);
                break;
            default:
                PrintText(2, "Could not replace " + name);
                break;
            }
            failed = true;
            break;
        }
        if (!SetLastWriteTime(paths.final, entry.lastWriteTime))
            PrintMessage(2, "could not change file date");

        bytesDone += entry.fileSize;
        if (m_record.hWnd != nullptr)
            PostMessageA(m_record.hWnd, WM_LOADER_PROGRESS,
                         static_cast<WPARAM>(ProgressPercent(bytesDone, bytesToFetch)), 0);
    }
    m_connections.Close();
    if (m_record.hWnd != nullptr)
        PostMessageA(m_record.hWnd, WM_LOADER_PROGRESS, 100, 0);
    if (failed)
        return false;

    if (int rate = DownloadRate(bytesReceived, timeSpent); rate > 0)
        UpdateLastMessage(0, "Loading successful (%dkb , %dkb/sec)",
                          static_cast<int>(bytesReceived / 1000), rate);
    return true;
}

CSkiffThread::FetchResult CSkiffThread::FetchFile(const std::string& url,
                                                  const ClientFilePaths& paths, bool unpack,
                                                  int64_t* bytesReceived, uint64_t* timeSpent) {
    // The file in place stays as it is until its successor is complete.
    // A part file left from an earlier run is overwritten: the download starts at byte 0.
    const std::string partPath = paths.download + kPartSuffix;
    const std::string& finalPath = paths.final;
    MyFileDownloader downloader(this, url, partPath, paths.shown);
    if (downloader.Download() != kHttpOk) {
        CFileSys::DeleteFileIfExists(partPath.c_str());
        return FetchResult::DownloadFailed;
    }
    // A fresh download writes every byte it receives.
    if (downloader.m_nBytesReceived == 0) {
        CFileSys::DeleteFileIfExists(partPath.c_str());
        return FetchResult::Empty;
    }
    *bytesReceived += downloader.m_nBytesReceived;
    *timeSpent += downloader.m_qwTimeSpent;

    std::string readyPath = partPath;
    if (unpack) {
        readyPath = finalPath + kPartSuffix;
        int unzipped = -2;
        try {
            unzipped = GunzipFile(partPath.c_str(), readyPath.c_str());
        } catch (...) {
            unzipped = -2;
        }
        CFileSys::DeleteFileIfExists(partPath.c_str());
        if (unzipped != 0) {
            CFileSys::DeleteFileIfExists(readyPath.c_str());
            return FetchResult::UnzipFailed;
        }
    }
    if (!MoveFileExW(WidePath(readyPath.c_str()).c_str(), WidePath(finalPath.c_str()).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        g_pLog->Log(1, "Could not move %s to %s: %s", readyPath.c_str(), finalPath.c_str(),
                    CFileSys::GetLastErrorLine().c_str());
        CFileSys::DeleteFileIfExists(readyPath.c_str());
        return FetchResult::ReplaceFailed;
    }
    return FetchResult::Ok;
}

void CSkiffThread::LaunchWorkstation(const std::string& localDirectory) {
    std::string program = "\"";
    program += WorkstationProgramPath(localDirectory);
    program += '"';
    const std::string serverBase = GetServerBase();
    const std::string parameters =
        WorkstationParameters(m_record.link, serverBase, m_record.proxyAddress,
                              m_record.proxyUserName, m_record.proxyPassword);
    // The log keeps of the proxy password only its first character, as the proxy's line does.
    const std::string loggedParameters =
        WorkstationParameters(m_record.link, serverBase, m_record.proxyAddress,
                              m_record.proxyUserName, MaskedPassword(m_record.proxyPassword));
    if (!m_record.link.empty())
        PrintMessage(3, "Starting Halcyon with web link !");
    else
        PrintMessage(3, "Starting Halcyon !");
    // Passed without quotes: the process launcher takes the folder as it stands.
    const std::string directory = localDirectory;

    unsigned long error = 0;
    std::string reason;
    if (ShellOpen(program.c_str(), parameters.c_str(), directory.c_str(), SW_SHOWMAXIMIZED, &error,
                  &reason, loggedParameters.c_str()))
        g_pLog->LogText(4, "ShellExecuteEx success");
    else
        g_pLog->Log(1, "ShellExecuteEx failed ! errCode=%lu errMsg=%s", error, reason.c_str());
    if (m_record.hWnd != nullptr)
        PostMessageA(m_record.hWnd, WM_LOADER_LAUNCHED, 0, 0);
}

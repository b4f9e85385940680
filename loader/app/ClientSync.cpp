// The second half of the update session: reload, the files to fetch, the downloads and the
// start of the workstation.
#include <windows.h>

#include <unordered_set>

#include "ExactPath.h"
#include "FileSys.h"
#include "FileTime.h"
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

const char* const kClientSubdirectories[] = {"\\Studies",       "\\Comms",
                                             "\\Comms\\InBox",  "\\Comms\\Logfiles",
                                             "\\Comms\\OutBox", "\\Comms\\ReportTemplates"};
// The folders above that hold the workstation's data; Reload keeps them.
const std::vector<std::string> kClientDataFolders = {"Studies", "Comms"};

// Sets the last-write time (seconds since 1970) and leaves the other times as they are.
bool SetLastWriteTime(const std::string& path, int64_t seconds) {
    FILETIME time;
    if (!FileTimeFromSeconds(seconds, &time))
        return false;
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

// Printable ASCII, and no folder.
bool IsPlainName(const std::string& name) {
    for (char c : name)
        if (c < ' ' || c > '~' || c == '\\' || c == '/')
            return false;
    return true;
}

// Where the files of an update go. A file new to the folder may be written by its exact Unix
// path (ExactPath.h): a plain ASCII name directly in the folder that meets no file of the
// folder in any case, neither as it stands nor as a part file, and no earlier file of this
// update. Files from different server folders may land on one local name: being fetched at
// once, each has part files of its own, and the last in the list replaces the file last, as
// when fetched one by one.
class ClientFilePlaces {
public:
    ClientFilePlaces(const PatchFilesEx& localList, const std::string& folder)
        : m_folder(folder), m_exactFolder(ExactFolderPath(folder)) {
        for (const PatchFileEntry& entry : localList.entries)
            m_local.insert(LowerName(entry.fileName));
    }

    // The paths of the file (name as downloaded, finalName once unpacked) at this place of
    // the list.
    ClientFilePaths PathsFor(const std::string& name, const std::string& finalName, size_t place) {
        // The file's names and the standard names of its part files.
        const std::string names[] = {LowerName(name), LowerName(finalName),
                                     LowerName(name + kPartSuffix),
                                     LowerName(finalName + kPartSuffix)};
        bool shared = false;
        for (const std::string& lower : names)
            shared = shared || m_update.count(lower) != 0;
        const bool exact = !m_exactFolder.empty() && !shared && IsNew(name) && IsNew(finalName);
        m_update.insert(std::begin(names), std::end(names));
        auto path = [&](const std::string& fileName) {
            return exact ? ExactChildPath(m_exactFolder, fileName) : m_folder + "\\" + fileName;
        };
        const std::string suffix = kPartSuffix + (shared ? std::to_string(place) : std::string());
        return ClientFilePaths{m_folder + "\\" + name, path(name + suffix),
                               path(finalName + suffix), path(finalName)};
    }

private:
    bool IsNew(const std::string& name) const {
        return IsPlainName(name) && m_local.count(LowerName(name)) == 0 &&
               m_local.count(LowerName(name + kPartSuffix)) == 0;
    }

    std::string m_folder;
    std::string m_exactFolder;
    std::unordered_set<std::string> m_local;  // the folder's names before the update
    std::unordered_set<std::string> m_update; // the names this update uses so far
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
    ClientFilePlaces places(localList, localDirectory);
    const std::string serverBase = GetServerBase();
    std::vector<ClientFile> files(downloads.entries.size());
    uint64_t bytesToFetch = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const PatchFileEntry& entry = downloads.entries[i];
        ClientFile& file = files[i];
        file.name = ClientFileDisplayName(entry.fileName);
        file.url = ClientFileUrl(serverBase, files64bit, entry.fileName);
        file.unpack = EndsWith(file.name, ".gz");
        file.lastWriteTime = entry.lastWriteTime;
        const std::string finalName =
            file.unpack ? file.name.substr(0, file.name.size() - 3) : file.name;
        file.paths = places.PathsFor(file.name, finalName, i);
        bytesToFetch += entry.fileSize;
    }

    // Replacing lines then overwrite this line, not the one above it.
    if (!files.empty())
        PrintText(-1, " ");
    uint64_t bytesDone = 0;
    int64_t bytesReceived = 0;
    uint64_t timeSpent = 0;
    size_t finished = 0;
    FetchResult result = FetchResult::Ok;
    CClientFetchers fetchers(this, files);
    for (; finished < files.size(); ++finished) {
        ClientFile& file = files[finished];
        result = fetchers.Wait(finished);
        if (result != FetchResult::Ok)
            break;
        bytesReceived += file.bytesReceived;
        timeSpent += file.timeSpent;
        result = FinishFile(file);
        if (result != FetchResult::Ok)
            break;
        if (file.dateFailed)
            PrintMessage(2, "could not change file date");
        bytesDone += downloads.entries[finished].fileSize;
        if (m_record.hWnd != nullptr)
            PostMessageA(m_record.hWnd, WM_LOADER_PROGRESS,
                         static_cast<WPARAM>(ProgressPercent(bytesDone, bytesToFetch)), 0);
    }
    // Nothing after a failed file replaces its file, and no fetcher's line follows the
    // failure's.
    fetchers.StopAndDiscard(finished + 1);
    if (result != FetchResult::Ok) {
        const std::string& name = files[finished].name;
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
    }
    if (m_record.hWnd != nullptr)
        PostMessageA(m_record.hWnd, WM_LOADER_PROGRESS, 100, 0);
    if (result != FetchResult::Ok)
        return false;

    if (int rate = DownloadRate(bytesReceived, timeSpent); rate > 0)
        UpdateLastMessage(0, "Loading successful (%dkb , %dkb/sec)",
                          static_cast<int>(bytesReceived / 1000), rate);
    return true;
}

void CSkiffThread::AnnounceFile(const ClientFile& file) {
    UpdateLastText(-1, "Updating " + file.name);
    g_pLog->LogText(4, (file.url + " -> " + file.paths.shown).c_str());
}

FetchResult CSkiffThread::FetchPart(ClientFile& file, CHttpConnectionCache* connections,
                                    HANDLE stop) {
    // A part file left from an earlier run is overwritten: the download starts at byte 0.
    const std::string& partPath = file.paths.download;
    MyFileDownloader downloader(this, file.url, partPath, file.paths.shown);
    downloader.m_pConnectionCache = connections;
    if (stop != nullptr)
        downloader.m_hStopEvent1 = stop;
    // A plain file is dated as its download closes; an unpacked one once it is in place.
    const bool dateOnClose = !file.unpack && file.lastWriteTime != kKeepDate;
    FILETIME time{};
    const bool timeValid = dateOnClose && FileTimeFromSeconds(file.lastWriteTime, &time);
    if (timeValid)
        downloader.m_file.SetLastWriteTimeOnClose(time);
    if (downloader.Download() != kHttpOk) {
        CFileSys::DeleteFileIfExists(partPath.c_str());
        return FetchResult::DownloadFailed;
    }
    // A fresh download writes every byte it receives.
    if (downloader.m_nBytesReceived == 0) {
        CFileSys::DeleteFileIfExists(partPath.c_str());
        return FetchResult::Empty;
    }
    file.bytesReceived = downloader.m_nBytesReceived;
    file.timeSpent = downloader.m_qwTimeSpent;
    file.dateFailed = dateOnClose && (!timeValid || downloader.m_file.LastWriteTimeFailed());
    return FetchResult::Ok;
}

FetchResult CSkiffThread::FinishFile(ClientFile& file) {
    // The file in place stays as it is until its successor is complete.
    const std::string& partPath = file.paths.download;
    const std::string& finalPath = file.paths.final;
    std::string readyPath = partPath;
    if (file.unpack) {
        readyPath = file.paths.unpacked;
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
    if (file.unpack && file.lastWriteTime != kKeepDate)
        file.dateFailed = !SetLastWriteTime(finalPath, file.lastWriteTime);
    return FetchResult::Ok;
}

FetchResult CSkiffThread::FetchFile(ClientFile& file) {
    FetchResult result = FetchPart(file, nullptr, nullptr);
    return result == FetchResult::Ok ? FinishFile(file) : result;
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

// Client files on their way in. Four fetcher threads download the files of an update in list
// order into part files, each over a WinINet session and connection of its own, while the
// worker finishes them (unpacks, moves over the old file, dates) in list order. A request
// under Wine spends most of its time waiting for the server: the other connections fill that
// time with the next files.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "HttpConnectionCache.h"

class CSkiffThread;

// Where a client file goes: its place in the client folder as the user sees it, the part
// file it is downloaded to, the part file a ".gz" file is unpacked to, and the file it
// replaces at the end. For a file new to the folder the last three are exact Unix paths.
struct ClientFilePaths {
    std::string shown;
    std::string download;
    std::string unpacked;
    std::string final;
};

// Ok, or the step of a client file that failed; the worker reports it.
enum class FetchResult { Ok, DownloadFailed, Empty, UnzipFailed, ReplaceFailed };

// A download is written under this suffix beside its file and moved over it when complete.
constexpr const char* kPartSuffix = ".skiff-part";

// A last-write time that leaves the file's date as it is.
constexpr int64_t kKeepDate = INT64_MIN;

struct ClientFile {
    std::string name; // as the status lines name it
    std::string url;
    ClientFilePaths paths;
    bool unpack = false;
    int64_t lastWriteTime = kKeepDate; // seconds since 1970
    // Set by the fetch.
    int64_t bytesReceived = 0;
    uint64_t timeSpent = 0;
    bool dateFailed = false;
};

class CClientFetchers {
public:
    static constexpr int kFetchers = 4;

    // Starts fetching the files in list order.
    CClientFetchers(CSkiffThread* owner, std::vector<ClientFile>& files);
    CClientFetchers(const CClientFetchers&) = delete;
    CClientFetchers& operator=(const CClientFetchers&) = delete;
    ~CClientFetchers();

    // Waits until the file at index is fetched.
    FetchResult Wait(size_t index);
    // Stops fetching, waits for the fetchers and removes the part files of the files from
    // index on that were fetched but will not be finished.
    void StopAndDiscard(size_t index);

private:
    void Fetch(CHttpConnectionCache* connections);

    CSkiffThread* m_owner;
    std::vector<ClientFile>& m_files;
    std::vector<FetchResult> m_results;
    std::vector<char> m_fetched;
    size_t m_next = 0;
    bool m_stopped = false;
    std::mutex m_lock;
    std::condition_variable m_changed;
    // Signalled to break off the downloads under way.
    HANDLE m_hStop = nullptr;
    CHttpConnectionCache m_connections[kFetchers];
    std::vector<std::thread> m_threads;
};

// The worker of one update session: asks the server for the client file list, updates the
// loader itself when the server has a newer one, brings the local client up to date and
// starts the workstation. It reports to the loader window only through posted messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ClientFetch.h"
#include "Text.h"

class PatchFilesEx;

// What the window hands to a new worker; the worker keeps its own copy.
struct SessionRecord {
    HWND hWnd = nullptr;
    std::string protocol;
    std::string host;
    int port = -1;
    std::string link;
    std::string proxyAddress;
    std::string proxyUserName;
    std::string proxyPassword;
    BYTE reload = 0;
};

class CSkiffThread {
public:
    explicit CSkiffThread(const SessionRecord& record);
    CSkiffThread(const CSkiffThread&) = delete;
    CSkiffThread& operator=(const CSkiffThread&) = delete;
    // Signals the stop event and waits for the thread to end.
    virtual ~CSkiffThread();

    const SessionRecord& Record() const { return m_record; }
    // Waits for the session to end; false when it has not ended within the time.
    bool WaitForEnd(DWORD milliseconds) const;

    // Status lines: levels -1 (transient, not logged) to 3 (check mark). UpdateLastMessage
    // replaces the last line instead of adding one. Texts are cut to the status buffer.
    void PrintMessage(int level, const char* format, ...) SKIFF_PRINTF(3, 4);
    void UpdateLastMessage(int level, const char* format, ...) SKIFF_PRINTF(3, 4);
    void PrintText(int level, const std::string& text);
    void UpdateLastText(int level, const std::string& text);

    std::string GetServerAddress() const;
    std::string GetServerBase() const;
    bool RequestFileList(PatchFilesEx* list, bool use64);
    bool CheckLoaderUpdate(const std::string& localVersion, const std::string& serverVersion);
    static int CompareVersions(const std::string& a, const std::string& b);

    HANDLE GetStopEvent() const { return m_hStopEvent; }

private:
    friend class CClientFetchers;

    static DWORD WINAPI ThreadProc(LPVOID parameter);
    void Run();
    void Session();
    void Report(int level, bool replace, const std::string& text);
    bool StartUpdater();

    // The second half: reload, download list, downloads, launch.
    void Synchronise(const PatchFilesEx& serverList, const std::string& localLoaderVersion,
                     const std::string& localDirectory);
    bool IsWorkstationRunning(const std::string& localDirectory);
    // localList: the files in the client folder before the downloads.
    bool DownloadClientFiles(const PatchFilesEx& downloads, const PatchFilesEx& localList,
                             const std::string& localDirectory, bool files64bit);
    // The status and log lines of a client file whose download begins.
    void AnnounceFile(const ClientFile& file);
    // Downloads a client file to its part file (dated as it closes, unless it is unpacked)
    // over the given kept connections (none: a connection of its own); the stop event (by
    // default the session's) breaks the download off. The file in place stays as it is.
    FetchResult FetchPart(ClientFile& file, CHttpConnectionCache* connections, HANDLE stop);
    // Unpacks a fetched ".gz" file, moves the result over the file in place and dates it.
    FetchResult FinishFile(ClientFile& file);
    // Both steps for one file, on a connection of its own.
    FetchResult FetchFile(ClientFile& file);
    void LaunchWorkstation(const std::string& localDirectory);

    HANDLE m_hThread = nullptr;
    HANDLE m_hStopEvent = nullptr;
    DWORD m_threadId = 0;
    SessionRecord m_record;
    // The server the session talks to: from the record, or from a single-study link.
    std::string m_strProtocol;
    std::string m_strHost;
    int m_nPort = -1;
    BYTE m_is64 = 0;
    BYTE m_macMode = 0;
};

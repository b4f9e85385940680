// The worker of one update session. It reports to the loader window only through posted
// messages.
#pragma once

#include <windows.h>

#include <string>

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

private:
    static DWORD WINAPI ThreadProc(LPVOID parameter);
    void Run();

    HANDLE m_hThread = nullptr;
    HANDLE m_hStopEvent = nullptr;
    DWORD m_threadId = 0;
    SessionRecord m_record;
};

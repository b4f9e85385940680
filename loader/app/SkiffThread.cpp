#include "SkiffThread.h"

#include "LoaderMessages.h"

CSkiffThread::CSkiffThread(const SessionRecord& record) : m_record(record) {
    m_hStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_hThread = CreateThread(nullptr, 0, ThreadProc, this, 0, &m_threadId);
    if (m_hThread == nullptr) {
        // Without a thread the window would wait for an end message forever.
        if (m_record.hWnd != nullptr)
            PostMessageA(m_record.hWnd, WM_LOADER_DONE, 0, 1);
    }
}

CSkiffThread::~CSkiffThread() {
    if (m_hStopEvent != nullptr)
        SetEvent(m_hStopEvent);
    if (m_hThread != nullptr) {
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
    }
    if (m_hStopEvent != nullptr)
        CloseHandle(m_hStopEvent);
}

DWORD WINAPI CSkiffThread::ThreadProc(LPVOID parameter) {
    static_cast<CSkiffThread*>(parameter)->Run();
    return 0;
}

// The update session itself comes with the downloader and the file lists; until then a session
// ends at once, so the window returns to idle.
void CSkiffThread::Run() {
    if (m_record.hWnd != nullptr)
        PostMessageA(m_record.hWnd, WM_LOADER_DONE, 0, 1);
}

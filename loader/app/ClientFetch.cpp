#include "ClientFetch.h"

#include <chrono>

#include "FileSys.h"
#include "OrlaLog.h"
#include "SkiffThread.h"

CClientFetchers::CClientFetchers(CSkiffThread* owner, std::vector<ClientFile>& files)
    : m_owner(owner), m_files(files), m_results(files.size(), FetchResult::Ok),
      m_fetched(files.size(), 0), m_hStop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    for (int i = 0; i < kFetchers; ++i) {
        try {
            m_threads.emplace_back(&CClientFetchers::Fetch, this, &m_connections[i]);
        } catch (...) {
            // One fetcher does the work alone, only slower; none, and Wait fetches itself.
            g_pLog->Log(1, "CClientFetchers: could not start a fetcher");
            break;
        }
    }
}

CClientFetchers::~CClientFetchers() {
    StopAndDiscard(m_files.size());
    if (m_hStop != nullptr)
        CloseHandle(m_hStop);
}

void CClientFetchers::Fetch(CHttpConnectionCache* connections) {
    for (;;) {
        size_t index;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_stopped || m_next >= m_files.size())
                break;
            index = m_next++;
            // Under the lock: the status and log lines come in list order.
            m_owner->AnnounceFile(m_files[index]);
        }
        FetchResult result = FetchResult::DownloadFailed;
        try {
            result = m_owner->FetchPart(m_files[index], connections, m_hStop);
        } catch (...) {
            g_pLog->Log(1, "CClientFetchers::Fetch EXCEPTION !!!");
            CFileSys::DeleteFileIfExists(m_files[index].paths.download.c_str());
        }
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_results[index] = result;
            m_fetched[index] = 1;
        }
        m_changed.notify_all();
    }
    connections->Close();
}

FetchResult CClientFetchers::Wait(size_t index) {
    if (m_threads.empty()) {
        // No fetcher could start: the worker fetches this file itself.
        m_owner->AnnounceFile(m_files[index]);
        return m_owner->FetchPart(m_files[index], &m_connections[0], nullptr);
    }
    std::unique_lock<std::mutex> lock(m_lock);
    // The downloads watch one event only (each look costs a call to the Wine server), so a
    // stop of the session reaches them from here.
    while (!m_changed.wait_for(lock, std::chrono::milliseconds(50),
                               [&] { return m_fetched[index] != 0; })) {
        if (WaitForSingleObject(m_owner->GetStopEvent(), 0) == WAIT_OBJECT_0)
            SetEvent(m_hStop);
    }
    return m_results[index];
}

void CClientFetchers::StopAndDiscard(size_t index) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopped = true;
    }
    if (m_hStop != nullptr)
        SetEvent(m_hStop);
    for (std::thread& thread : m_threads)
        if (thread.joinable())
            thread.join();
    for (size_t i = index; i < m_files.size(); ++i)
        if (m_fetched[i] && m_results[i] == FetchResult::Ok)
            CFileSys::DeleteFileIfExists(m_files[i].paths.download.c_str());
}

#include "MyFileDownloader.h"

#include "SkiffThread.h"

MyFileDownloader::MyFileDownloader(CSkiffThread* owner, const std::string& url,
                                   const std::string& localPath, const std::string& shownPath)
    : m_pOwner(owner), m_strShownPath(shownPath.empty() ? localPath : shownPath) {
    m_strURL = url;
    m_strLocalFilePath = localPath;
    m_strAgent = "Skiff";
    // Larger reads than the downloader's 1 KiB: far fewer calls per file, and the progress
    // line is throttled to 100 KB steps anyway.
    m_dwReadBufferSize = kReadSize;
    if (owner != nullptr)
        m_hStopEvent1 = owner->GetStopEvent();
}

DWORD MyFileDownloader::GetRequestFlags() {
    return CHttpDownloader::GetRequestFlags() | INTERNET_FLAG_NO_COOKIES;
}

int MyFileDownloader::OnProgress(uint32_t, uint64_t, bool, uint64_t) {
    double kilobytes = static_cast<double>(m_nBytesReceived) / 1000.0;
    if (m_dLastReported == -1.0 || kilobytes - m_dLastReported > 100.0) {
        if (m_pOwner != nullptr)
            m_pOwner->UpdateLastMessage(-1, "Updating %s (%.0f KB)", m_strShownPath.c_str(),
                                        kilobytes);
        m_dLastReported = kilobytes;
    }
    return 0;
}

#include "HttpConnectionCache.h"

HINTERNET CHttpConnectionCache::Session(const std::string& key) {
    if (m_session != nullptr && key != m_sessionKey)
        Close();
    return m_session;
}

void CHttpConnectionCache::KeepSession(const std::string& key, HINTERNET session) {
    Close();
    m_session = session;
    m_sessionKey = key;
}

HINTERNET CHttpConnectionCache::Connection(const std::string& key) {
    if (m_connection != nullptr && key != m_connectionKey)
        DropConnection();
    return m_connection;
}

void CHttpConnectionCache::KeepConnection(const std::string& key, HINTERNET connection) {
    DropConnection();
    m_connection = connection;
    m_connectionKey = key;
}

void CHttpConnectionCache::DropConnection() {
    if (m_connection != nullptr)
        InternetCloseHandle(m_connection);
    m_connection = nullptr;
    m_connectionKey.clear();
}

void CHttpConnectionCache::Close() {
    DropConnection();
    if (m_session != nullptr)
        InternetCloseHandle(m_session);
    m_session = nullptr;
    m_sessionKey.clear();
}

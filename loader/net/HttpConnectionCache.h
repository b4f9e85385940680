// One WinINet session and connection kept across the downloads of an update session, so that
// the client files go over one keep-alive connection instead of setting up a session,
// a connection and a request each. Used by the downloads of one thread, one at a time.
#pragma once

#include <string>

#include <windows.h>
#include <wininet.h>

class CHttpConnectionCache {
public:
    CHttpConnectionCache() = default;
    CHttpConnectionCache(const CHttpConnectionCache&) = delete;
    CHttpConnectionCache& operator=(const CHttpConnectionCache&) = delete;
    ~CHttpConnectionCache() { Close(); }

    // The session opened for key, or none (a session opened for another key is closed).
    HINTERNET Session(const std::string& key);
    void KeepSession(const std::string& key, HINTERNET session);
    // The same for the connection of the current session.
    HINTERNET Connection(const std::string& key);
    void KeepConnection(const std::string& key, HINTERNET connection);
    // Closes the connection only: the next download connects anew.
    void DropConnection();
    void Close();

    bool Owns(HINTERNET handle) const {
        return handle != nullptr && (handle == m_session || handle == m_connection);
    }

private:
    HINTERNET m_session = nullptr;
    HINTERNET m_connection = nullptr;
    std::string m_sessionKey;
    std::string m_connectionKey;
};

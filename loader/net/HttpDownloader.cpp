#include "HttpDownloader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "Buf.h"
#include "ExactPath.h"
#include "FileSys.h"
#include "GzipDecoder.h"
#include "HttpRequestParts.h"
#include "OrlaLog.h"
#include "ProxySettings.h"
#include "Text.h"

namespace {

constexpr DWORD kRawHeadersSize = 10240;
constexpr DWORD kContentLengthSize = 32;
constexpr int kPauseRounds = 602;

// Milliseconds from the high-resolution counter.
uint64_t NowMs() {
    static const LONGLONG frequency = [] {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<uint64_t>(now.QuadPart / frequency * 1000 +
                                 now.QuadPart % frequency * 1000 / frequency);
}

// The program's name without folder and extension, the agent when none is set.
std::string ApplicationName() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, std::min<DWORD>(length, MAX_PATH));
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name;
}

void CALLBACK StatusCallback(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                             DWORD infoLength) {
    if (context != 0)
        reinterpret_cast<CHttpDownloader*>(context)->OnStatusCallback(handle, status, info,
                                                                      infoLength);
}

} // namespace

CHttpDownloader::CHttpDownloader() = default;

CHttpDownloader::~CHttpDownloader() {
    try {
        ReleaseHandles();
        FreeMemory();
    } catch (...) {
        g_pLog->Log(1, "~CHttpDownloader EXCEPTION !!!");
    }
}

void CHttpDownloader::FreeMemory() {
    free(m_pMemory);
    m_pMemory = nullptr;
    m_qwMemoryCapacity = 0;
    m_qwMemoryUsed = 0;
}

void CHttpDownloader::ReleaseHandles() {
    std::lock_guard<std::mutex> guard(m_handleLock);
    for (HINTERNET* handle : {&m_hRequest, &m_hConnection, &m_hSession}) {
        const bool kept = m_pConnectionCache != nullptr && m_pConnectionCache->Owns(*handle);
        if (*handle != nullptr && !kept)
            InternetCloseHandle(*handle);
        *handle = nullptr;
    }
}

int CHttpDownloader::Download() {
    try {
        const bool toFile = !m_strLocalFilePath.empty();
        const bool existedBefore = toFile && CFileSys::FileExists(m_strLocalFilePath.c_str());
        int result;
        try {
            result = _Download();
        } catch (...) {
            g_pLog->Log(1, "_Download Exception !");
            result = kHttpException;
        }
        ReleaseHandles();
        // A connection left in the middle of a reply is not used again.
        if (result != kHttpOk && m_pConnectionCache != nullptr)
            m_pConnectionCache->Close();
        if (toFile) {
            m_file.Close();
            // A failed download removes the file it created, never one that was there.
            if (result != kHttpOk && !existedBefore &&
                CFileSys::FileExists(m_strLocalFilePath.c_str()))
                DeleteDownloadedFile();
        }
        return result;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::Download EXCEPTION !!!");
        return kHttpException;
    }
}

int CHttpDownloader::_Download() {
    try {
        ReleaseHandles();
        m_strURL = NormalizeUrl(m_strURL);
        if (!ParseURL(m_strURL, &m_nServiceType, &m_strHostName, &m_strObject, &m_nPort)) {
            g_pLog->Log(1, "CHttpDownloader::_Download, Failed to parse the URL: %s",
                        m_strURL.c_str());
            return kHttpBadUrl;
        }
        if (!CreateSession())
            return kHttpSessionFailed;
        if (!CreateConnection())
            return kHttpConnectionFailed;
        if (!CreateRequest())
            return kHttpRequestFailed;

        SendState send;
        if (m_bPreSendProxyCredentials) {
            if (!DoProxyAuthentication())
                return kHttpCredentialsFailed;
            send.proxyCredentialsSent = true;
        }
        if (m_bPreSendServerCredentials) {
            if (!DoHTTPAuthentication())
                return kHttpCredentialsFailed;
            send.serverCredentialsSent = true;
        }
        if (m_bRelaxedCertificateCheck)
            RelaxCertificateCheck();

        bool badStatus = false;
        DWORD status = 0;
        if (int result = SendLoop(send, &badStatus, &status))
            return result;

        OnStatusText("Getting file information, Error:%s");
        bool lengthKnown = false;
        if (!QueryContentLength(&lengthKnown))
            return kHttpLengthRejected;
        OnStatusText("Retreiving the file, Error:%s");

        if (!m_strLocalFilePath.empty()) {
            if (int result = OpenTargetFile(status))
                return result;
        }
        return ReadLoop(badStatus, status, lengthKnown);
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::_Download EXCEPTION !!!");
        return kHttpException;
    }
}

void CHttpDownloader::RelaxCertificateCheck() {
    // Failures here are ignored: the request then checks certificates as usual.
    DWORD flags = 0;
    DWORD length = sizeof flags;
    if (InternetQueryOptionA(m_hRequest, INTERNET_OPTION_SECURITY_FLAGS, &flags, &length)) {
        flags |= SECURITY_FLAG_IGNORE_REVOCATION | SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        InternetSetOptionA(m_hRequest, INTERNET_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
    }
}

int CHttpDownloader::SendLoop(SendState& send, bool* badStatus, DWORD* statusCode) {
    m_noAutomaticAuthentication = false;
    for (;;) {
        DWORD error = 0;
        if (!SendRequest(&error)) {
            g_pLog->Log(1, "HttpSendRequest failed ! (%ld)", static_cast<long>(error));
            if (error == ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED && !send.certificateRetried &&
                m_bCertificateHookEnabled && OnClientCertificateNeeded()) {
                send.certificateRetried = true;
                continue;
            }
            const bool closedByPeer = error == ERROR_INTERNET_CONNECTION_ABORTED ||
                                      error == ERROR_INTERNET_CONNECTION_RESET;
            if (closedByPeer && MayReconnect(send)) {
                if (!ReconnectOnce(send))
                    return kHttpConnectionFailed;
                continue;
            }
            SetLastError(error);
            HandleError("An error occurred connecting to the server, Error:%s", -1);
            return kHttpSendFailed;
        }

        ReadResponseHeaders();
        DWORD status = 0;
        DWORD statusLength = sizeof status;
        if (!HttpQueryInfoA(m_hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                            &statusLength, nullptr)) {
            HandleError("Failed to receive a valid response from the server, Error:%s", -1);
            return kHttpNoStatus;
        }
        // A connection reset before any answer leaves WinINet without a status line
        // (status 0) instead of failing the send.
        if (status == 0 && MayReconnect(send)) {
            if (!ReconnectOnce(send))
                return kHttpConnectionFailed;
            continue;
        }
        if (status != HTTP_STATUS_PROXY_AUTH_REQ && status != HTTP_STATUS_DENIED) {
            *statusCode = status;
            *badStatus = status != HTTP_STATUS_OK && status != HTTP_STATUS_PARTIAL_CONTENT;
            return kHttpOk;
        }

        DrainBody();
        int result =
            status == HTTP_STATUS_PROXY_AUTH_REQ ? OnProxyChallenge(send) : OnServerChallenge(send);
        if (result == kAnotherRound)
            continue;
        if (result != kToHook)
            return result;
        int code = 0;
        if (OnAuthenticationFailed(&code))
            continue;
        if (code != 0)
            HandleError("Failed to receive a valid response from the server, Error:%s", code);
        return kHttpNoStatus;
    }
}

bool CHttpDownloader::SendRequest(DWORD* error) {
    std::string headers = GetRequestHeaders();
    uint64_t started = NowMs();
    BOOL sent = HttpSendRequestA(m_hRequest, headers.empty() ? nullptr : headers.c_str(),
                                 static_cast<DWORD>(headers.size()), const_cast<void*>(m_pBody),
                                 m_dwBodyLength);
    *error = GetLastError();
    m_qwLastSendTime = NowMs() - started;
    m_qwTimeSpent += m_qwLastSendTime;
    return sent != FALSE;
}

void CHttpDownloader::ReadResponseHeaders() {
    std::vector<char> raw(kRawHeadersSize);
    DWORD rawLength = kRawHeadersSize;
    if (HttpQueryInfoA(m_hRequest, HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &rawLength, nullptr))
        m_strResponseHeaders.assign(raw.data(), std::min(rawLength, kRawHeadersSize));
}

int CHttpDownloader::OnProxyChallenge(SendState& send) {
    if (!ProxyUserName().empty() && !send.proxyCredentialsSent) {
        if (!DoProxyAuthentication())
            return kHttpCredentialsFailed;
        send.proxyCredentialsSent = true;
        return kAnotherRound;
    }
    if (m_bProxyFailureToHook)
        return kToHook;
    LogBadStatus(HTTP_STATUS_PROXY_AUTH_REQ);
    HandleError("Proxy Authentication failed:%s", HTTP_STATUS_PROXY_AUTH_REQ);
    return kHttpBadStatus;
}

int CHttpDownloader::OnServerChallenge(SendState& send) {
    if (!m_strUserName.empty() && !send.serverCredentialsSent) {
        if (!DoHTTPAuthentication())
            return kHttpServerAuthFailed;
        send.serverCredentialsSent = true;
        return kAnotherRound;
    }
    if (m_bServerFailureToHook)
        return kToHook;
    LogBadStatus(HTTP_STATUS_DENIED);
    HandleError("Failed to receive a valid HTTP response from the server, Response Code:%s",
                HTTP_STATUS_DENIED);
    return kHttpBadStatus;
}

void CHttpDownloader::LogBadStatus(DWORD status) {
    g_pLog->Log(1,
                "CHttpDownloader::_Download, Failed to retrieve a HTTP OK or partial content "
                "status, Status Code: %d",
                static_cast<int>(status));
}

bool CHttpDownloader::MayReconnect(const SendState& send) const {
    // A proxy may drop its connection (after refusing a request, or at once): the request
    // goes once more, on a fresh connection.
    return m_viaProxy && !send.reconnected;
}

bool CHttpDownloader::ReconnectOnce(SendState& send) {
    send.reconnected = true;
    m_noAutomaticAuthentication = m_strUserName.empty();
    {
        std::lock_guard<std::mutex> guard(m_handleLock);
        if (m_hRequest != nullptr)
            InternetCloseHandle(m_hRequest);
        if (m_pConnectionCache != nullptr && m_pConnectionCache->Owns(m_hConnection))
            m_pConnectionCache->DropConnection();
        else if (m_hConnection != nullptr)
            InternetCloseHandle(m_hConnection);
        m_hRequest = nullptr;
        m_hConnection = nullptr;
    }
    if (!CreateConnection() || !CreateRequest())
        return false;
    if (send.proxyCredentialsSent && !DoProxyAuthentication())
        return false;
    if (send.serverCredentialsSent && !DoHTTPAuthentication())
        return false;
    return true;
}

bool CHttpDownloader::QueryContentLength(bool* lengthKnown) {
    m_qwContentLength = 0;
    *lengthKnown = false;
    char text[kContentLengthSize] = {};
    DWORD size = kContentLengthSize;
    if (!HttpQueryInfoA(m_hRequest, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr) ||
        !ParseContentLength(std::string(text, std::min(size, kContentLengthSize)),
                            &m_qwContentLength))
        return true;
    *lengthKnown = true;
    return OnContentLength(m_qwContentLength) != 0;
}

int CHttpDownloader::OpenTargetFile(DWORD status) {
    // A server that ignores the Range header sends the whole file: it is then written from
    // the start rather than appended behind the partial copy.
    const uint64_t offset = status == HTTP_STATUS_OK ? 0 : m_qwResumeOffset;
    const bool keep = m_qwResumeOffset > 0 && CFileSys::FileExists(m_strLocalFilePath.c_str());
    if (DWORD error = m_file.Open(m_strLocalFilePath.c_str(), keep)) {
        SetLastError(error);
        HandleError("An error occured while opening the file to be downloaded, Error:%s", -1);
        return kHttpFileOpenFailed;
    }
    DWORD error = m_file.Seek(offset);
    if (error == 0)
        error = m_file.SetLength(offset);
    if (error != 0) {
        HandleError("An error occurred while seeking to the end of the file to be downloaded, "
                    "Error:%s",
                    static_cast<int>(error));
        return kHttpFileSeekFailed;
    }
    return kHttpOk;
}

void CHttpDownloader::DrainBody() {
    std::vector<char> buffer(std::max<uint32_t>(m_dwReadBufferSize, 1));
    DWORD read = 0;
    while (InternetReadFile(m_hRequest, buffer.data(), static_cast<DWORD>(buffer.size()), &read) &&
           read > 0) {
    }
}

int CHttpDownloader::ReadLoop(bool badStatus, DWORD statusCode, bool lengthKnown) {
    // Once per response, on the heap: the read size is the caller's choice.
    std::vector<char> buffer(std::max<uint32_t>(m_dwReadBufferSize, 1));
    const uint64_t loopStart = GetTickCount64();
    uint64_t counter = 0;
    for (;;) {
        DWORD read = 0;
        uint64_t started = NowMs();
        BOOL ok =
            InternetReadFile(m_hRequest, buffer.data(), static_cast<DWORD>(buffer.size()), &read);
        DWORD error = GetLastError();
        if (!ok) {
            SetLastError(error);
            HandleError("An error occurred while downloading the file, Error:%s", -1);
            return kHttpReadFailed;
        }
        m_qwTimeSpent += NowMs() - started;
        m_nBytesReceived += read;
        if (read > 0) {
            if (int result = OnDownloadData(buffer.data(), read))
                return result;
            counter += read;
            if (uint32_t sleep = ThrottleSleepMs(counter, GetTickCount64() - loopStart, m_dMaxRate))
                Sleep(sleep);
        }
        if (int result =
                OnProgress(read, counter, lengthKnown, m_qwResumeOffset + m_qwContentLength))
            return result;
        if (Abort())
            return kHttpAborted;
        if (read == 0)
            break;
    }
    // WinINet ends a body quietly when the connection breaks off; a file shorter than its
    // announced length must not pass for a complete one.
    if (!badStatus && lengthKnown && counter != m_qwContentLength && !m_strLocalFilePath.empty()) {
        g_pLog->Log(1, "HTTP len MISMATCH! header=%ld, buf=%ld",
                    static_cast<long>(m_qwContentLength), static_cast<long>(counter));
        HandleError("An error occurred while downloading the file, Error:%s",
                    ERROR_INTERNET_CONNECTION_ABORTED);
        return kHttpReadFailed;
    }
    if (badStatus) {
        LogBadStatus(statusCode);
        HandleError("Failed to receive a valid HTTP response from the server, Response Code:%s",
                    static_cast<int>(statusCode));
        return kHttpBadStatus;
    }
    return kHttpOk;
}

int CHttpDownloader::CreateSession() {
    try {
        std::lock_guard<std::mutex> guard(m_handleLock);
        const std::string proxy = m_strProxy.empty() ? g_strProxy : m_strProxy;
        DWORD access =
            m_nAccessType == 1 ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PRECONFIG;
        m_viaProxy = !proxy.empty();
        if (m_viaProxy) {
            access = INTERNET_OPEN_TYPE_PROXY;
            g_pLog->Log(0,
                        "CHttpDownloader::CreateSession() using proxy: %s user: %s password: %c...",
                        g_strProxy.c_str(), g_strProxyUser.c_str(),
                        g_strProxyPassword.empty() ? ' ' : g_strProxyPassword[0]);
        }
        const std::string agent = m_strAgent.empty() ? ApplicationName() : m_strAgent;
        const std::string key = agent + '\n' + std::to_string(access) + '\n' + proxy;
        if (m_hSession == nullptr && m_pConnectionCache != nullptr)
            m_hSession = m_pConnectionCache->Session(key);
        if (m_hSession == nullptr) {
            m_hSession = InternetOpenA(agent.c_str(), access,
                                       proxy.empty() ? nullptr : proxy.c_str(), nullptr, 0);
            if (m_hSession != nullptr && m_pConnectionCache != nullptr)
                m_pConnectionCache->KeepSession(key, m_hSession);
        }
        if (m_hSession == nullptr) {
            HandleError("Create Session Failed, Error:%s", -1);
            return 0;
        }
        if (InternetSetStatusCallback(m_hSession, StatusCallback) ==
            INTERNET_INVALID_STATUS_CALLBACK) {
            HandleError("InternetSetStatusCallback Failed, Error:%s", -1);
            return 0;
        }
        struct Timeout {
            DWORD option;
            uint32_t value;
            const char* failure;
        };
        for (const Timeout& timeout :
             {Timeout{INTERNET_OPTION_CONNECT_TIMEOUT, m_dwConnectTimeout,
                      "InternetSetOption(INTERNET_OPTION_CONNECT_TIMEOUT) failed !"},
              Timeout{INTERNET_OPTION_SEND_TIMEOUT, m_dwSendTimeout,
                      "InternetSetOption(INTERNET_OPTION_SEND_TIMEOUT) failed !"},
              Timeout{INTERNET_OPTION_RECEIVE_TIMEOUT, m_dwReceiveTimeout,
                      "InternetSetOption(INTERNET_OPTION_RECEIVE_TIMEOUT) failed !"}}) {
            DWORD value = timeout.value;
            if (value != 0 && !InternetSetOptionA(m_hSession, timeout.option, &value, sizeof value))
                g_pLog->LogText(1, timeout.failure);
        }
        return 1;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::CreateSession EXCEPTION !!!");
        return 0;
    }
}

int CHttpDownloader::CreateConnection() {
    try {
        std::lock_guard<std::mutex> guard(m_handleLock);
        const bool withUser = !m_strUserName.empty();
        const std::string key = m_strHostName + '\n' + std::to_string(m_nPort) + '\n' +
                                m_strUserName + '\n' + m_strPassword;
        if (m_pConnectionCache != nullptr)
            m_hConnection = m_pConnectionCache->Connection(key);
        if (m_hConnection != nullptr)
            return 1;
        // A kept connection outlives this object: its notifications carry no object.
        const DWORD_PTR context =
            m_pConnectionCache != nullptr ? 0 : reinterpret_cast<DWORD_PTR>(this);
        m_hConnection = InternetConnectA(
            m_hSession, m_strHostName.c_str(), m_nPort, withUser ? m_strUserName.c_str() : nullptr,
            withUser ? m_strPassword.c_str() : nullptr, INTERNET_SERVICE_HTTP, 0, context);
        if (m_hConnection != nullptr && m_pConnectionCache != nullptr)
            m_pConnectionCache->KeepConnection(key, m_hConnection);
        if (m_hConnection == nullptr) {
            DWORD error = GetLastError();
            g_pLog->Log(1, "CHttpDownloader::CreateConnection() failed!");
            SetLastError(error);
            HandleError("An error occurred connecting to the server, Error:%s", -1);
            return 0;
        }
        return 1;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::CreateConnection EXCEPTION !!!");
        return 0;
    }
}

int CHttpDownloader::CreateRequest() {
    try {
        std::vector<std::string> types = SplitAcceptTypes(m_strAcceptTypes);
        std::vector<const char*> accept;
        for (const std::string& type : types)
            accept.push_back(type.c_str());
        accept.push_back(nullptr);
        std::lock_guard<std::mutex> guard(m_handleLock);
        m_hRequest = HttpOpenRequestA(
            m_hConnection, m_strVerb.empty() ? nullptr : m_strVerb.c_str(), m_strObject.c_str(),
            m_strHttpVersion.empty() ? nullptr : m_strHttpVersion.c_str(),
            m_strReferrer.empty() ? nullptr : m_strReferrer.c_str(), accept.data(),
            GetRequestFlags(), reinterpret_cast<DWORD_PTR>(this));
        if (m_hRequest == nullptr) {
            DWORD error = GetLastError();
            g_pLog->Log(1, "CHttpDownloader::CreateRequest() failed!");
            SetLastError(error);
            HandleError("An error occurred connecting to the server, Error:%s", -1);
            return 0;
        }
        return 1;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::CreateRequest EXCEPTION !!!");
        return 0;
    }
}

DWORD CHttpDownloader::GetRequestFlags() {
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                  INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_PRAGMA_NOCACHE;
    if (m_nServiceType == kServiceHttps)
        flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
                 INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
    if (m_bNoAutoRedirect)
        flags |= INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (m_noAutomaticAuthentication)
        flags |= INTERNET_FLAG_NO_AUTH;
    return flags;
}

std::string CHttpDownloader::GetRequestHeaders() {
    std::string headers = RangeHeader(m_qwResumeOffset);
    // WinINet sends proxy credentials only after a 407; sent with the first request they
    // spare the proxy's refusal of every request (and a proxy that closes after it).
    if (m_viaProxy && m_bPreSendProxyCredentials && !ProxyUserName().empty())
        headers += ProxyAuthorizationHeader(ProxyUserName(), ProxyPassword());
    return headers;
}

const std::string& CHttpDownloader::ProxyUserName() const {
    return m_strProxyUserName.empty() ? g_strProxyUser : m_strProxyUserName;
}

const std::string& CHttpDownloader::ProxyPassword() const {
    return m_strProxyPassword.empty() ? g_strProxyPassword : m_strProxyPassword;
}

namespace {

// Puts a user name and password on the request; 0 or the option that failed.
DWORD SetCredentials(HINTERNET request, DWORD userOption, const std::string& user,
                     DWORD passwordOption, const std::string& password, DWORD* error) {
    if (!InternetSetOptionA(request, userOption, const_cast<char*>(user.c_str()),
                            static_cast<DWORD>(user.size() + 1))) {
        *error = GetLastError();
        return userOption;
    }
    if (!InternetSetOptionA(request, passwordOption, const_cast<char*>(password.c_str()),
                            static_cast<DWORD>(password.size() + 1))) {
        *error = GetLastError();
        return passwordOption;
    }
    return 0;
}

} // namespace

int CHttpDownloader::DoHTTPAuthentication() {
    try {
        if (m_strUserName.empty())
            return 1;
        DWORD error = 0;
        DWORD failed = SetCredentials(m_hRequest, INTERNET_OPTION_USERNAME, m_strUserName,
                                      INTERNET_OPTION_PASSWORD, m_strPassword, &error);
        if (failed == INTERNET_OPTION_USERNAME)
            HandleError("Set Option username Failed, Error:%s", static_cast<int>(error));
        else if (failed == INTERNET_OPTION_PASSWORD)
            HandleError("Set Option password Failed, Error:%s", static_cast<int>(error));
        return failed == 0;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::DoHTTPAuthentication EXCEPTION !!!");
        return 0;
    }
}

int CHttpDownloader::DoProxyAuthentication() {
    try {
        const std::string& user = ProxyUserName();
        const std::string& password = ProxyPassword();
        if (user.empty())
            return 1;
        DWORD error = 0;
        DWORD failed = SetCredentials(m_hRequest, INTERNET_OPTION_PROXY_USERNAME, user,
                                      INTERNET_OPTION_PROXY_PASSWORD, password, &error);
        if (failed == INTERNET_OPTION_PROXY_USERNAME)
            HandleError("Set Option proxy username Failed, Error:%s", static_cast<int>(error));
        else if (failed == INTERNET_OPTION_PROXY_PASSWORD)
            HandleError("Set Option proxy password Failed, Error:%s", static_cast<int>(error));
        return failed == 0;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::DoProxyAuthentication EXCEPTION !!!");
        return 0;
    }
}

int CHttpDownloader::OnClientCertificateNeeded() {
    return 0;
}

void CHttpDownloader::OnStatusCallback(HINTERNET, DWORD, void*, DWORD) {}

int CHttpDownloader::OnAuthenticationFailed(int*) {
    return 0;
}

void CHttpDownloader::OnStatusText(const char*) {}

void CHttpDownloader::OnStatusTextFormat(UINT resourceId, const char* argument) {
    char text[1024] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), resourceId, text, sizeof text) <= 0)
        return;
    std::string line = ComposeErrorText(text, argument ? argument : "");
    OnStatusText(line.c_str());
}

void CHttpDownloader::OnStatusTextResource(UINT resourceId) {
    char text[1024] = {};
    if (LoadStringA(GetModuleHandleA(nullptr), resourceId, text, sizeof text) > 0)
        OnStatusText(text);
}

int CHttpDownloader::Abort() {
    try {
        if (m_bAbort)
            return 1;
        for (HANDLE stop : {m_hStopEvent1, m_hStopEvent2}) {
            if (stop != nullptr && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) {
                g_pLog->Log(3, "CHttpDownloader::Abort - aborted");
                return 1;
            }
        }
        if (m_hPauseEvent != nullptr) {
            for (int round = 0; WaitForSingleObject(m_hPauseEvent, 0) == WAIT_OBJECT_0;) {
                Sleep(100);
                m_nPausedTime += 100;
                if (++round == kPauseRounds) {
                    ResetEvent(m_hPauseEvent);
                    break;
                }
            }
        }
        return 0;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::Abort EXCEPTION !!!");
        return 1;
    }
}

int CHttpDownloader::OnContentLength(uint64_t) {
    return 1;
}

int CHttpDownloader::OnProgress(uint32_t, uint64_t, bool, uint64_t) {
    return 0;
}

int CHttpDownloader::OnDownloadData(const void* data, uint32_t count) {
    try {
        if (Abort())
            return kHttpAborted;
        if (data == nullptr || count == 0)
            return 0;
        if (!m_strLocalFilePath.empty()) {
            if (DWORD error = m_file.Write(data, count)) {
                HandleError("An error occurred while downloading the file, Error:%s",
                            static_cast<int>(error));
                return kHttpWriteFailed;
            }
            return 0;
        }
        if (m_qwMemoryCapacity > 0xFFFFFFFFull)
            return kHttpAborted;
        uint64_t capacity = GrowCapacity(m_qwMemoryCapacity, m_qwMemoryUsed, count);
        if (capacity != m_qwMemoryCapacity) {
            auto* block = static_cast<unsigned char*>(malloc(static_cast<size_t>(capacity)));
            if (block == nullptr)
                throw std::bad_alloc();
            if (m_qwMemoryUsed > 0)
                memcpy(block, m_pMemory, static_cast<size_t>(m_qwMemoryUsed));
            free(m_pMemory);
            m_pMemory = block;
            m_qwMemoryCapacity = capacity;
        }
        memcpy(m_pMemory + m_qwMemoryUsed, data, count);
        m_qwMemoryUsed += count;
        return 0;
    } catch (const std::bad_alloc&) {
        g_pLog->Log(1, "CHttpDownloader::OnDownloadData memory EXCEPTION !!!");
        return kHttpException;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::OnDownloadData EXCEPTION !!!");
        return kHttpException;
    }
}

void CHttpDownloader::HandleError(const char* errorTemplate, int code) {
    // First, while the thread's last error is still the cause.
    std::string message = HttpMakeErrMsg(code);
    m_nLastErrorCode = code;
    m_strLastError = errorTemplate ? errorTemplate : "";
    m_strLastError = ComposeErrorText(m_strLastError, message);
    g_pLog->Log(1, "HandleError <%s>", m_strLastError.c_str());
}

std::string CHttpDownloader::HttpMakeErrMsg(int code) {
    try {
        DWORD number = code == -1 ? GetLastError() : static_cast<DWORD>(code);
        char text[4096] = {};
        DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           GetModuleHandleA("WININET.DLL"), number,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), text, 4095, nullptr);
        const std::string message = TrimRight(std::string(text, std::min<DWORD>(length, 4095)));
        if (message.empty())
            return FormatText("%ld", static_cast<long>(number));
        return message;
    } catch (...) {
        return "CHttpDownloader::HttpMakeErrMsg EXCEPTION !!!";
    }
}

BOOL CHttpDownloader::DeleteDownloadedFile() {
    try {
        BOOL deleted = DeleteFileW(WidePath(m_strLocalFilePath.c_str()).c_str());
        if (!deleted)
            HandleError("An error occurred while Deleting a file, Error:%s", -1);
        return deleted;
    } catch (...) {
        g_pLog->Log(1, "CHttpDownloader::DeleteDownloadedFile EXCEPTION !!!");
        return 1;
    }
}

int CHttpDownloader::GetToMem(const char* url, unsigned char** data, uint64_t* size,
                              std::string* errorText, int* errorCode) {
    if (url == nullptr || *url == '\0')
        return kHttpEmptyUrl;
    if (data == nullptr || size == nullptr)
        return kHttpNoPlaceOrGzipFailed;
    try {
        *data = nullptr;
        *size = 0;
        m_bRelaxedCertificateCheck = 1;
        m_strURL = url;
        FreeMemory();
        int result = Download();
        if (errorText != nullptr)
            *errorText = m_strLastError;
        if (errorCode != nullptr)
            *errorCode = m_nLastErrorCode;
        if (result != 0) {
            auto* block =
                static_cast<unsigned char*>(malloc(static_cast<size_t>(m_qwMemoryUsed) + 1));
            if (block == nullptr)
                throw std::bad_alloc();
            if (m_qwMemoryUsed > 0)
                memcpy(block, m_pMemory, static_cast<size_t>(m_qwMemoryUsed));
            block[m_qwMemoryUsed] = 0;
            *data = block;
            *size = m_qwMemoryUsed;
            FreeMemory();
            return result;
        }
        if (m_qwContentLength != m_qwMemoryUsed)
            g_pLog->Log(1, "HTTP len MISMATCH! header=%ld, buf=%ld",
                        static_cast<long>(m_qwContentLength), static_cast<long>(m_qwMemoryUsed));
        if (HeadersMentionGzip(m_strResponseHeaders)) {
            if (!DecodeGzipReply()) {
                g_pLog->Log(1, "GetToMem unzipping failed !");
                FreeMemory();
                return kHttpNoPlaceOrGzipFailed;
            }
        }
        if (m_qwMemoryCapacity < m_qwMemoryUsed + 1) {
            // Only an empty reply has no room for the terminating zero.
            auto* block = static_cast<unsigned char*>(
                realloc(m_pMemory, static_cast<size_t>(m_qwMemoryUsed) + 1));
            if (block == nullptr)
                throw std::bad_alloc();
            m_pMemory = block;
            m_qwMemoryCapacity = m_qwMemoryUsed + 1;
        }
        m_pMemory[m_qwMemoryUsed] = 0;
        *data = m_pMemory;
        *size = m_qwMemoryUsed;
        m_pMemory = nullptr;
        m_qwMemoryCapacity = 0;
        m_qwMemoryUsed = 0;
        return 0;
    } catch (...) {
        m_strLastError = "Exception reading data from web server !";
        if (errorText != nullptr)
            *errorText = m_strLastError;
        return kHttpException;
    }
}

bool CHttpDownloader::DecodeGzipReply() {
    GzipDecodeResult decoded = GzipDecodeMemory(m_pMemory, static_cast<size_t>(m_qwMemoryUsed));
    if (!decoded.Produced()) {
        free(decoded.data);
        return false;
    }
    FreeMemory();
    m_pMemory = decoded.data;
    m_qwMemoryUsed = decoded.size;
    m_qwMemoryCapacity = decoded.size + 1;
    return true;
}

int CHttpDownloader::GetToBuf(const char* url, Buf* buffer, std::string* errorText,
                              int* errorCode) {
    unsigned char* data = nullptr;
    uint64_t size = 0;
    int result = GetToMem(url, &data, &size, errorText, errorCode);
    if (buffer != nullptr) {
        // A scoped buffer frees a block it already owns; a plain one just carries the new block.
        if (auto* scoped = dynamic_cast<scoped_buf*>(buffer))
            scoped->Free();
        buffer->data = data;
        buffer->size = size;
    } else {
        free(data);
    }
    return result;
}

int CHttpDownloader::PostToBuf(const char* url, const Buf& body, Buf* buffer,
                               std::string* errorText, int* errorCode) {
    m_pBody = body.data;
    m_dwBodyLength = static_cast<uint32_t>(body.size);
    m_strVerb = "POST";
    return GetToBuf(url, buffer, errorText, errorCode);
}

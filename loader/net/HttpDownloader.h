// One HTTP or HTTPS exchange with the imaging web server on WinINet, into a local file or
// into memory. Results are small codes (0 = success); the reason of a failure is kept in
// the last error code and text.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include <windows.h>
#include <wininet.h>

#include "HttpConnectionCache.h"
#include "TargetFile.h"

class Buf;

// Result codes of Download, GetToMem, GetToBuf and PostToBuf. The numbers are fixed: callers
// and logs know them. A non-zero value from OnDownloadData or OnProgress passes through.
enum HttpResult : int {
    kHttpOk = 0,
    kHttpBadUrl = 1,               // the URL could not be parsed
    kHttpFileOpenFailed = 2,       // the local file could not be opened
    kHttpFileSeekFailed = 3,       // the local file could not be positioned or cut
    kHttpSessionFailed = 4,        // no WinINet session
    kHttpConnectionFailed = 5,     // no connection
    kHttpRequestFailed = 6,        // no request
    kHttpCredentialsFailed = 7,    // credentials could not be put on the request
    kHttpSendFailed = 8,           // sending the request failed
    kHttpNoStatus = 9,             // no status code, or OnAuthenticationFailed declined
    kHttpBadStatus = 10,           // unresolved 401 or 407, or a status other than 200 and 206
    kHttpServerAuthFailed = 11,    // server authentication after a 401 failed
    kHttpAborted = 12,             // stopped by Abort, or the memory buffer reached 4 GiB
    kHttpLengthRejected = 13,      // OnContentLength rejected the length
    kHttpReadFailed = 14,          // reading the response failed
    kHttpWriteFailed = 15,         // writing the local file failed
    kHttpException = 17,           // an unexpected exception
    kHttpNoPlaceOrGzipFailed = 18, // GetToMem without a place for the data, or gzip failed
    kHttpEmptyUrl = 19,            // GetToMem was given an empty URL
};

class CHttpDownloader {
public:
    CHttpDownloader();
    CHttpDownloader(const CHttpDownloader&) = delete;
    CHttpDownloader& operator=(const CHttpDownloader&) = delete;
    // Virtual so that a subclass deleted through this type is freed as a whole.
    virtual ~CHttpDownloader();

    virtual int Download();
    virtual int CreateSession();
    virtual int CreateConnection();
    virtual int CreateRequest();
    virtual int DoHTTPAuthentication();
    virtual int DoProxyAuthentication();
    virtual int OnClientCertificateNeeded();
    virtual void OnStatusCallback(HINTERNET handle, DWORD status, void* info, DWORD infoLength);
    virtual void HandleError(const char* errorTemplate, int code);
    virtual DWORD GetRequestFlags();
    virtual std::string GetRequestHeaders();
    virtual int OnAuthenticationFailed(int* errorCode);
    virtual void OnStatusText(const char* text);
    virtual void OnStatusTextFormat(UINT resourceId, const char* argument);
    virtual void OnStatusTextResource(UINT resourceId);
    virtual int Abort();
    virtual int OnContentLength(uint64_t length);
    virtual int OnProgress(uint32_t bytesThisRead, uint64_t bytesThisResponse, bool lengthKnown,
                           uint64_t expectedTotal);
    virtual int OnDownloadData(const void* data, uint32_t count);

    // Fetches url into a new block the caller frees with free(); a zero byte follows the
    // data and is not counted in size.
    int GetToMem(const char* url, unsigned char** data, uint64_t* size, std::string* errorText,
                 int* errorCode);
    // GetToMem with the block handed to buffer (freed when buffer is null).
    int GetToBuf(const char* url, Buf* buffer, std::string* errorText, int* errorCode);
    // A POST of body (which stays the caller's) through GetToBuf.
    int PostToBuf(const char* url, const Buf& body, Buf* buffer, std::string* errorText,
                  int* errorCode);
    BOOL DeleteDownloadedFile();
    void ReleaseHandles();
    static std::string HttpMakeErrMsg(int code);

    std::string m_strURL;
    std::string m_strLocalFilePath;
    std::string m_strProxy;
    std::string m_strProxyUserName;
    std::string m_strProxyPassword;
    std::string m_strUserName;
    std::string m_strPassword;
    std::string m_strAgent;
    std::string m_strReferrer;
    std::string m_strVerb;
    const void* m_pBody = nullptr;
    uint32_t m_dwBodyLength = 0;
    std::string m_strHttpVersion;
    int32_t m_nAccessType = 0;
    int32_t m_bProxyFailureToHook = 0;
    int32_t m_bServerFailureToHook = 0;
    int32_t m_bCertificateHookEnabled = 1;
    double m_dMaxRate = 0.0;
    uint64_t m_qwResumeOffset = 0;
    int32_t m_bNoAutoRedirect = 0;
    uint32_t m_dwReadBufferSize = 1024;
    int32_t m_bPreSendProxyCredentials = 1;
    int32_t m_bPreSendServerCredentials = 1;
    std::string m_strAcceptTypes = "*/*";
    int32_t m_nLastErrorCode = 0;
    std::string m_strLastError;
    int32_t m_bRelaxedCertificateCheck = 0;
    std::string m_strResponseHeaders;
    unsigned char* m_pMemory = nullptr;
    uint64_t m_qwMemoryCapacity = 0;
    uint64_t m_qwMemoryUsed = 0;
    uint64_t m_qwContentLength = 0;
    uint32_t m_dwConnectTimeout = 20000;
    uint32_t m_dwSendTimeout = 100000;
    uint32_t m_dwReceiveTimeout = 100000;
    HANDLE m_hStopEvent1 = nullptr;
    HANDLE m_hStopEvent2 = nullptr;
    HANDLE m_hPauseEvent = nullptr;
    int32_t m_nPausedTime = 0;
    int64_t m_nBytesReceived = 0;
    uint64_t m_qwTimeSpent = 0;
    uint64_t m_qwLastSendTime = 0;
    int32_t m_nServiceType = 0;
    HINTERNET m_hSession = nullptr;
    HINTERNET m_hConnection = nullptr;
    HINTERNET m_hRequest = nullptr;
    std::string m_strHostName;
    std::string m_strObject;
    uint16_t m_nPort = 0;
    volatile int32_t m_bAbort = 0;
    CTargetFile m_file;
    // When set, the session and connection come from here and stay open after the download
    // (a failed download closes them).
    CHttpConnectionCache* m_pConnectionCache = nullptr;

protected:
    int _Download();

private:
    // What the send loop has done so far for one download.
    struct SendState {
        bool proxyCredentialsSent = false;
        bool serverCredentialsSent = false;
        bool certificateRetried = false;
        bool reconnected = false;
    };
    // Answers of the challenge steps besides a result code.
    static constexpr int kAnotherRound = -1; // send the request again
    static constexpr int kToHook = -2;       // ask OnAuthenticationFailed

    // The steps of _Download.
    void RelaxCertificateCheck();
    // Sends until a status other than an answered challenge; kHttpOk or the failure.
    int SendLoop(SendState& send, bool* badStatus, DWORD* statusCode);
    bool SendRequest(DWORD* error);
    void ReadResponseHeaders();
    int OnProxyChallenge(SendState& send);
    int OnServerChallenge(SendState& send);
    void LogBadStatus(DWORD status);
    bool MayReconnect(const SendState& send) const;
    // Opens the connection and the request again, with the credentials sent so far.
    bool ReconnectOnce(SendState& send);
    // False when OnContentLength rejects the length.
    bool QueryContentLength(bool* lengthKnown);
    int OpenTargetFile(DWORD status);
    int ReadLoop(bool badStatus, DWORD statusCode, bool lengthKnown);
    void DrainBody();
    void FreeMemory();
    // Replaces the memory buffer by its gzip decoding; false when that yields nothing.
    bool DecodeGzipReply();

    // The proxy user name and password of this download: its own, else the process-wide ones.
    const std::string& ProxyUserName() const;
    const std::string& ProxyPassword() const;

    std::mutex m_handleLock;
    // Whether the session goes through a proxy.
    bool m_viaProxy = false;
    // Set for the request sent again on a fresh connection: WinINet answers a challenge on
    // its own by sending once more, which on a connection the peer closes fails again; the
    // challenge is then left to this class.
    bool m_noAutomaticAuthentication = false;
};

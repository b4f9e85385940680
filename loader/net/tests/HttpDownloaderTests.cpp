// The WinINet downloader under Wine, against the test imaging web server on 127.0.0.1.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "Buf.h"
#include "HttpDownloader.h"
#include "HttpRequestParts.h"
#include "OrlaLog.h"
#include "ProxySettings.h"
#include "TestFiles.h"

namespace {

std::string Env(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Bytes that differ at every offset of a 256-byte cycle and between files.
std::string Pattern(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed + i / 251) & 0xFF);
    return bytes;
}

std::string TakeBlock(unsigned char* data, uint64_t size) {
    std::string bytes(reinterpret_cast<char*>(data), static_cast<size_t>(size));
    free(data);
    return bytes;
}

class HttpDownloaderTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_FALSE(Env("HALCYON_HTTP_PORT").empty()) << "run me through tools/imaging_server.py";
        std::string root = Env("HALCYON_SERVER_ROOT");
        for (char& c : root)
            if (c == '/')
                c = '\\';
        s_clientFolder = "Z:" + root + "\\HalWebClient64";
        CreateDirectoryA(("Z:" + root).c_str(), nullptr);
        CreateDirectoryA(s_clientFolder.c_str(), nullptr);
    }

    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "net_tests_" + std::to_string(GetCurrentProcessId()) + "_" +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(folder.c_str(), nullptr);
        logPath = folder + "\\Skiff.log";
        g_pLog->SetLogFile("", logPath.c_str());
        g_pLog->SetThreshold(5);
        g_strProxy.clear();
        g_strProxyUser.clear();
        g_strProxyPassword.clear();
    }

    void TearDown() override {
        g_pLog->SetLogFile("", "");
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
            while (FindNextFileA(find, &found));
            FindClose(find);
        }
        RemoveDirectoryA(folder.c_str());
        g_strProxy.clear();
        g_strProxyUser.clear();
        g_strProxyPassword.clear();
    }

    // Puts a file into the served client folder; returns its bytes.
    static std::string Serve(const std::string& name, const std::string& bytes) {
        WriteAll(s_clientFolder + "\\" + name, bytes);
        return bytes;
    }

    static std::string Base(bool https = false) {
        return (https ? "https://127.0.0.1:" + Env("HALCYON_HTTPS_PORT")
                      : "http://127.0.0.1:" + Env("HALCYON_HTTP_PORT"));
    }

    // URL of a served client file, with per-request server options ("gzip,slow=10").
    static std::string Url(const std::string& name, const std::string& options = "",
                           bool https = false) {
        return Base(https) + (options.empty() ? "" : "/~" + options) + "/HalWebClient64/" + name;
    }

    // The previous request as the server saw it.
    static std::string LastRequest() {
        CHttpDownloader downloader;
        unsigned char* data = nullptr;
        uint64_t size = 0;
        EXPECT_EQ(kHttpOk,
                  downloader.GetToMem((Base() + "/~last").c_str(), &data, &size, nullptr, nullptr));
        return TakeBlock(data, size);
    }

    std::string Log() const { return ReadAll(logPath); }

    std::string folder;
    std::string logPath;
    static std::string s_clientFolder;
};

std::string HttpDownloaderTest::s_clientFolder;

TEST_F(HttpDownloaderTest, DownloadsToFileExactlyAsServed) {
    struct Case {
        const char* name;
        size_t size;
        const char* options;
        uint32_t readSize;
    };
    for (const Case& c :
         {Case{"empty.bin", 0, "", 1024}, Case{"one.bin", 1, "", 1024},
          Case{"edge.bin", 1024, "", 1024}, Case{"big.bin", 300001, "", 1024},
          Case{"wide.bin", 300001, "", 65536}, Case{"small.bin", 7, "", 1},
          Case{"chunked.bin", 50000, "chunked", 1024},
          Case{"nolength.bin", 50000, "nolength", 1024}, Case{"Space Name.bin", 10, "", 1024}}) {
        std::string served = Serve(c.name, Pattern(c.size, static_cast<unsigned>(c.size)));
        CHttpDownloader downloader;
        downloader.m_strURL = Url(c.name, c.options);
        downloader.m_strLocalFilePath = folder + "\\" + c.name;
        downloader.m_dwReadBufferSize = c.readSize;
        EXPECT_EQ(kHttpOk, downloader.Download()) << c.name << " " << downloader.m_strLastError;
        EXPECT_EQ(served, ReadAll(downloader.m_strLocalFilePath)) << c.name;
        EXPECT_EQ(static_cast<int64_t>(c.size), downloader.m_nBytesReceived) << c.name;
        EXPECT_EQ(c.options[0] ? 0u : c.size, downloader.m_qwContentLength) << c.name;
        EXPECT_EQ(nullptr, downloader.m_hSession);
        EXPECT_EQ(nullptr, downloader.m_hRequest);
    }
}

TEST_F(HttpDownloaderTest, HttpsThroughTheRelaxedCertificateCheck) {
    std::string served = Serve("secure.bin", Pattern(70000, 12));
    CHttpDownloader downloader;
    // Without the relaxed check the self-signed certificate is refused. WinINet keeps an
    // accepted connection for later requests, so this must be the first https request.
    downloader.m_strURL = Url("secure.bin", "", true);
    EXPECT_EQ(kHttpSendFailed, downloader.Download());
    EXPECT_EQ(0u, downloader.m_strLastError.find("An error occurred connecting to the server"));

    unsigned char* data = nullptr;
    uint64_t size = 0;
    std::string text;
    ASSERT_EQ(
        0, downloader.GetToMem(Url("secure.bin", "", true).c_str(), &data, &size, &text, nullptr))
        << text;
    EXPECT_EQ(kServiceHttps, downloader.m_nServiceType);
    EXPECT_EQ(served, TakeBlock(data, size));
}

TEST_F(HttpDownloaderTest, OneObjectServesSeveralDownloadsAndCountsThemAll) {
    std::string a = Serve("reuse_a.bin", Pattern(5000, 1));
    std::string b = Serve("reuse_b.bin", Pattern(7000, 2));
    CHttpDownloader downloader;
    downloader.m_strURL = Url("reuse_a.bin");
    downloader.m_strLocalFilePath = folder + "\\a.bin";
    ASSERT_EQ(kHttpOk, downloader.Download());
    downloader.m_strURL = Url("reuse_b.bin");
    downloader.m_strLocalFilePath = folder + "\\b.bin";
    ASSERT_EQ(kHttpOk, downloader.Download());
    EXPECT_EQ(a, ReadAll(folder + "\\a.bin"));
    EXPECT_EQ(b, ReadAll(folder + "\\b.bin"));
    EXPECT_EQ(12000, downloader.m_nBytesReceived);
    // A plain Download into memory appends to what the buffer holds.
    downloader.m_strLocalFilePath.clear();
    downloader.m_strURL = Url("reuse_a.bin");
    ASSERT_EQ(kHttpOk, downloader.Download());
    downloader.m_strURL = Url("reuse_b.bin");
    ASSERT_EQ(kHttpOk, downloader.Download());
    ASSERT_EQ(12000u, downloader.m_qwMemoryUsed);
    EXPECT_EQ(a + b, std::string(reinterpret_cast<char*>(downloader.m_pMemory), 12000));
}

TEST_F(HttpDownloaderTest, UrlWithoutSchemeGetsHttpInFrontCaseSensitively) {
    std::string served = Serve("scheme.bin", Pattern(100, 3));
    CHttpDownloader downloader;
    unsigned char* data = nullptr;
    uint64_t size = 0;
    std::string url = Url("scheme.bin").substr(7);
    ASSERT_EQ(kHttpOk, downloader.GetToMem(url.c_str(), &data, &size, nullptr, nullptr));
    EXPECT_EQ(served, TakeBlock(data, size));
    EXPECT_EQ("http://" + url, downloader.m_strURL);

    // An upper-case scheme is not recognised: "HTTP" becomes a host that does not resolve.
    url = "HTTP://" + url;
    int code = 0;
    std::string text;
    EXPECT_EQ(kHttpSendFailed, downloader.GetToMem(url.c_str(), &data, &size, &text, &code));
    free(data);
    EXPECT_EQ("http://" + url, downloader.m_strURL);
    EXPECT_EQ(-1, code);
    EXPECT_EQ(0u, text.find("An error occurred connecting to the server, Error:")) << text;
}

TEST_F(HttpDownloaderTest, EarlyFailuresGiveTheirCodes) {
    unsigned char* data = reinterpret_cast<unsigned char*>(1);
    uint64_t size = 5;
    CHttpDownloader downloader;
    EXPECT_EQ(kHttpEmptyUrl, downloader.GetToMem("", &data, &size, nullptr, nullptr));
    EXPECT_EQ(kHttpEmptyUrl, downloader.GetToMem(nullptr, &data, &size, nullptr, nullptr));
    EXPECT_EQ(kHttpNoPlaceOrGzipFailed,
              downloader.GetToMem("http://127.0.0.1/", nullptr, &size, nullptr, nullptr));
    EXPECT_EQ(kHttpNoPlaceOrGzipFailed,
              downloader.GetToMem("http://127.0.0.1/", &data, nullptr, nullptr, nullptr));

    EXPECT_EQ(kHttpBadUrl, downloader.GetToMem("http://:80/x", &data, &size, nullptr, nullptr));
    free(data);
    EXPECT_NE(std::string::npos,
              Log().find("! CHttpDownloader::_Download, Failed to parse the URL: http://:80/x"));

    // Nothing listens on port 1 of the loopback address.
    EXPECT_EQ(kHttpSendFailed,
              downloader.GetToMem("http://127.0.0.1:1/", &data, &size, nullptr, nullptr));
    free(data);
    EXPECT_NE(std::string::npos, Log().find("! HttpSendRequest failed ! ("));
}

TEST_F(HttpDownloaderTest, LocalFileThatCannotBeOpenedOrCut) {
    Serve("local.bin", Pattern(10, 4));
    CHttpDownloader downloader;
    downloader.m_strURL = Url("local.bin");
    downloader.m_strLocalFilePath = folder + "\\missing\\local.bin";
    EXPECT_EQ(kHttpFileOpenFailed, downloader.Download());
    EXPECT_EQ(-1, downloader.m_nLastErrorCode);
    EXPECT_EQ(0u, downloader.m_strLastError.find(
                      "An error occured while opening the file to be downloaded, Error:"))
        << downloader.m_strLastError;
    EXPECT_NE(std::string::npos, Log().find("! HandleError <An error occured while opening"));

    // A resume offset that cannot be a file position.
    downloader.m_strLocalFilePath = folder + "\\local.bin";
    downloader.m_qwResumeOffset = UINT64_MAX;
    EXPECT_EQ(kHttpFileSeekFailed, downloader.Download());
    EXPECT_EQ(0u, downloader.m_strLastError.find(
                      "An error occurred while seeking to the end of the file to be downloaded"))
        << downloader.m_strLastError;
    EXPECT_NE(-1, downloader.m_nLastErrorCode);
    EXPECT_FALSE(Exists(downloader.m_strLocalFilePath)) << "the new file is deleted";
}

TEST_F(HttpDownloaderTest, ResumeCutsALongerFileBackAndAppends) {
    std::string served = Serve("resume.bin", Pattern(5000, 5));
    std::string local = folder + "\\resume.bin";
    WriteAll(local, served.substr(0, 1000) + std::string(3000, 'x'));
    CHttpDownloader downloader;
    downloader.m_strURL = Url("resume.bin");
    downloader.m_strLocalFilePath = local;
    downloader.m_qwResumeOffset = 1000;
    ASSERT_EQ(kHttpOk, downloader.Download()) << downloader.m_strLastError;
    EXPECT_EQ(served, ReadAll(local));
    EXPECT_EQ(4000, downloader.m_nBytesReceived);
    EXPECT_NE(std::string::npos, LastRequest().find("\r\nRange: bytes=1000-\r\n"));

    // A server that ignores the range sends the whole file, which replaces the partial one.
    WriteAll(local, served.substr(0, 1000) + std::string(3000, 'x'));
    downloader.m_strURL = Url("resume.bin", "status=200");
    ASSERT_EQ(kHttpOk, downloader.Download()) << downloader.m_strLastError;
    EXPECT_EQ(served, ReadAll(local));
}

TEST_F(HttpDownloaderTest, BadStatusBodyIsStoredThenTheNewFileDeleted) {
    CHttpDownloader downloader;
    downloader.m_strURL = Url("no_such_file.bin");
    downloader.m_strLocalFilePath = folder + "\\no_such_file.bin";
    EXPECT_EQ(kHttpBadStatus, downloader.Download());
    EXPECT_FALSE(Exists(downloader.m_strLocalFilePath));
    EXPECT_EQ(404, downloader.m_nLastErrorCode);
    EXPECT_EQ("Failed to receive a valid HTTP response from the server, Response Code:" +
                  CHttpDownloader::HttpMakeErrMsg(404),
              downloader.m_strLastError);
    std::string body = "Not found: /HalWebClient64/no_such_file.bin\n";
    EXPECT_EQ(static_cast<int64_t>(body.size()), downloader.m_nBytesReceived);
    EXPECT_NE(std::string::npos,
              Log().find("! CHttpDownloader::_Download, Failed to retrieve a HTTP OK or partial "
                         "content status, Status Code: 404"));

    // In memory the body is handed back with the failure.
    unsigned char* data = nullptr;
    uint64_t size = 0;
    CHttpDownloader memory;
    EXPECT_EQ(kHttpBadStatus,
              memory.GetToMem(Url("no_such_file.bin").c_str(), &data, &size, nullptr, nullptr));
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(0, data[size]);
    EXPECT_EQ(body, TakeBlock(data, size));

    // A file that existed before stays.
    WriteAll(downloader.m_strLocalFilePath, "old");
    EXPECT_EQ(kHttpBadStatus, downloader.Download());
    EXPECT_TRUE(Exists(downloader.m_strLocalFilePath));
}

// WinINet remembers Basic credentials per server for the whole process and sends them to
// requests without a user name; this test therefore uses the https server alone, and tries
// the wrong credentials before the right ones.
TEST_F(HttpDownloaderTest, ServerAuthentication) {
    std::string served = Serve("secret.bin", Pattern(3000, 6));
    struct Case {
        const char* user;
        const char* password;
        int preSend;
        int expected;
    };
    for (const Case& c : {Case{"doc", "wrong", 1, 10}, Case{"", "", 1, 10}, Case{"doc", "pw", 1, 0},
                          Case{"doc", "pw", 0, 0}}) {
        CHttpDownloader downloader;
        downloader.m_strUserName = c.user;
        downloader.m_strPassword = c.password;
        downloader.m_bPreSendServerCredentials = c.preSend;
        unsigned char* data = nullptr;
        uint64_t size = 0;
        int code = 0;
        std::string text;
        EXPECT_EQ(c.expected, downloader.GetToMem(Url("secret.bin", "auth=doc:pw", true).c_str(),
                                                  &data, &size, &text, &code))
            << c.user << ":" << c.password;
        std::string body = TakeBlock(data, size);
        if (c.expected == 0) {
            EXPECT_EQ(served, body);
        } else {
            EXPECT_EQ(401, code);
            EXPECT_EQ("Failed to receive a valid HTTP response from the server, Response Code:" +
                          CHttpDownloader::HttpMakeErrMsg(401),
                      text);
            EXPECT_EQ("", body) << "the body of a 401 is read and dropped";
        }
    }
}

// Records the hooks and can make the credential steps fail.
class HookedDownloader : public CHttpDownloader {
public:
    int DoHTTPAuthentication() override {
        ++authCalls;
        return failAuth ? 0 : CHttpDownloader::DoHTTPAuthentication();
    }
    int OnAuthenticationFailed(int* errorCode) override {
        ++hookCalls;
        *errorCode = hookCode;
        return 0;
    }
    int OnContentLength(uint64_t length) override {
        seenLength = length;
        return acceptLength;
    }
    int OnProgress(uint32_t, uint64_t bytes, bool known, uint64_t total) override {
        lastProgress = bytes;
        lengthKnown = known;
        expectedTotal = total;
        return progressResult;
    }
    void OnStatusText(const char* text) override { statusTexts += std::string(text) + "|"; }

    bool failAuth = false;
    int authCalls = 0;
    int hookCalls = 0;
    int hookCode = 0;
    int acceptLength = 1;
    uint64_t seenLength = 0;
    uint64_t lastProgress = 0;
    bool lengthKnown = false;
    uint64_t expectedTotal = 0;
    int progressResult = 0;
    std::string statusTexts;
};

// Loses its target file before the first piece arrives, as when the disk goes away.
class LosingFileDownloader : public CHttpDownloader {
public:
    int OnDownloadData(const void* data, uint32_t count) override {
        m_file.Close();
        return CHttpDownloader::OnDownloadData(data, count);
    }
};

TEST_F(HttpDownloaderTest, HooksAndTheirResultCodes) {
    std::string served = Serve("hooks.bin", Pattern(2500, 7));
    const std::string url = Url("hooks.bin", "auth=doc:pw");
    {
        // Credentials that cannot be put on the request before sending.
        HookedDownloader downloader;
        downloader.m_strURL = url;
        downloader.failAuth = true;
        EXPECT_EQ(kHttpCredentialsFailed, downloader.Download());
    }
    {
        // ... or after the server asked for them.
        HookedDownloader downloader;
        downloader.m_strURL = url;
        downloader.m_strUserName = "doc";
        downloader.m_bPreSendServerCredentials = 0;
        downloader.failAuth = true;
        EXPECT_EQ(kHttpServerAuthFailed, downloader.Download());
        EXPECT_EQ(1, downloader.authCalls);
    }
    {
        // An unresolved 401 handed to the hook, which declines with a code of its own.
        HookedDownloader downloader;
        downloader.m_strURL = url;
        downloader.m_bServerFailureToHook = 1;
        downloader.hookCode = 5;
        EXPECT_EQ(kHttpNoStatus, downloader.Download());
        EXPECT_EQ(1, downloader.hookCalls);
        EXPECT_EQ(5, downloader.m_nLastErrorCode);
        EXPECT_EQ("Failed to receive a valid response from the server, Error:" +
                      CHttpDownloader::HttpMakeErrMsg(5),
                  downloader.m_strLastError);
    }
    {
        HookedDownloader downloader;
        downloader.m_strURL = Url("hooks.bin");
        downloader.acceptLength = 0;
        EXPECT_EQ(kHttpLengthRejected, downloader.Download());
        EXPECT_EQ(2500u, downloader.seenLength);
    }
    {
        LosingFileDownloader downloader;
        downloader.m_strURL = Url("hooks.bin");
        downloader.m_strLocalFilePath = folder + "\\hooks.bin";
        EXPECT_EQ(kHttpWriteFailed, downloader.Download());
        EXPECT_EQ(ERROR_INVALID_HANDLE, downloader.m_nLastErrorCode);
        EXPECT_EQ("An error occurred while downloading the file, Error:" +
                      CHttpDownloader::HttpMakeErrMsg(ERROR_INVALID_HANDLE),
                  downloader.m_strLastError);
        EXPECT_FALSE(Exists(downloader.m_strLocalFilePath));
    }
    {
        HookedDownloader downloader;
        downloader.m_strURL = Url("hooks.bin");
        downloader.progressResult = 42;
        EXPECT_EQ(42, downloader.Download());
    }
    {
        HookedDownloader downloader;
        downloader.m_strURL = Url("hooks.bin");
        downloader.m_qwResumeOffset = 500;
        EXPECT_EQ(kHttpOk, downloader.Download());
        EXPECT_EQ(2000u, downloader.lastProgress);
        EXPECT_TRUE(downloader.lengthKnown);
        EXPECT_EQ(2500u, downloader.expectedTotal);
        EXPECT_EQ("Getting file information, Error:%s|Retreiving the file, Error:%s|",
                  downloader.statusTexts);
        EXPECT_EQ(served.substr(500),
                  std::string(reinterpret_cast<char*>(downloader.m_pMemory), 2000));
    }
}

TEST_F(HttpDownloaderTest, ProxyAuthentication) {
    std::string served = Serve("proxied.bin", Pattern(4000, 8));
    const std::string proxy = "127.0.0.1:" + Env("HALCYON_HTTP_PORT");
    struct Case {
        const char* label;
        const char* ownUser;
        const char* globalUser;
        int preSend;
        int expected;
    };
    for (const Case& c :
         {Case{"no user", "", "", 1, 10}, Case{"own user", "pu", "", 1, 0},
          Case{"own user, asked", "pu", "", 0, 0}, Case{"process-wide user", "", "pu", 1, 0},
          Case{"wrong user", "nobody", "", 1, 10}}) {
        g_strProxyUser = c.globalUser;
        g_strProxyPassword = c.globalUser[0] ? "pp" : "";
        CHttpDownloader downloader;
        downloader.m_strProxy = proxy;
        downloader.m_strProxyUserName = c.ownUser;
        downloader.m_strProxyPassword = c.ownUser[0] ? "pp" : "";
        downloader.m_bPreSendProxyCredentials = c.preSend;
        unsigned char* data = nullptr;
        uint64_t size = 0;
        int code = 0;
        std::string text;
        EXPECT_EQ(c.expected, downloader.GetToMem(Url("proxied.bin", "proxyauth=pu:pp").c_str(),
                                                  &data, &size, &text, &code))
            << c.label;
        std::string body = TakeBlock(data, size);
        if (c.expected == 0) {
            EXPECT_EQ(served, body) << c.label;
        } else {
            EXPECT_EQ(407, code) << c.label;
            EXPECT_EQ("Proxy Authentication failed:" + CHttpDownloader::HttpMakeErrMsg(407), text)
                << c.label;
        }
    }
    EXPECT_NE(std::string::npos, Log().find("CHttpDownloader::CreateSession() using proxy: "));

    // The process-wide proxy is used when the downloader has none.
    g_strProxy = proxy;
    g_strProxyUser = "pu";
    g_strProxyPassword = "pp";
    CHttpDownloader downloader;
    unsigned char* data = nullptr;
    uint64_t size = 0;
    ASSERT_EQ(kHttpOk, downloader.GetToMem(Url("proxied.bin", "proxyauth=pu:pp").c_str(), &data,
                                           &size, nullptr, nullptr));
    EXPECT_EQ(served, TakeBlock(data, size));
    EXPECT_NE(std::string::npos, Log().find("  CHttpDownloader::CreateSession() using proxy: " +
                                            proxy + " user: pu password: p..."));
}

TEST_F(HttpDownloaderTest, GetToMemDecodesGzipRepliesOnly) {
    std::string served = Serve("text.xml", "<PatchFilesList " + Pattern(3000, 9) + "/>");
    struct Case {
        const char* options;
        int expected;
    };
    for (const Case& c : {Case{"", 0}, Case{"gzip", 0}, Case{"gzip,chunked", 0},
                          Case{"type=application%2Fx-gzip", 0}}) {
        CHttpDownloader downloader;
        unsigned char* data = nullptr;
        uint64_t size = 0;
        ASSERT_EQ(c.expected, downloader.GetToMem(Url("text.xml", c.options).c_str(), &data, &size,
                                                  nullptr, nullptr))
            << c.options;
        EXPECT_EQ(0, data[size]) << c.options;
        EXPECT_EQ(served, TakeBlock(data, size)) << c.options;
    }
    // A download into a file keeps the body as it came.
    CHttpDownloader downloader;
    downloader.m_strURL = Url("text.xml", "gzip");
    downloader.m_strLocalFilePath = folder + "\\text.xml.gz";
    ASSERT_EQ(kHttpOk, downloader.Download());
    std::string stored = ReadAll(downloader.m_strLocalFilePath);
    ASSERT_GE(stored.size(), 2u);
    EXPECT_EQ("\x1f\x8b", stored.substr(0, 2));

    // A reply announced as gzip that decodes to nothing.
    Serve("empty.gz", "");
    Serve("broken.gz", std::string("\x1f\x8b\x08\x00", 4) + std::string(20, '\x01'));
    for (const char* name : {"empty.gz", "broken.gz"}) {
        unsigned char* data = nullptr;
        uint64_t size = 0;
        EXPECT_EQ(kHttpNoPlaceOrGzipFailed,
                  downloader.GetToMem(Url(name, "type=application%2Fx-gzip").c_str(), &data, &size,
                                      nullptr, nullptr))
            << name;
        EXPECT_EQ(nullptr, data) << name;
    }
    EXPECT_NE(std::string::npos, Log().find("! GetToMem unzipping failed !"));
}

TEST_F(HttpDownloaderTest, MemoryRepliesEndInAZeroAndLengthMismatchIsOnlyLogged) {
    struct Case {
        const char* name;
        size_t size;
        const char* options;
        bool mismatch;
    };
    for (const Case& c :
         {Case{"m0.bin", 0, "", false}, Case{"m1023.bin", 1023, "", false},
          Case{"m1024.bin", 1024, "", false}, Case{"m5000.bin", 5000, "", false},
          Case{"mnolen.bin", 5000, "nolength", true}, Case{"mchunk.bin", 5000, "chunked", true}}) {
        std::string served = Serve(c.name, Pattern(c.size, 10));
        DeleteFileA(logPath.c_str());
        CHttpDownloader downloader;
        unsigned char* data = nullptr;
        uint64_t size = 0;
        ASSERT_EQ(
            0, downloader.GetToMem(Url(c.name, c.options).c_str(), &data, &size, nullptr, nullptr))
            << c.name;
        ASSERT_NE(nullptr, data) << c.name;
        EXPECT_EQ(0, data[size]) << c.name;
        EXPECT_EQ(served, TakeBlock(data, size)) << c.name;
        std::string expected = "! HTTP len MISMATCH! header=0, buf=" + std::to_string(c.size);
        EXPECT_EQ(c.mismatch, Log().find(expected) != std::string::npos) << c.name << Log();
    }
}

TEST_F(HttpDownloaderTest, PostSendsTheBodyAndGetsTheFileList) {
    Serve("listed.bin", Pattern(123, 11));
    CHttpDownloader downloader;
    downloader.m_strAgent = "Skiff";
    std::string body = "64bit=true\nversion=4.0";
    Buf request(body.data(), body.size());
    scoped_buf reply;
    std::string text;
    int code = 7;
    ASSERT_EQ(
        0, downloader.PostToBuf((Base() + "/HalWebServer/HalWebServer.dll?PatchClientEx").c_str(),
                                request, &reply, &text, &code));
    std::string document(reinterpret_cast<char*>(reply.data), static_cast<size_t>(reply.size));
    EXPECT_EQ(0u, document.find("<PatchFilesList serverVersion="));
    EXPECT_NE(std::string::npos, document.find("filename=\"listed.bin\""));
    EXPECT_NE(std::string::npos, document.find("filesize=\"123\""));
    EXPECT_EQ(0, code);

    std::string seen = LastRequest();
    EXPECT_EQ(0u, seen.find("POST /HalWebServer/HalWebServer.dll?PatchClientEx HTTP/1.1\r\n"))
        << seen;
    EXPECT_NE(std::string::npos, seen.find("\r\nUser-Agent: Skiff\r\n")) << seen;
    EXPECT_NE(std::string::npos, seen.find("\r\nAccept: */*\r\n")) << seen;
    EXPECT_EQ(std::string::npos, seen.find("Range:")) << seen;
    EXPECT_EQ(body, seen.substr(seen.size() - body.size()));

    // GetToBuf without a buffer frees the block.
    CHttpDownloader plain;
    EXPECT_EQ(kHttpOk, plain.GetToBuf(Url("listed.bin").c_str(), nullptr, nullptr, nullptr));
}

TEST_F(HttpDownloaderTest, RequestFlags) {
    CHttpDownloader downloader;
    EXPECT_EQ(0x84400100u, downloader.GetRequestFlags());
    downloader.m_nServiceType = kServiceHttps;
    EXPECT_EQ(0x84C03100u, downloader.GetRequestFlags());
    downloader.m_bNoAutoRedirect = 1;
    EXPECT_EQ(0x84E03100u, downloader.GetRequestFlags());
    EXPECT_EQ("", downloader.GetRequestHeaders());
    downloader.m_qwResumeOffset = 1000;
    EXPECT_EQ("Range: bytes=1000-\r\n", downloader.GetRequestHeaders());
}

TEST_F(HttpDownloaderTest, ErrorMessages) {
    std::string notFound = CHttpDownloader::HttpMakeErrMsg(ERROR_FILE_NOT_FOUND);
    EXPECT_NE("2", notFound);
    EXPECT_FALSE(notFound.empty());
    EXPECT_FALSE(IsTrimSpace(notFound.back()));
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(notFound, CHttpDownloader::HttpMakeErrMsg(-1));
    // WinINet's own texts come from its module.
    std::string unresolved = CHttpDownloader::HttpMakeErrMsg(ERROR_INTERNET_NAME_NOT_RESOLVED);
    EXPECT_NE("12007", unresolved);
    EXPECT_EQ("987654321", CHttpDownloader::HttpMakeErrMsg(987654321));

    CHttpDownloader downloader;
    SetLastError(ERROR_FILE_NOT_FOUND);
    downloader.HandleError("Create Session Failed, Error:%s", -1);
    EXPECT_EQ(-1, downloader.m_nLastErrorCode);
    EXPECT_EQ("Create Session Failed, Error:" + notFound, downloader.m_strLastError);
    EXPECT_NE(std::string::npos,
              Log().find("! HandleError <Create Session Failed, Error:" + notFound + ">"));

    // Deleting a file that is not there.
    downloader.m_strLocalFilePath = folder + "\\absent.bin";
    EXPECT_FALSE(downloader.DeleteDownloadedFile());
    EXPECT_EQ("An error occurred while Deleting a file, Error:" + notFound,
              downloader.m_strLastError);
}

TEST_F(HttpDownloaderTest, CutOffReplies) {
    std::string served = Serve("cut.bin", Pattern(20000, 13));
    {
        // An orderly end before the announced length: fewer bytes, and only a log line.
        CHttpDownloader downloader;
        unsigned char* data = nullptr;
        uint64_t size = 0;
        int result =
            downloader.GetToMem(Url("cut.bin", "cut=5000").c_str(), &data, &size, nullptr, nullptr);
        std::string body = TakeBlock(data, size);
        EXPECT_EQ(kHttpOk, result);
        EXPECT_EQ(served.substr(0, 5000), body);
        EXPECT_NE(std::string::npos, Log().find("! HTTP len MISMATCH! header=20000, buf=5000"));
    }
    {
        // A file that arrives short is a failed download.
        CHttpDownloader downloader;
        downloader.m_strURL = Url("cut.bin", "cut=5000");
        downloader.m_strLocalFilePath = folder + "\\cut.bin";
        EXPECT_EQ(kHttpReadFailed, downloader.Download());
        EXPECT_EQ(ERROR_INTERNET_CONNECTION_ABORTED, downloader.m_nLastErrorCode);
        EXPECT_EQ("An error occurred while downloading the file, Error:" +
                      CHttpDownloader::HttpMakeErrMsg(ERROR_INTERNET_CONNECTION_ABORTED),
                  downloader.m_strLastError);
        EXPECT_FALSE(Exists(downloader.m_strLocalFilePath));
    }
    // WinINet under Wine takes a reset connection or a broken chunk for the end of the
    // body; a read fails when another thread closes the handles during the transfer.
    CHttpDownloader downloader;
    downloader.m_strURL = Url("cut.bin", "slow=100,piece=1000");
    downloader.m_strLocalFilePath = folder + "\\cut.bin";
    std::thread closer([&downloader] {
        Sleep(300);
        downloader.ReleaseHandles();
    });
    EXPECT_EQ(kHttpReadFailed, downloader.Download());
    closer.join();
    EXPECT_EQ(
        0u, downloader.m_strLastError.find("An error occurred while downloading the file, Error:"))
        << downloader.m_strLastError;
    EXPECT_FALSE(Exists(downloader.m_strLocalFilePath));
}

TEST_F(HttpDownloaderTest, AbortBeforeAndDuringATransferAndPause) {
    Serve("abort.bin", Pattern(40000, 14));
    {
        CHttpDownloader downloader;
        downloader.m_strURL = Url("abort.bin");
        downloader.m_strLocalFilePath = folder + "\\abort.bin";
        downloader.m_bAbort = 1;
        EXPECT_EQ(kHttpAborted, downloader.Download());
        EXPECT_EQ(1024, downloader.m_nBytesReceived) << "stopped at the first stored piece";
        EXPECT_FALSE(Exists(downloader.m_strLocalFilePath));
    }
    for (int which = 0; which < 2; ++which) {
        HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        CHttpDownloader downloader;
        downloader.m_strURL = Url("abort.bin", "slow=50,piece=1000");
        (which ? downloader.m_hStopEvent2 : downloader.m_hStopEvent1) = stop;
        std::thread stopper([stop] {
            Sleep(300);
            SetEvent(stop);
        });
        EXPECT_EQ(kHttpAborted, downloader.Download());
        stopper.join();
        EXPECT_GT(downloader.m_nBytesReceived, 0);
        EXPECT_LT(downloader.m_nBytesReceived, 40000);
        CloseHandle(stop);
    }
    EXPECT_NE(std::string::npos, Log().find("  CHttpDownloader::Abort - aborted"));

    // A held transfer goes on when the pause ends.
    HANDLE pause = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    CHttpDownloader downloader;
    downloader.m_strURL = Url("abort.bin", "slow=10,piece=4000");
    downloader.m_strLocalFilePath = folder + "\\paused.bin";
    downloader.m_hPauseEvent = pause;
    std::thread resumer([pause] {
        Sleep(500);
        ResetEvent(pause);
    });
    EXPECT_EQ(kHttpOk, downloader.Download());
    resumer.join();
    EXPECT_GE(downloader.m_nPausedTime, 100);
    EXPECT_EQ(0, downloader.m_nPausedTime % 100);
    EXPECT_EQ(ReadAll(s_clientFolder + "\\abort.bin"), ReadAll(folder + "\\paused.bin"));
    CloseHandle(pause);
}

TEST_F(HttpDownloaderTest, ThrottledDownloadStillCompletes) {
    std::string served = Serve("throttle.bin", Pattern(20000, 15));
    CHttpDownloader downloader;
    downloader.m_strURL = Url("throttle.bin");
    downloader.m_strLocalFilePath = folder + "\\throttle.bin";
    downloader.m_dMaxRate = 100.0; // bytes per millisecond
    ASSERT_EQ(kHttpOk, downloader.Download());
    EXPECT_EQ(served, ReadAll(downloader.m_strLocalFilePath));
}

} // namespace

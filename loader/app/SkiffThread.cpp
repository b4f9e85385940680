#include "SkiffThread.h"

#include "Buf.h"
#include "FileSys.h"
#include "HttpDownloader.h"
#include "LoaderMessages.h"
#include "MyFileDownloader.h"
#include "OrlaLog.h"
#include "PatchFilesEx.h"
#include "SessionRules.h"
#include "ShellOpen.h"
#include "StringMap.h"

namespace {

constexpr DWORD kUpdaterCloseDelay = 9000;

// Whether the operating system is 64-bit; false when that cannot be told.
#if defined(_WIN64)
bool DetermineIs64(bool* is64) {
    *is64 = true; // a 64-bit program runs on 64-bit systems only
    return true;
}
#else
bool DetermineIs64(bool* is64) {
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    if (isWow64Process == nullptr || !isWow64Process(GetCurrentProcess(), &wow64))
        return false;
    *is64 = wow64 != FALSE;
    return true;
}
#endif

} // namespace

CSkiffThread::CSkiffThread(const SessionRecord& record)
    : m_record(record), m_strProtocol(record.protocol), m_strHost(record.host),
      m_nPort(record.port) {
    // A single-study link names the server it comes from.
    if (m_strHost.empty() && !m_record.link.empty())
        ServerFromLink(m_record.link, &m_strProtocol, &m_strHost, &m_nPort);
    m_hStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    bool is64 = false;
    if (DetermineIs64(&is64))
        m_is64 = is64 ? 1 : 0;
    else
        PrintMessage(0, "64bit check failed - assuming 32bit");
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

bool CSkiffThread::WaitForEnd(DWORD milliseconds) const {
    return m_hThread == nullptr || WaitForSingleObject(m_hThread, milliseconds) == WAIT_OBJECT_0;
}

DWORD WINAPI CSkiffThread::ThreadProc(LPVOID parameter) {
    static_cast<CSkiffThread*>(parameter)->Run();
    return 0;
}

void CSkiffThread::Run() {
    try {
        Session();
    } catch (...) {
        g_pLog->Log(1, "CSkiffThread::Run EXCEPTION !!!");
    }
    if (m_record.hWnd != nullptr)
        PostMessageA(m_record.hWnd, WM_LOADER_DONE, 0, 1);
}

// ---- reporting ------------------------------------------------------------------------------

void CSkiffThread::Report(int level, bool replace, const std::string& text) {
    for (const std::string& line : SplitStatusLines(text)) {
        if (level >= 0 && level <= 3)
            g_pLog->LogText(4 - level, line.c_str());
        if (m_record.hWnd == nullptr)
            continue;
        WPARAM wParam = (static_cast<WPARAM>(replace ? 1 : 0) << 16) |
                        static_cast<WPARAM>(level >= 0 ? level : 0);
        char* copy = NewStatusText(line.c_str());
        if (!PostMessageA(m_record.hWnd, WM_LOADER_STATUS, wParam, reinterpret_cast<LPARAM>(copy)))
            FreeStatusText(copy); // nobody took it
    }
}

void CSkiffThread::PrintMessage(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatStatusTextV(format, args);
    va_end(args);
    Report(level, false, text);
}

void CSkiffThread::UpdateLastMessage(int level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatStatusTextV(format, args);
    va_end(args);
    Report(level, true, text);
}

void CSkiffThread::PrintText(int level, const std::string& text) {
    Report(level, false, CutStatusText(text.c_str()));
}

void CSkiffThread::UpdateLastText(int level, const std::string& text) {
    Report(level, true, CutStatusText(text.c_str()));
}

// ---- the session, first half ----------------------------------------------------------------

std::string CSkiffThread::GetServerAddress() const {
    return MakeServerAddress(m_strHost, m_nPort);
}

std::string CSkiffThread::GetServerBase() const {
    return m_strProtocol + GetServerAddress();
}

int CSkiffThread::CompareVersions(const std::string& a, const std::string& b) {
    return ::CompareVersions(a, b);
}

void CSkiffThread::Session() {
    g_pLog->LogText(3, "-----------------------------------------------------");
    PrintText(0, "Updating from  " + GetServerBase());

    PatchFilesEx serverList;
    if (!RequestFileList(&serverList, m_is64 != 0 || m_macMode != 0))
        return;
    g_pLog->Log(3, "Server ver=%s (%sbit)", serverList.serverVersion.c_str(),
                serverList.clientFiles64bit ? "64" : "32");
    if (!serverList.infoMsg.empty())
        PrintText(0, serverList.infoMsg);
    if (!serverList.errorMsg.empty()) {
        PrintText(2, serverList.errorMsg);
        return;
    }

    unsigned major = 0, minor = 0;
    if (!CFileSys::GetModuleVersion(&major, &minor, nullptr, nullptr)) {
        PrintMessage(2, "Could not read loader version.");
        return;
    }
    const std::string localLoaderVersion = FormatText("%u.%u", major, minor);

    if (CheckLoaderUpdate(localLoaderVersion, serverList.loaderVersion)) {
        UpdateLastMessage(0, "Launching Updater please wait ....");
        // The updater replaces the loader once it has closed.
        WaitForSingleObject(m_hStopEvent, kUpdaterCloseDelay);
        if (m_record.hWnd != nullptr)
            PostMessageA(m_record.hWnd, WM_CLOSE, 0, 0);
        return;
    }

    if (!serverList.clientFiles64bit) {
        if (m_macMode) {
            PrintMessage(1, "No 64bit version - Exiting");
            return;
        }
        if (m_is64)
            PrintMessage(1, "No 64bit version, using 32bit");
    }

    std::string localDirectory;
    if (!LocalClientDirectory(serverList.serverVersion, serverList.clientFiles64bit,
                              &localDirectory)) {
        // The folder would lie outside the working folder (or be the working folder itself).
        PrintMessage(2, "Server version \"%s\" names no local client folder - Exiting",
                     serverList.serverVersion.c_str());
        return;
    }
    g_pLog->LogText(4, ("Local dir = " + localDirectory).c_str());
    Synchronise(serverList, localLoaderVersion, localDirectory);
}

bool CSkiffThread::RequestFileList(PatchFilesEx* list, bool use64) {
    try {
        const std::string url =
            GetServerBase() + "/HalWebServer/HalWebServer.dll" + "?PatchClientEx";
        g_pLog->Log(3, "Trying %s", url.c_str());

        CStringMap data;
        if (CFileSys::FileExists("ClientLoaderData.txt"))
            data.readFromFile("ClientLoaderData.txt", '\n', '=', true);
        if (PrepareClientLoaderData(&data, use64))
            m_macMode = 1;
        if (m_macMode)
            g_pLog->LogText(3, "mac mode");
        g_pLog->LogText(4, ("ClientLoaderData: " + data.ToText(" | ", " = ", 1)).c_str());
        std::string body = MakeRequestBody(data);

        CHttpDownloader downloader;
        downloader.m_strAgent = "Skiff";
        downloader.m_hStopEvent1 = m_hStopEvent;
        Buf bodyBuffer(body.data(), body.size());
        scoped_buf response;
        std::string errorText;
        if (downloader.PostToBuf(url.c_str(), bodyBuffer, &response, &errorText, nullptr) !=
            kHttpOk) {
            PrintText(2, "PatchClient Failed " + errorText);
            return false;
        }
        std::string text;
        if (response.data != nullptr)
            text.assign(reinterpret_cast<const char*>(response.data),
                        strnlen(reinterpret_cast<const char*>(response.data),
                                static_cast<size_t>(response.size)));
        if (!list->FromXMLString(text.c_str())) {
            PrintMessage(2, "Could not parse response file list XML");
            return false;
        }
        return true;
    } catch (...) {
        g_pLog->Log(1, "CSkiffThread::RequestFileList EXCEPTION !!!");
        return false;
    }
}

bool CSkiffThread::CheckLoaderUpdate(const std::string& localVersion,
                                     const std::string& serverVersion) {
    try {
        g_pLog->Log(4, "localLoaderVersion=%s, serverLoaderVersion=%s (%d)", localVersion.c_str(),
                    serverVersion.c_str(), CompareVersions(localVersion, serverVersion));
        if (serverVersion.empty() || CompareVersions(localVersion, serverVersion) != -1)
            return false;
        PrintText(0, "Updating Loader from " + localVersion + " to " + serverVersion);

        const std::string url =
            GetServerBase() + "/WinLauncher/SkiffApp" + (m_is64 || m_macMode ? "64" : "") + ".zip";
        ClientFile archive;
        archive.url = url;
        archive.paths = ClientFilePaths{"SkiffApp.zip", std::string("SkiffApp.zip") + kPartSuffix,
                                        "", "SkiffApp.zip"};
        if (FetchFile(archive) != FetchResult::Ok) {
            PrintMessage(2, "Could not download SkiffApp.zip");
            return false;
        }
        g_pLog->LogText(4, "Loaded SkiffApp.zip");
        return StartUpdater();
    } catch (...) {
        g_pLog->Log(1, "CSkiffThread::CheckLoaderUpdate EXCEPTION !!!");
        return false;
    }
}

bool CSkiffThread::StartUpdater() {
    unsigned long error = 0;
    std::string reason;
    if (ShellOpen("\"ClientUpdater.exe\"", "SkiffApp.zip . SkiffApp.exe", ".", SW_HIDE, &error,
                  &reason))
        return true;
    PrintMessage(2, "Updater failed (errCode=%lu errMsg=%s)", error, reason.c_str());
    return false;
}

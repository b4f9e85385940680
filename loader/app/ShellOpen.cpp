#include "ShellOpen.h"

#include <shellapi.h>

#include "FileSys.h"
#include "OrlaLog.h"

bool ShellOpen(const char* file, const char* parameters, const char* directory, int show,
               unsigned long* errorCode, std::string* errorMessage, const char* loggedParameters) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = GetForegroundWindow();
    info.lpVerb = "open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory;
    info.nShow = show;
    g_pLog->Log(4, "shExecInfo.lpFile=%s", info.lpFile);
    g_pLog->Log(4, "shExecInfo.lpParameters=%s",
                loggedParameters ? loggedParameters : info.lpParameters);
    g_pLog->Log(4, "shExecInfo.lpDirectory=%s", info.lpDirectory);
    g_pLog->LogText(4, "calling ShellExecuteEx");
    if (ShellExecuteExA(&info))
        return true;
    const DWORD error = GetLastError();
    const std::string message = CFileSys::GetLastErrorLine();
    if (errorCode)
        *errorCode = error;
    if (errorMessage)
        *errorMessage = message;
    return false;
}

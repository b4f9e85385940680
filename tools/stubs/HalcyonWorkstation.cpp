// Stand-in for the workstation: holds the workstation semaphore while it runs, records its
// start and its end ("ended") in "workstation-start.txt" beside itself, and ends after the
// number of seconds in HALCYON_WORKSTATION_SECONDS (default 0, at most 600).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "StartRecord.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The loader names the semaphore after "<client folder>\HalcyonWorkstation.exe".
    std::string folder = ProgramFolder();
    size_t slash = folder.find_last_of("\\/");
    std::string name = (slash == std::string::npos ? folder : folder.substr(slash + 1)) +
                       "-HalcyonWorkstation.exe";
    HANDLE semaphore = CreateSemaphoreA(nullptr, 0, 1, name.c_str());

    if (!RecordStart("workstation-start.txt"))
        return 1;
    const char* seconds = getenv("HALCYON_WORKSTATION_SECONDS");
    long wait = seconds != nullptr ? strtol(seconds, nullptr, 10) : 0;
    if (wait > 0)
        Sleep(static_cast<DWORD>(wait > 600 ? 600 : wait) * 1000);
    if (semaphore != nullptr)
        CloseHandle(semaphore);
    RecordLine("workstation-start.txt", "ended");
    return 0;
}

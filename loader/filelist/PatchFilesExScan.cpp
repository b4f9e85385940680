// The directory scan of the local client folder (Win32).
#include <windows.h>

#include "FileTime.h"
#include "PatchFilesEx.h"
#include "Path.h"

PatchFilesEx::PatchFilesEx(const char* serverVersion, const char* loaderVersion,
                           bool clientFiles64bit, const char* infoMsg, const char* errorMsg,
                           const char* searchPattern)
    : serverVersion(serverVersion ? serverVersion : ""),
      loaderVersion(loaderVersion ? loaderVersion : ""), infoMsg(infoMsg ? infoMsg : ""),
      errorMsg(errorMsg ? errorMsg : ""), clientFiles64bit(clientFiles64bit) {
    if (searchPattern == nullptr)
        return;
    HANDLE find = INVALID_HANDLE_VALUE;
    try {
        WIN32_FIND_DATAA found;
        find = FindFirstFileA(searchPattern, &found);
        if (find == INVALID_HANDLE_VALUE)
            return;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
                IsDotOrDotDot(found.cFileName))
                continue;
            entries.emplace_back(found.cFileName, SecondsSince1970(found.ftLastWriteTime),
                                 static_cast<uint32_t>(found.nFileSizeLow));
        } while (FindNextFileA(find, &found));
    } catch (...) {
        // The scan ends; the entries found so far stay.
    }
    if (find != INVALID_HANDLE_VALUE)
        FindClose(find);
}

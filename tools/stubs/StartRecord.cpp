#include "StartRecord.h"

#include <windows.h>

#include <cstdio>

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length < MAX_PATH ? length : MAX_PATH);
    size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
}

bool RecordStart(const char* fileName) {
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    std::string path = ProgramFolder() + "\\" + fileName;
    FILE* file = fopen(path.c_str(), "ab");
    if (file == nullptr)
        return false;
    fprintf(file, "command=%s\nfolder=%s\n", GetCommandLineA(), directory);
    return fclose(file) == 0;
}

bool RecordLine(const char* fileName, const char* line) {
    std::string path = ProgramFolder() + "\\" + fileName;
    FILE* file = fopen(path.c_str(), "ab");
    if (file == nullptr)
        return false;
    fprintf(file, "%s\n", line);
    return fclose(file) == 0;
}

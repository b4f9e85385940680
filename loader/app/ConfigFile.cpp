#include "ConfigFile.h"

#include <windows.h>

#include <vector>

#include "LauncherConfig.h"

namespace {
constexpr const char* kNewConfigFileName = "TillerConfig.txt.new";
}

bool ReadConfigFile(CLauncherConfig* config) {
    try {
        if (config == nullptr)
            return false;
        HANDLE file = CreateFileA(kConfigFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        std::vector<char> bytes(kMaxConfigBytes);
        DWORD total = 0, read = 0;
        while (total < bytes.size() &&
               ReadFile(file, bytes.data() + total, DWORD(bytes.size() - total), &read, nullptr) &&
               read > 0)
            total += read;
        CloseHandle(file);
        config->ReadText(bytes.data(), total);
        return true;
    } catch (...) {
        // The window opens with what was read so far.
        return false;
    }
}

bool WriteConfigFile(const std::string& text) {
    HANDLE file = CreateFileA(kNewConfigFileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool complete = WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) &&
                    written == text.size() && FlushFileBuffers(file);
    complete = CloseHandle(file) && complete;
    if (complete && MoveFileExA(kNewConfigFileName, kConfigFileName,
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(kNewConfigFileName);
    return false;
}

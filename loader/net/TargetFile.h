// The local file a download is written to: opened for writing and denied to other writers.
// Operations return 0 or the operating system's error code.
#pragma once

#include <cstdint>

#include <windows.h>

class CTargetFile {
public:
    CTargetFile() = default;
    CTargetFile(const CTargetFile&) = delete;
    CTargetFile& operator=(const CTargetFile&) = delete;
    ~CTargetFile() { Close(); }

    // Creates the file, or opens it keeping its content when keepContent is set. The path
    // may be an exact Unix path (ExactPath.h).
    DWORD Open(const char* path, bool keepContent);
    DWORD Seek(uint64_t offset);
    DWORD SetLength(uint64_t length);
    DWORD Write(const void* data, DWORD count);
    // Closes the file, setting the last-write time given before (if any) on the handle:
    // that spares opening the file again to date it.
    DWORD Close();
    void SetLastWriteTimeOnClose(const FILETIME& time);
    // Whether a time given before could not be set at the last close.
    bool LastWriteTimeFailed() const { return m_timeFailed; }
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_setTime = false;
    bool m_timeFailed = false;
    FILETIME m_lastWriteTime{};
};

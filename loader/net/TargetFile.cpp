#include "TargetFile.h"

#include "ExactPath.h"

DWORD CTargetFile::Open(const char* path, bool keepContent) {
    Close();
    m_handle =
        CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    keepContent ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return IsOpen() ? 0 : GetLastError();
}

DWORD CTargetFile::Seek(uint64_t offset) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(m_handle, distance, nullptr, FILE_BEGIN) ? 0 : GetLastError();
}

DWORD CTargetFile::SetLength(uint64_t length) {
    LARGE_INTEGER current = {};
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(m_handle, zero, &current, FILE_CURRENT))
        return GetLastError();
    if (DWORD error = Seek(length))
        return error;
    if (!SetEndOfFile(m_handle))
        return GetLastError();
    return Seek(static_cast<uint64_t>(current.QuadPart));
}

DWORD CTargetFile::Write(const void* data, DWORD count) {
    const auto* bytes = static_cast<const char*>(data);
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(m_handle, bytes, count, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        bytes += written;
        count -= written;
    }
    return 0;
}

void CTargetFile::SetLastWriteTimeOnClose(const FILETIME& time) {
    m_lastWriteTime = time;
    m_setTime = true;
}

DWORD CTargetFile::Close() {
    if (!IsOpen())
        return 0;
    if (m_setTime)
        m_timeFailed = !SetFileTime(m_handle, nullptr, nullptr, &m_lastWriteTime);
    DWORD error = CloseHandle(m_handle) ? 0 : GetLastError();
    m_handle = INVALID_HANDLE_VALUE;
    return error;
}

#include "FileSys.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Buf.h"
#include "ExactPath.h"
#include "OrlaLog.h"
#include "Path.h"
#include "Text.h"

namespace {

constexpr size_t kSystemTextLimit = 1024;

// A path, or a pattern built from it, that the fixed path buffers could not hold.
bool TooLong(const std::string& path) {
    return path.size() >= kMaxPath;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (IsOpen())
            CloseHandle(m_handle);
    }
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool ReadWhole(HANDLE file, unsigned char* block, DWORD length) {
    DWORD done = 0;
    while (done < length) {
        DWORD read = 0;
        if (!ReadFile(file, block + done, length - done, &read, nullptr) || read == 0)
            return false;
        done += read;
    }
    return true;
}

} // namespace

bool CFileSys::LoadBinaryFileToBuffer(const char* path, Buf* buffer) {
    try {
        if (buffer == nullptr || path == nullptr)
            return g_pLog->LogErrorFlag(false, "CFileSys::LoadBinaryFileToBuffer sanity failed");
        buffer->data = nullptr;
        buffer->size = 0;

        FileHandle file(CreateFileA(path, GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER length{};
        if (file.IsOpen() && GetFileSizeEx(file.Get(), &length) && length.HighPart != 0)
            SetLastError(ERROR_FILE_TOO_LARGE);
        if (!file.IsOpen() || length.HighPart != 0) {
            std::string reason = GetLastErrorLine().substr(0, kSystemTextLimit);
            return g_pLog->LogErrorFlag(
                false, "CFileSys::LoadBinaryFileToBuffer file open error %s", reason.c_str());
        }
        if (!buffer->Allocate(length.LowPart, false))
            return g_pLog->LogErrorFlag(false,
                                        "CFileSys::LoadBinaryFileToBuffer allocate %d failed",
                                        static_cast<int>(length.LowPart));
        if (!ReadWhole(file.Get(), buffer->data, length.LowPart)) {
            // A short read is a failure, not a smaller file.
            std::string reason = GetLastErrorLine().substr(0, kSystemTextLimit);
            buffer->Free();
            return g_pLog->LogErrorFlag(
                false, "CFileSys::LoadBinaryFileToBuffer file read error %s", reason.c_str());
        }
        return true;
    } catch (...) {
        return g_pLog->LogErrorFlag(false, "CFileSys::LoadBinaryFileToBuffer exception");
    }
}

namespace {

// Removes one entry of a folder being emptied; false (logged) when it stays.
bool DeleteEntry(const std::string& child, DWORD attributes) {
    const bool isFolder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    if (isFolder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A link to a folder is removed as a link; its target is outside this tree.
        if (RemoveDirectoryA(child.c_str()))
            return true;
        return g_pLog->LogErrorFlag(false, "DeleteDirectory could not remove directory %s",
                                    child.c_str());
    }
    if (isFolder)
        return CFileSys::DeleteDirectory(child.c_str(), true);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(child.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!TooLong(child) && DeleteFileA(child.c_str()))
        return true;
    return g_pLog->LogErrorFlag(false, "DeleteDirectory could not delete %s", child.c_str());
}

} // namespace

bool CFileSys::DeleteDirectory(const char* path, bool removeFolder) {
    REQUIRE_TEXT(path, false);
    if (*path == '\0')
        return false;
    const std::string folder = path;
    const std::string pattern = folder + "\\*";
    WIN32_FIND_DATAA entry;
    HANDLE find = TooLong(pattern) ? INVALID_HANDLE_VALUE : FindFirstFileA(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return g_pLog->LogErrorFlag(false, "DeleteDirectory could not FindFirstFile(%s)",
                                    pattern.c_str());

    bool result = true;
    do {
        if (!IsDotOrDotDot(entry.cFileName) &&
            !DeleteEntry(folder + "\\" + entry.cFileName, entry.dwFileAttributes))
            result = false;
    } while (FindNextFileA(find, &entry));

    if (GetLastError() != ERROR_NO_MORE_FILES) {
        std::string reason = GetLastErrorLine();
        g_pLog->LogErrorFlag(false, "DeleteDirectory GetLastError=%s", reason.c_str());
        result = false;
    }
    FindClose(find);

    if (removeFolder && !RemoveDirectoryA(path))
        return g_pLog->LogErrorFlag(false, "DeleteDirectory could not remove directory %s", path);
    return result;
}

bool CFileSys::CreateDirectoryPath(const char* path) {
    REQUIRE_TEXT(path, false);
    const std::string whole = path;
    if (TooLong(whole))
        return false;
    for (size_t i = 1; i < whole.size(); ++i)
        if (whole[i] == '\\' || whole[i] == '/')
            CreateDirectoryA(whole.substr(0, i).c_str(), nullptr);
    CreateDirectoryA(path, nullptr);
    return true;
}

bool CFileSys::DeleteDirectoryKeeping(const char* path, const std::vector<std::string>& keep) {
    REQUIRE_TEXT(path, false);
    if (*path == '\0')
        return false;
    const std::string folder = path;
    const std::string pattern = folder + "\\*";
    WIN32_FIND_DATAA entry;
    HANDLE find = TooLong(pattern) ? INVALID_HANDLE_VALUE : FindFirstFileA(pattern.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return g_pLog->LogErrorFlag(false, "DeleteDirectory could not FindFirstFile(%s)",
                                    pattern.c_str());
    // The names first: the folder changes while its entries are removed.
    std::vector<std::pair<std::string, DWORD>> entries;
    do {
        if (!IsDotOrDotDot(entry.cFileName))
            entries.emplace_back(entry.cFileName, entry.dwFileAttributes);
    } while (FindNextFileA(find, &entry));
    FindClose(find);

    bool result = true;
    for (const auto& [name, attributes] : entries) {
        const bool kept = (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          std::any_of(keep.begin(), keep.end(), [&name](const std::string& k) {
                              return _stricmp(k.c_str(), name.c_str()) == 0;
                          });
        if (!kept && !DeleteEntry(folder + "\\" + name, attributes))
            result = false;
    }
    return result;
}

bool CFileSys::FileExists(const char* path) {
    REQUIRE_TEXT(path, false);
    return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CFileSys::DeleteFileIfExists(const char* path) {
    REQUIRE_TEXT(path, false);
    if (FileExists(path))
        DeleteFileW(WidePath(path).c_str());
    return true;
}

bool CFileSys::MoveFileIfFree(const char* source, const char* target) {
    REQUIRE_TEXT(source, false);
    REQUIRE_TEXT(target, false);
    return FileExists(source) && !FileExists(target) && MoveFileA(source, target);
}

uint64_t CFileSys::GetFileSize(const char* path) {
    REQUIRE_TEXT(path, 0);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string CFileSys::GetLastErrorMessage() {
    try {
        const DWORD error = GetLastError();
        char* text = nullptr;
        DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                          FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                      reinterpret_cast<char*>(&text), 0, nullptr);
        std::string message = length && text ? std::string(text, length) : std::string();
        LocalFree(text);
        SetLastError(error);
        return message;
    } catch (...) {
        return "GetLastErrorMessage Exception";
    }
}

std::string CFileSys::GetLastErrorLine() {
    const DWORD error = GetLastError();
    std::string line = TrimRight(GetLastErrorMessage());
    SetLastError(error);
    return line;
}

bool CFileSys::GetModuleVersion(unsigned* major, unsigned* minor, unsigned* build,
                                unsigned* revision) {
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program)
        return false;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(program, &ignored);
    if (size == 0)
        return false;
    std::string block(size, '\0');
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!GetFileVersionInfoA(program, 0, size, block.data()) ||
        !VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &infoLength) ||
        info == nullptr || infoLength < sizeof *info)
        return false;
    if (major)
        *major = HIWORD(info->dwFileVersionMS);
    if (minor)
        *minor = LOWORD(info->dwFileVersionMS);
    if (build)
        *build = HIWORD(info->dwFileVersionLS);
    if (revision)
        *revision = LOWORD(info->dwFileVersionLS);
    return true;
}

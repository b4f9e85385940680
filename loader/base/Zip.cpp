#include "Zip.h"

#include <mutex>
#include <set>
#include <string>

#include <windows.h>

#include "FileTime.h"

namespace {

constexpr DWORD kLargestPiece = 1u << 30;

class CHandleOutput : public IZipOutput {
public:
    explicit CHandleOutput(HANDLE file) : m_file(file) {}
    bool Write(const void* data, size_t length) override {
        const char* p = static_cast<const char*>(data);
        while (length != 0) {
            DWORD piece = length > kLargestPiece ? kLargestPiece : static_cast<DWORD>(length);
            DWORD written = 0;
            if (!WriteFile(m_file, p, piece, &written, nullptr) || written != piece)
                return false;
            p += piece;
            length -= piece;
        }
        return true;
    }
    bool Seek(uint64_t position) override {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(position);
        return SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN) != 0;
    }

private:
    HANDLE m_file;
};

class CHandleSource : public IZipSource {
public:
    explicit CHandleSource(HANDLE file) : m_file(file) {}
    bool Read(void* buffer, size_t capacity, size_t* bytesRead) override {
        DWORD piece = capacity > kLargestPiece ? kLargestPiece : static_cast<DWORD>(capacity);
        DWORD got = 0;
        if (!ReadFile(m_file, buffer, piece, &got, nullptr))
            return false;
        *bytesRead = got;
        return true;
    }

private:
    HANDLE m_file;
};

// Handles given out and not yet closed; anything else is not a zip writer.
std::mutex s_liveLock;
std::set<ZipArchive*> s_live;

bool IsLive(ZipArchive* zip) {
    std::lock_guard<std::mutex> guard(s_liveLock);
    return s_live.count(zip) != 0;
}

} // namespace

struct ZipArchive {
    ZipArchive(const char* filePath, HANDLE handle)
        : path(filePath), file(handle), output(handle), writer(&output, 8) {}
    std::string path;
    HANDLE file;
    CHandleOutput output;
    CZipWriter writer;
};

HZIP ZipCreate(const char* path) {
    if (path == nullptr || *path == '\0')
        return nullptr;
    HANDLE file = INVALID_HANDLE_VALUE;
    try {
        file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return nullptr;
        auto* zip = new ZipArchive(path, file);
        std::lock_guard<std::mutex> guard(s_liveLock);
        s_live.insert(zip);
        return zip;
    } catch (...) {
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            DeleteFileA(path);
        }
        return nullptr;
    }
}

uint32_t ZipAddFile(HZIP zip, const char* entryName, const char* sourcePath) {
    if (zip == nullptr)
        return kZipErrorArguments;
    if (!IsLive(zip))
        return kZipErrorNotZip;
    CZipWriter& writer = zip->writer;
    if (writer.Finished())
        return kZipErrorClosed;
    if (writer.Error() != 0)
        return kZipErrorEarlier;
    if (entryName == nullptr || *entryName == '\0' || sourcePath == nullptr || *sourcePath == '\0')
        return writer.Fail(kZipErrorArguments);
    HANDLE source = CreateFileA(sourcePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (source == INVALID_HANDLE_VALUE)
        return writer.Fail(kZipErrorOpen);
    uint32_t result = 0;
    try {
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(source, &info)) {
            result = writer.Fail(kZipErrorOpen);
        } else {
            ZipFileFacts facts;
            facts.attributes = info.dwFileAttributes;
            facts.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
            facts.lastWrite = SecondsSince1970(info.ftLastWriteTime);
            facts.lastAccess = SecondsSince1970(info.ftLastAccessTime);
            facts.creation = SecondsSince1970(info.ftCreationTime);
            CHandleSource reader(source);
            result = writer.AddEntry(entryName, facts, reader);
        }
    } catch (...) {
        result = writer.Fail(kZipErrorWrite);
    }
    CloseHandle(source);
    return result;
}

uint32_t ZipClose(HZIP zip) {
    if (zip == nullptr)
        return kZipErrorArguments;
    {
        std::lock_guard<std::mutex> guard(s_liveLock);
        if (s_live.erase(zip) == 0)
            return kZipErrorNotZip;
    }
    uint32_t result = 0;
    try {
        result = zip->writer.Finish();
    } catch (...) {
        result = kZipErrorWrite;
    }
    if (!CloseHandle(zip->file) && result == 0)
        result = kZipErrorWrite;
    if (result != 0)
        DeleteFileA(zip->path.c_str());
    delete zip;
    return result;
}

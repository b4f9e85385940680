// The loader's file-system toolkit on Win32 (ANSI paths, "\" separators).
#pragma once

#include <cstdint>
#include <string>

class Buf;

class CFileSys {
public:
    // Loads a whole file (below 4 GiB) into a newly allocated block of the buffer.
    static bool LoadBinaryFileToBuffer(const char* path, Buf* buffer);
    // Deletes everything below path, and path itself when asked. Links inside the tree
    // are removed as links; what they point to is never touched.
    static bool DeleteDirectory(const char* path, bool removeFolder);
    // Creates path with every missing parent folder.
    static bool CreateDirectoryPath(const char* path);
    static bool FileExists(const char* path);
    // True whether or not an existing file could be deleted.
    static bool DeleteFileIfExists(const char* path);
    // Renames source to target only when source exists and target does not.
    static bool MoveFileIfFree(const char* source, const char* target);
    // 0 when the size is unknown.
    static uint64_t GetFileSize(const char* path);
    // The system's text for the calling thread's last error.
    static std::string GetLastErrorMessage();
    // The four parts of the program file's version; false without a version resource.
    static bool GetModuleVersion(unsigned* major, unsigned* minor, unsigned* build,
                                 unsigned* revision);
};

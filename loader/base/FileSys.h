// The loader's file-system toolkit on Win32 (ANSI paths, "\" separators).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Buf;

class CFileSys {
public:
    // Loads a whole file (below 4 GiB) into a newly allocated block of the buffer.
    static bool LoadBinaryFileToBuffer(const char* path, Buf* buffer);
    // Deletes everything below path, and path itself when asked. Links inside the tree
    // are removed as links; what they point to is never touched.
    static bool DeleteDirectory(const char* path, bool removeFolder);
    // Empties the folder except the folders of the given names (any letter case) directly in
    // it, which stay with everything in them; false when the folder cannot be read or
    // something could not be removed.
    static bool DeleteDirectoryKeeping(const char* path, const std::vector<std::string>& keep);
    // Creates path with every missing parent folder.
    static bool CreateDirectoryPath(const char* path);
    // FileExists, DeleteFileIfExists and GetFileSize also take an exact Unix path
    // (ExactPath.h).
    static bool FileExists(const char* path);
    // True whether or not an existing file could be deleted.
    static bool DeleteFileIfExists(const char* path);
    // Renames source to target only when source exists and target does not.
    static bool MoveFileIfFree(const char* source, const char* target);
    // 0 when the size is unknown.
    static uint64_t GetFileSize(const char* path);
    // The system's text for the calling thread's last error.
    static std::string GetLastErrorMessage();
    // The same on one line (without its closing line break), for a text built into a line.
    static std::string GetLastErrorLine();
    // The four parts of the program file's version; false without a version resource.
    static bool GetModuleVersion(unsigned* major, unsigned* minor, unsigned* build,
                                 unsigned* revision);
};

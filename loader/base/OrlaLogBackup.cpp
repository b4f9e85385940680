// Archiving of the log file with the Windows file functions.
#include "OrlaLog.h"

#include "DateTime.h"
#include "FileSys.h"
#include "Path.h"
#include "Zip.h"

bool COrlaLog::BackupLog(const char* filePath, uint64_t sizeLimit, const char* backupFolder,
                         const char* fileName, bool asZip) {
    REQUIRE_TEXT(filePath, false);
    REQUIRE_TEXT(backupFolder, false);
    REQUIRE_TEXT(fileName, false);
    try {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (!CFileSys::FileExists(filePath))
            return false;
        if (sizeLimit != 0 && CFileSys::GetFileSize(filePath) < sizeLimit)
            return false;
        std::string folder = BackupFolderPath(backupFolder);
        CFileSys::CreateDirectoryPath(folder.c_str());
        std::string target = BackupTargetName(folder, fileName, NowText(true, true, true), asZip);

        if (asZip) {
            std::string entryName;
            SplitPath(filePath, nullptr, &entryName, nullptr, nullptr);
            std::string moved = std::string(filePath) + "tmp";
            CFileSys::DeleteFileIfExists(moved.c_str());
            // When the log cannot be moved aside it stays where it is.
            if (!CFileSys::MoveFileIfFree(filePath, moved.c_str()))
                return false;
            bool zipped = false;
            if (HZIP zip = ZipCreate(target.c_str())) {
                uint32_t added = ZipAddFile(zip, entryName.c_str(), moved.c_str());
                if (added != 0)
                    LogError(0, "BackupLog error zipping: %s", filePath);
                uint32_t closed = ZipClose(zip);
                if (closed != 0)
                    LogError(0, "BackupLog error closing zip: %s", filePath);
                zipped = added == 0 && closed == 0;
            } else {
                LogError(0, "BackupLog error creating zip: %s", target.c_str());
            }
            if (zipped)
                CFileSys::DeleteFileIfExists(moved.c_str());
            else
                CFileSys::MoveFileIfFree(moved.c_str(), (target + "_zipError").c_str());
        } else if (!CFileSys::MoveFileIfFree(filePath, target.c_str())) {
            return false;
        }
        Log(4, "BackupLog %s", target.c_str());
        return true;
    } catch (...) {
        return false;
    }
}

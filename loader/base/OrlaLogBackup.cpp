// Archiving of the log file with the Windows file functions.
#include "OrlaLog.h"

#include "DateTime.h"
#include "FileSys.h"
#include "Path.h"
#include "Zip.h"

#include <vector>

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
            // Messages wait until the files are in place: they go to the log at filePath.
            std::vector<std::string> failures;
            if (HZIP zip = ZipCreate(target.c_str())) {
                if (ZipAddFile(zip, entryName.c_str(), moved.c_str()) != 0)
                    failures.push_back(std::string("BackupLog error zipping: ") + filePath);
                if (ZipClose(zip) != 0)
                    failures.push_back(std::string("BackupLog error closing zip: ") + filePath);
            } else {
                failures.push_back("BackupLog error creating zip: " + target);
            }
            bool movedAway = true;
            if (failures.empty()) {
                CFileSys::DeleteFileIfExists(moved.c_str());
            } else if (!CFileSys::MoveFileIfFree(moved.c_str(), (target + "_zipError").c_str())) {
                // Left at the "tmp" name, the next archiving would delete it: put it back.
                CFileSys::MoveFileIfFree(moved.c_str(), filePath);
                movedAway = false;
            }
            for (const std::string& failure : failures)
                LogError(0, "%s", failure.c_str());
            if (!movedAway)
                return false;
        } else if (!CFileSys::MoveFileIfFree(filePath, target.c_str())) {
            return false;
        }
        Log(4, "BackupLog %s", target.c_str());
        return true;
    } catch (...) {
        return false;
    }
}

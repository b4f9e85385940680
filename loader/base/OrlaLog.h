// The loader's single log: time-stamped lines appended to one text file, filtered by level.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "Text.h"

class COrlaLog {
public:
    static constexpr int kFormatLength = 10240;
    // A log file of this size or more is archived at the size check.
    static constexpr uint64_t kBackupSizeLimit = 20000000;
    // The size is checked at the 1st, 10001st, 20001st ... line of the process.
    static constexpr int kBackupCheckLines = 10000;
    static constexpr const char* kBackupFolderName = "Compressed Log Files";

    COrlaLog() = default;
    COrlaLog(const COrlaLog&) = delete;
    COrlaLog& operator=(const COrlaLog&) = delete;
    virtual ~COrlaLog() = default;

    // Logging is off until a file name is given; an empty file name keeps the path.
    void SetLogFile(const char* directory, const char* fileName);
    void SetThreshold(int threshold);
    int GetThreshold() const;
    std::string GetPath() const;

    // Lines with a level above the threshold are dropped.
    void Log(int level, const char* format, ...) SKIFF_PRINTF(3, 4);
    void LogText(int level, const char* text);
    // Write at level 1 whatever the threshold and return the given value.
    int LogError(int value, const char* format, ...) SKIFF_PRINTF(3, 4);
    bool LogErrorFlag(bool value, const char* format, ...) SKIFF_PRINTF(3, 4);
    // Appends one line, without a threshold test.
    void WriteEntry(int level, const char* text);

    // Moves the file into the backup folder when it has reached the size limit (0: any
    // size): zipped, or renamed to ".txt" when not as zip. True when it was moved away.
    bool BackupLog(const char* filePath, uint64_t sizeLimit, const char* backupFolder,
                   const char* fileName, bool asZip);
    // The backup folder with a closing "\" (when it has two characters or more).
    static std::string BackupFolderPath(const char* backupFolder);
    // folder + file name with "_" for "." + "_" + time without separators + ".zip" or
    // ".txt"; the time is given in the log's form, "06/12/26 10:03:21".
    static std::string BackupTargetName(const std::string& folder, const char* fileName,
                                        const std::string& now, bool asZip);

private:
    void LogFormatted(int level, const char* format, va_list args);

    std::string m_directory;
    std::string m_fileName;
    int m_threshold = 4;
    mutable std::recursive_mutex m_lock;
    int m_lineCount = 0;
    std::string m_path;
    char m_formatBuffer[kFormatLength + 1] = {};
};

// The process-wide log every part of the loader writes through.
extern COrlaLog* const g_pLog;

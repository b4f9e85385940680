// The loader's single log: time-stamped lines appended to one text file, filtered by level.
#pragma once

#include <mutex>
#include <string>

#include "Text.h"

class COrlaLog {
public:
    static constexpr int kFormatLength = 10240;

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

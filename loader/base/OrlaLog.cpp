#include "OrlaLog.h"

#include <algorithm>
#include <cstdio>

#include "DateTime.h"
#include "Path.h"

namespace {
COrlaLog s_processLog;
}
COrlaLog* const g_pLog = &s_processLog;

void COrlaLog::SetLogFile(const char* directory, const char* fileName) {
    REQUIRE_TEXT(directory, );
    REQUIRE_TEXT(fileName, );
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_directory = directory;
    m_fileName = fileName;
    if (*fileName != '\0')
        m_path = JoinPath(directory, fileName);
}

void COrlaLog::SetThreshold(int threshold) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_threshold = threshold;
}

int COrlaLog::GetThreshold() const {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_threshold;
}

std::string COrlaLog::GetPath() const {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    return m_path;
}

// Formatting shares one buffer, so it happens under the lock, as the writing does.
void COrlaLog::LogFormatted(int level, const char* format, va_list args) {
    std::lock_guard<std::recursive_mutex> guard(m_lock);
    if (format == nullptr) {
        WriteEntry(1, "\nERROR: Pointer error in COrlaLog::Log(...Format)\n");
        return;
    }
    vsnprintf(m_formatBuffer, sizeof m_formatBuffer, format, args);
    m_formatBuffer[kFormatLength] = '\0';
    WriteEntry(level, m_formatBuffer);
}

void COrlaLog::Log(int level, const char* format, ...) {
    if (level > GetThreshold())
        return;
    va_list args;
    va_start(args, format);
    LogFormatted(level, format, args);
    va_end(args);
}

void COrlaLog::LogText(int level, const char* text) {
    if (level > GetThreshold() || text == nullptr)
        return;
    WriteEntry(level, text);
}

int COrlaLog::LogError(int value, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogFormatted(1, format, args);
    va_end(args);
    return value;
}

bool COrlaLog::LogErrorFlag(bool value, const char* format, ...) {
    va_list args;
    va_start(args, format);
    LogFormatted(1, format, args);
    va_end(args);
    return value;
}

void COrlaLog::WriteEntry(int level, const char* text) {
    try {
        std::lock_guard<std::recursive_mutex> guard(m_lock);
        if (m_path.empty() || text == nullptr)
            return;
        std::string line = NowText(true, true, true);
        line += "  ";
        if (level == 1)
            line += "! ";
        line += text;
        line += '\n';
        if (FILE* file = fopen(m_path.c_str(), "a+")) {
            fwrite(line.data(), 1, line.size(), file);
            fclose(file);
        }
        if (++m_lineCount % kBackupCheckLines == 1) {
            // The archive sits beside the log file, also when the log has no directory
            // of its own (then the current folder holds both).
            std::string folder, name;
            SplitPath(m_path.c_str(), &folder, &name, nullptr, nullptr);
            std::string path = m_path;
            BackupLog(path.c_str(), kBackupSizeLimit,
                      JoinPath(folder.c_str(), kBackupFolderName).c_str(), name.c_str(), true);
        }
    } catch (...) {
        // Logging never fails its caller; the line is lost.
    }
}

std::string COrlaLog::BackupFolderPath(const char* backupFolder) {
    REQUIRE_TEXT(backupFolder, std::string());
    std::string folder = backupFolder;
    if (folder.size() >= 2 && folder.back() != '\\')
        folder += '\\';
    return folder;
}

std::string COrlaLog::BackupTargetName(const std::string& folder, const char* fileName,
                                       const std::string& now, bool asZip) {
    REQUIRE_TEXT(fileName, std::string());
    std::string name = fileName;
    std::replace(name.begin(), name.end(), '.', '_');
    std::string time;
    for (char c : now)
        if (c == ' ')
            time += '_';
        else if (c != '/' && c != ':')
            time += c;
    return folder + name + "_" + time + (asZip ? ".zip" : ".txt");
}

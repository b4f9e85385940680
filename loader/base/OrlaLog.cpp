#include "OrlaLog.h"

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
        ++m_lineCount;
    } catch (...) {
        // Logging never fails its caller; the line is lost.
    }
}

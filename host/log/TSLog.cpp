#include "TSLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <syslog.h>
#include <unistd.h>

namespace {

void systemLogV(const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0)
        return;
    std::string message(static_cast<size_t>(length), '\0');
    std::vsnprintf(message.data(), message.size() + 1, format, arguments);

    syslog(LOG_NOTICE, "%s", message.c_str());
    // One write per message, so lines of different threads do not interleave.
    if (message.empty() || message.back() != '\n')
        message.push_back('\n');
    const ssize_t written = write(STDERR_FILENO, message.data(), message.size());
    (void)written;
}

} // namespace

void TSSystemLog(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    systemLogV(format, arguments);
    va_end(arguments);
}

bool TSLogEnabled() {
    return std::getenv("TS_LOG") || std::getenv("TS_DEBUGMSG") || std::getenv("DEBUG");
}

void TSLog(const char* format, ...) {
    if (!TSLogEnabled())
        return;
    va_list arguments;
    va_start(arguments, format);
    systemLogV(format, arguments);
    va_end(arguments);
}

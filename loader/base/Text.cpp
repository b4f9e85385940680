#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

std::string FormatTextV(const char* format, va_list args) {
    REQUIRE_TEXT(format, std::string());
    char buffer[kFormatTextBufferSize];
    int written = vsnprintf(buffer, sizeof buffer, format, args);
    if (written < 0)
        return std::string();
    return std::string(buffer, std::min<size_t>(static_cast<size_t>(written), sizeof buffer - 1));
}

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatTextV(format, args);
    va_end(args);
    return text;
}

bool IsTrimSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsTrimSpace(text[begin]))
        ++begin;
    while (end > begin && IsTrimSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string TrimRight(const std::string& text) {
    size_t end = text.size();
    while (end > 0 && IsTrimSpace(text[end - 1]))
        --end;
    return text.substr(0, end);
}

bool StartsWith(const std::string& text, const char* prefix) {
    REQUIRE_TEXT(prefix, false);
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    REQUIRE_TEXT(prefix, false);
    size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool EndsWith(const std::string& text, const char* suffix) {
    REQUIRE_TEXT(suffix, false);
    const size_t length = std::char_traits<char>::length(suffix);
    return text.size() >= length && text.compare(text.size() - length, length, suffix) == 0;
}

// Text conventions of the loader: 8-bit texts in the ANSI code page, printf formatting
// into bounded buffers, and the rule for null texts.
#pragma once

#include <cassert>
#include <cstdarg>
#include <cstddef>
#include <string>

#if defined(__MINGW32__)
#define SKIFF_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define SKIFF_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#endif

// A null text is an error of the caller: debug builds stop on it, release builds return
// the function's failure value.
#define REQUIRE_TEXT(text, failure)                                                                \
    do {                                                                                           \
        assert((text) != nullptr && "null text");                                                  \
        if ((text) == nullptr)                                                                     \
            return failure;                                                                        \
    } while (0)

constexpr size_t kFormatTextBufferSize = 9000;

// printf-style formatting; output longer than 8999 characters is cut there.
std::string FormatText(const char* format, ...) SKIFF_PRINTF(1, 2);
std::string FormatTextV(const char* format, va_list args);

// White space as the loader trims it: space, tab, CR, LF, vertical tab, form feed.
bool IsTrimSpace(char c);
std::string Trim(const std::string& text);
std::string TrimRight(const std::string& text);

// Whether the text begins or ends with the given text; NoCase compares ASCII letters without
// regard to case.
bool StartsWith(const std::string& text, const char* prefix);
bool StartsWithNoCase(const std::string& text, const char* prefix);
bool EndsWith(const std::string& text, const char* suffix);

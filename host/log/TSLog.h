// The host's two log functions: TSSystemLog writes every message to the system log (and, like
// the platform's console log, to standard error); TSLog writes diagnostics only when one of
// "TS_LOG", "TS_DEBUGMSG" or "DEBUG" is set in the environment.
#pragma once

#if defined(__GNUC__)
#define TS_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#else
#define TS_PRINTF_FORMAT(f, a)
#endif

void TSSystemLog(const char* format, ...) TS_PRINTF_FORMAT(1, 2);
void TSLog(const char* format, ...) TS_PRINTF_FORMAT(1, 2);

// Whether TSLog writes anything, read from the environment at each call.
bool TSLogEnabled();

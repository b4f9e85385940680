// Both programs the loader starts (the workstation and its own updater) are started the same
// way: through the shell's "open", with the same four log lines before the call.
#pragma once

#include <string>

#include <windows.h>

// Opens the program; false with the system's error code and message (on one line). The log
// shows loggedParameters (the parameters without secrets) when given.
bool ShellOpen(const char* file, const char* parameters, const char* directory, int show,
               unsigned long* errorCode, std::string* errorMessage,
               const char* loggedParameters = nullptr);

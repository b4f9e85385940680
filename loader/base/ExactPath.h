// Exact file names under Wine. Windows names are case-insensitive, so Wine reads a whole
// folder to look up a name that does not exist there yet: a new client of N files in one
// folder costs O(N²). A "\\?\unix" path names the Unix file exactly and skips that read.
// Use it only for names known to be absent in every case. Such a path is UTF-8; every other
// path is in the ANSI code page.
#pragma once

#include <string>

#include <windows.h>

// The exact form of an existing folder, or "" when not under Wine (or on failure).
std::string ExactFolderPath(const std::string& folder);
// A file of a folder from ExactFolderPath; the ANSI name becomes UTF-8.
std::string ExactChildPath(const std::string& exactFolder, const std::string& name);
// Either kind of path for the system's wide-character calls.
std::wstring WidePath(const char* path);

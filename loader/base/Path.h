// Path texts with "\" as the folder separator.
#pragma once

#include <string>

constexpr size_t kMaxPath = 260; // the system's path limit, terminating zero included

// folder + "\" + name, with no doubled separator; an empty folder gives the name unchanged.
std::string JoinPath(const char* folder, const char* name);
// Splits at the last "\" and, within the file name, at the last "."; every output is optional.
void SplitPath(const char* path, std::string* folder, std::string* fileName, std::string* title,
               std::string* extension);
bool IsDotOrDotDot(const char* name);

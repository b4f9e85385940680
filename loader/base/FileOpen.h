// Opening and removing files by a path that may be an exact Unix path under Wine
// (ExactPath.h): the C library's own calls natively, the wide-character ones on Windows.
#pragma once

#include <cstdio>

#include <zlib.h>

FILE* OpenFile(const char* path, const char* mode);
gzFile OpenGzFile(const char* path, const char* mode);
int RemoveFile(const char* path);

// Zip archives written to files: create, add files, close. Error codes are those of
// ZipWriter.h.
#pragma once

#include <cstdint>

#include "ZipWriter.h"

struct ZipArchive;
using HZIP = ZipArchive*;

// Creates the archive file (replacing an existing one), not shared while it is written;
// entries are deflated at level 8. Null when the file cannot be created.
HZIP ZipCreate(const char* path);
// Adds the file at sourcePath under entryName (at most 260 characters, "\" becomes "/").
uint32_t ZipAddFile(HZIP zip, const char* entryName, const char* sourcePath);
// Writes the central directory, closes the file and frees the writer; 0 or the first error.
// After a failure the unfinished file is deleted, so no broken archive looks complete.
uint32_t ZipClose(HZIP zip);

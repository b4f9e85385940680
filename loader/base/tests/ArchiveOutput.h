// Where the zip tests put their archives and what they expect of them: the folder from
// HALCYON_ZIP_OUTPUT and its archives.txt, which check_zip_archives.py reads afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

std::filesystem::path ArchiveOutputFolder();
// Writes a source file into the output folder and returns its path.
std::filesystem::path WriteOutputFile(const std::string& name, const std::string& data);
// One expected entry of an archive in the output folder, in order of entries.
void ExpectArchiveEntry(const std::string& archive, const std::string& entryName,
                        const std::string& sourceName, int method, uint32_t externalAttributes,
                        int64_t lastWrite);
// No file may exist at this name in the output folder.
void ExpectNoArchive(const std::string& name);
// A deflated entry whose attributes and time are not known in advance.
void ExpectArchiveEntryLoosely(const std::string& archive, const std::string& entryName,
                               const std::string& sourceName);

#include "ArchiveOutput.h"

#include <cstdlib>
#include <fstream>

std::filesystem::path ArchiveOutputFolder() {
    const char* folder = getenv("HALCYON_ZIP_OUTPUT");
    std::filesystem::path path = folder ? folder : "zip_output";
    std::filesystem::create_directories(path);
    return path;
}

std::filesystem::path WriteOutputFile(const std::string& name, const std::string& data) {
    std::filesystem::path path = ArchiveOutputFolder() / name;
    std::ofstream(path, std::ios::binary) << data;
    return path;
}

void ExpectArchiveEntry(const std::string& archive, const std::string& entryName,
                        const std::string& sourceName, int method, uint32_t externalAttributes,
                        int64_t lastWrite) {
    std::ofstream list(ArchiveOutputFolder() / "archives.txt", std::ios::app);
    char attributes[16];
    snprintf(attributes, sizeof attributes, "%x", externalAttributes);
    list << "entry\t" << archive << '\t' << entryName << '\t' << sourceName << '\t' << method
         << '\t' << attributes << '\t' << lastWrite << '\n';
}

void ExpectNoArchive(const std::string& name) {
    std::ofstream list(ArchiveOutputFolder() / "archives.txt", std::ios::app);
    list << "absent\t" << name << '\n';
}

void ExpectArchiveEntryLoosely(const std::string& archive, const std::string& entryName,
                               const std::string& sourceName) {
    std::ofstream list(ArchiveOutputFolder() / "archives.txt", std::ios::app);
    list << "entry\t" << archive << '\t' << entryName << '\t' << sourceName << "\t8\t*\t*\n";
}

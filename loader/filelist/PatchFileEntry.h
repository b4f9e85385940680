// One client file as the server lists it or as found in the local client directory.
#pragma once

#include <cstdint>
#include <string>

#include "DateTime.h"
#include "XMLable.h"

class PatchFileEntry : public XMLable {
public:
    PatchFileEntry() = default;
    PatchFileEntry(std::string name, int64_t writeTime, uint32_t size)
        : fileName(std::move(name)), lastWriteTime(writeTime), fileSize(size) {}
    PatchFileEntry(const PatchFileEntry&) = default;
    PatchFileEntry& operator=(const PatchFileEntry&) = default;
    PatchFileEntry(PatchFileEntry&&) = default;
    PatchFileEntry& operator=(PatchFileEntry&&) = default;

    // Needs filename, lastWriteTime and filesize, all valid, and a file name that stays
    // inside the client folder.
    bool FromXML(const XmlNode& element) override;
    // The same with the dates converted through a converter kept for a whole list.
    bool FromXML(const XmlNode& element, LocalTimeConverter& times);
    bool ToXML(const XmlNode& element) override;
    std::string GetElementName() const override { return "PatchFileEntry"; }

    // A name from the server may select a server folder with "/"; what follows the last
    // "/" becomes a path below the client folder and must not leave it.
    static bool IsSafeFileName(const char* name);

    std::string fileName;      // may contain "/" separators and end in ".gz"
    int64_t lastWriteTime = 0; // seconds since 1970 (UTC)
    uint32_t fileSize = 0;     // bytes, for progress figures
};

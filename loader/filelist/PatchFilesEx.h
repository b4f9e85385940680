// A client file list: as the server describes it, or as scanned from the local client
// directory; and the comparison that tells which files to download.
#pragma once

#include <string>
#include <vector>

#include "PatchFileEntry.h"
#include "XMLable.h"

class PatchFilesEx : public XMLable {
public:
    PatchFilesEx() = default;
    // The five fields as given, then one entry per file matching the search pattern
    // (subfolders are not entered). Windows only.
    PatchFilesEx(const char* serverVersion, const char* loaderVersion, bool clientFiles64bit,
                 const char* infoMsg, const char* errorMsg, const char* searchPattern);

    bool FromXML(const XmlNode& element) override;
    bool ToXML(const XmlNode& element) override;
    std::string GetElementName() const override { return "PatchFilesList"; }

    void AddEntry(const PatchFileEntry& entry) { entries.push_back(entry); }

    // Appends to out the entries of this (server) list that have to be downloaded: those
    // without a local file of the same key name, and those whose local file is older at
    // minute resolution. False only without an out list.
    bool Compare(const PatchFilesEx* local, PatchFilesEx* out) const;

    std::vector<PatchFileEntry> entries; // in document order
    std::string serverVersion;
    std::string loaderVersion;
    std::string infoMsg;
    std::string errorMsg;
    bool clientFiles64bit = false;

protected:
    // Files that are never replaced once present.
    static constexpr const char* kWorkstationConfigName = "halcyonworkstationconfig.txt";
    static constexpr const char* kLocalDatabaseName = "halcyonlocal.mdb";
};

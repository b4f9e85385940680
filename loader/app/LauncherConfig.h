// The launcher settings kept in TillerConfig.txt: remembered server lines, the proxy line
// and the auto start / auto close switches, in both directions between text and settings.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ServerLine.h"

constexpr const char* kConfigFileName = "TillerConfig.txt";
// Only this much of the file is read; a line cut there is taken as it stands.
constexpr size_t kMaxConfigBytes = 12000;
// Shown in the password box instead of a stored password.
constexpr const char* kPasswordPlaceholder = "########";

class CLauncherConfig {
public:
    // What a save did, for the window to show and the session to use.
    struct SaveResult {
        ServerLineAnalysis analysis;
        std::string displayLine;           // the text for the edit field of the server box
        bool boxUpdated = false;           // false: the server text was empty, nothing changed
        std::vector<std::string> boxItems; // the new list of the server box
        bool writeFile = false;            // false for an empty line or a single-study link
        std::string fileText;              // CR LF lines
    };

    // Applies the lines of a file's first bytes to the settings, as they stand.
    void ReadText(const char* bytes, size_t length);

    // The password box rule: a text other than the placeholder becomes the stored password
    // (trailing white space removed). Returns the text the box should show afterwards.
    std::string TakePasswordBox(const std::string& boxText);

    // Analyses the server box text, reorders the remembered lines so that the current server
    // comes first exactly once, and builds the file text from the settings.
    SaveResult Save(const std::string& serverText);

    std::vector<std::string> serverLines; // remembered display lines, most recent first
    bool proxyEnabled = false;
    std::string proxyAddress;
    std::string proxyUserName;
    std::string proxyPassword;   // clear text
    bool passwordStored = false; // a proxy line carried a password: the box shows the placeholder
    bool autoStart = false;
    bool autoClose = false;

private:
    void ReadProxyLine(const std::string& line);
};

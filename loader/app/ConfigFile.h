// TillerConfig.txt in the current directory.
#pragma once

#include <string>

class CLauncherConfig;

// Reads the first bytes of the file into the settings; a missing file changes nothing.
bool ReadConfigFile(CLauncherConfig* config);
// Replaces the file with the text only once the whole text is written next to it, so a failed
// save leaves the earlier file as it was.
bool WriteConfigFile(const std::string& text);

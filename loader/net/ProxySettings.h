// The process-wide proxy settings: written by the loader window before a session starts,
// read by every downloader whose own proxy members are empty.
#pragma once

#include <string>

extern std::string g_strProxy;
extern std::string g_strProxyUser;
extern std::string g_strProxyPassword;

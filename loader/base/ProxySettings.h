// The process-wide proxy settings: written by the window before a session starts, read by the
// downloaders whose own settings are empty.
#pragma once

#include <string>

extern std::string g_strProxyAddress;
extern std::string g_strProxyUserName;
extern std::string g_strProxyPassword;

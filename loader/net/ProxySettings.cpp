#include "ProxySettings.h"

std::string g_strProxy;
std::string g_strProxyUser;
std::string g_strProxyPassword;

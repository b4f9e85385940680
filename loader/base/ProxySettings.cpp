#include "ProxySettings.h"

std::string g_strProxyAddress;
std::string g_strProxyUserName;
std::string g_strProxyPassword;

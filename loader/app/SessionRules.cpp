#include "SessionRules.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "StringMap.h"
#include "Text.h"

std::string MakeServerAddress(const std::string& host, int port) {
    if (port >= 0 && port != 80)
        return host + ":" + std::to_string(port);
    return host;
}

bool ServerFromLink(const std::string& link, std::string* protocol, std::string* host, int* port) {
    std::string rest = Trim(link);
    std::string scheme;
    if (StartsWithNoCase(rest, "https://"))
        scheme = "https://";
    else if (StartsWithNoCase(rest, "http://"))
        scheme = "http://";
    else
        return false;
    rest.erase(0, scheme.size());
    std::string authority = rest.substr(0, rest.find_first_of("/?#"));
    int number = -1;
    size_t colon = authority.find(':');
    if (colon != std::string::npos) {
        std::string digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        number = std::stoi(digits);
        if (number > 65535)
            return false;
        authority.erase(colon);
    }
    if (authority.empty() || authority.find('@') != std::string::npos)
        return false;
    *protocol = scheme;
    *host = authority;
    *port = number;
    return true;
}

int CompareVersions(const std::string& a, const std::string& b) {
    const std::string left = Trim(a), right = Trim(b);
    size_t i = 0, j = 0;
    while (i < left.size() || j < right.size()) {
        // Values wrap like the unsigned arithmetic of the digits they are built from.
        unsigned long long x = 0, y = 0;
        for (; i < left.size() && left[i] != '.'; ++i)
            x = x * 10 + static_cast<unsigned long long>(left[i] - '0');
        for (; j < right.size() && right[j] != '.'; ++j)
            y = y * 10 + static_cast<unsigned long long>(right[j] - '0');
        long long vx = static_cast<long long>(x), vy = static_cast<long long>(y);
        if (vx < vy)
            return -1;
        if (vx > vy)
            return 1;
        if (i < left.size())
            ++i;
        if (j < right.size())
            ++j;
    }
    return 0;
}

bool PrepareClientLoaderData(CStringMap* data, bool use64) {
    bool mac = data->Contains("mac") && data->Get("mac") == "true";
    data->Set("64bit", use64 ? "true" : "false");
    return mac;
}

std::string MakeRequestBody(const CStringMap& data) {
    return data.ToText("\n", " = ", 1);
}

bool LocalClientDirectory(const std::string& serverVersion, bool files64bit,
                          std::string* directory) {
    size_t dot = serverVersion.find('.');
    if (dot == std::string::npos || dot == 0)
        return false;
    std::string first = serverVersion.substr(0, dot);
    for (unsigned char c : first)
        if (c < 0x20 || strchr("\\/:*?\"<>|", c) != nullptr)
            return false;
    if (first.find_first_not_of(' ') == std::string::npos)
        return false;
    *directory = first + (files64bit ? "_64" : "");
    return true;
}

std::string WorkstationProgramPath(const std::string& directory) {
    return directory + "\\HalcyonWorkstation.exe";
}

std::string WorkstationSemaphoreName(const std::string& directory) {
    std::string name = WorkstationProgramPath(directory);
    for (char& c : name)
        if (c == '\\')
            c = '-';
    return name;
}

std::string ClientFileDisplayName(const std::string& fileName) {
    size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

std::string EscapeUrlPathName(const std::string& name) {
    std::string escaped;
    escaped.reserve(name.size());
    for (char c : name) {
        if (c == '#')
            escaped += "%23";
        else if (c == '?')
            escaped += "%3F";
        else if (c == '%')
            escaped += "%25";
        else
            escaped += c;
    }
    return escaped;
}

std::string ClientFileUrl(const std::string& serverBase, bool files64bit,
                          const std::string& fileName) {
    return serverBase + "/HalWebClient" + (files64bit ? "64" : "") + "/" +
           EscapeUrlPathName(fileName);
}

std::string MaskedPassword(const std::string& password) {
    return password.empty() ? std::string() : password.substr(0, 1) + "...";
}

std::string WorkstationParameters(const std::string& link, const std::string& serverBase,
                                  const std::string& proxyAddress, const std::string& proxyUser,
                                  const std::string& proxyPassword) {
    std::string parameters = link.empty() ? " -W" + serverBase : " -E" + link;
    if (!proxyAddress.empty()) {
        std::string proxy = proxyAddress;
        for (char& c : proxy)
            if (c == ':')
                c = '!';
        parameters += " -P" + proxy;
    }
    if (!proxyUser.empty())
        parameters += " -Q" + proxyUser;
    if (!proxyPassword.empty())
        parameters += " -R" + proxyPassword;
    return parameters;
}

int ProgressPercent(uint64_t done, uint64_t total) {
    if (total == 0 || done >= total)
        return 100;
    return static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
}

int DownloadRate(int64_t bytesReceived, uint64_t timeSpentMs) {
    if (bytesReceived <= 0 || timeSpentMs == 0)
        return 0;
    double rate = (static_cast<double>(bytesReceived) / 1000.0) /
                      (static_cast<double>(timeSpentMs) / 1000.0) +
                  0.5;
    return rate >= 2147483647.0 ? 2147483647 : static_cast<int>(rate);
}

std::string FormatStatusTextV(const char* format, va_list args) {
    REQUIRE_TEXT(format, std::string());
    char buffer[kStatusTextBufferSize];
    int length = vsnprintf(buffer, sizeof buffer, format, args);
    if (length < 0)
        return std::string();
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

std::string FormatStatusText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatStatusTextV(format, args);
    va_end(args);
    return text;
}

std::string CutStatusText(const char* text) {
    REQUIRE_TEXT(text, std::string());
    return std::string(text, strnlen(text, kStatusTextBufferSize - 1));
}

std::vector<std::string> SplitStatusLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t brk = text.find_first_of("\r\n", start);
        lines.push_back(
            text.substr(start, brk == std::string::npos ? std::string::npos : brk - start));
        if (brk == std::string::npos)
            break;
        start = text.find_first_not_of("\r\n", brk);
        if (start == std::string::npos)
            break;
    }
    return lines;
}

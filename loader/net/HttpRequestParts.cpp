#include "HttpRequestParts.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <limits>

#include "Text.h"

namespace {

// Bytes that cannot stand in a request line as they are.
bool NeedsEscape(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>';
}

} // namespace

std::string NormalizeUrl(const std::string& url) {
    if (StartsWith(url, "http://") || StartsWith(url, "https://"))
        return url;
    return "http://" + url;
}

bool ParseURL(const std::string& url, int* serviceType, std::string* host, std::string* object,
              uint16_t* port) {
    int service = 0;
    uint16_t defaultPort = 0;
    size_t rest = 0;
    if (StartsWith(url, "http://")) {
        service = kServiceHttp;
        defaultPort = 80;
        rest = 7;
    } else if (StartsWith(url, "https://")) {
        service = kServiceHttps;
        defaultPort = 443;
        rest = 8;
    } else {
        return false;
    }
    size_t authorityEnd = url.find_first_of("/?#", rest);
    if (authorityEnd == std::string::npos)
        authorityEnd = url.size();
    std::string authority = url.substr(rest, authorityEnd - rest);
    // Credentials in the URL are not used: the downloader has its own members for them.
    size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);
    std::string hostName = authority;
    uint16_t portNumber = defaultPort;
    size_t colon = authority.rfind(':');
    if (colon != std::string::npos && authority.find(']', colon) == std::string::npos) {
        hostName = authority.substr(0, colon);
        std::string digits = authority.substr(colon + 1);
        if (!digits.empty()) {
            if (digits.size() > 5)
                return false;
            unsigned long value = 0;
            for (char c : digits) {
                if (!isdigit(static_cast<unsigned char>(c)))
                    return false;
                value = value * 10 + static_cast<unsigned long>(c - '0');
            }
            if (value > 65535)
                return false;
            // Port 0 names no port: the scheme's own is meant.
            if (value != 0)
                portNumber = static_cast<uint16_t>(value);
        }
    }
    if (hostName.empty())
        return false;
    for (char c : hostName)
        if (NeedsEscape(static_cast<unsigned char>(c)) || c == '/' || c == '\\')
            return false;

    std::string path = url.substr(authorityEnd);
    size_t fragment = path.find('#');
    if (fragment != std::string::npos)
        path.erase(fragment);
    if (path.empty() || path[0] == '?')
        path = "/" + path;
    std::string escaped;
    escaped.reserve(path.size());
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        if (NeedsEscape(byte))
            escaped += FormatText("%%%02X", byte);
        else
            escaped += c;
    }
    *serviceType = service;
    *host = hostName;
    *object = escaped;
    *port = portNumber;
    return true;
}

std::vector<std::string> SplitAcceptTypes(const std::string& acceptTypes) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= acceptTypes.size()) {
        size_t end = acceptTypes.find_first_of(",;", start);
        if (end == std::string::npos)
            end = acceptTypes.size();
        if (end > start)
            pieces.push_back(acceptTypes.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

std::string RangeHeader(uint64_t resumeOffset) {
    if (resumeOffset == 0)
        return std::string();
    return FormatText("Range: bytes=%" PRIu64 "-\r\n", resumeOffset);
}

std::string Base64(const std::string& bytes) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t count = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t j = 0; j < 3; ++j)
            group = group << 8 | (j < count ? static_cast<unsigned char>(bytes[i + j]) : 0u);
        for (size_t j = 0; j < 4; ++j)
            encoded += j <= count ? alphabet[(group >> (18 - 6 * j)) & 0x3F] : '=';
    }
    return encoded;
}

std::string ProxyAuthorizationHeader(const std::string& user, const std::string& password) {
    return "Proxy-Authorization: Basic " + Base64(user + ":" + password) + "\r\n";
}

uint64_t GrowCapacity(uint64_t capacity, uint64_t used, uint64_t count) {
    if (capacity >= used + count + 1)
        return capacity;
    uint64_t grown = capacity == 0 ? 512 : capacity;
    grown *= 2;
    if (grown < used + count + 1)
        grown = used + count + 10240;
    return grown;
}

uint32_t ThrottleSleepMs(uint64_t counter, uint64_t elapsedMs, double maxRate) {
    if (maxRate <= 0.0 || elapsedMs == 0)
        return 0;
    double rate = static_cast<double>(counter) / static_cast<double>(elapsedMs);
    if (rate <= maxRate)
        return 0;
    double sleep = static_cast<double>(counter) / maxRate - static_cast<double>(elapsedMs);
    if (sleep <= 0.0)
        return 0;
    if (sleep >= static_cast<double>(std::numeric_limits<uint32_t>::max()))
        return std::numeric_limits<uint32_t>::max();
    return static_cast<uint32_t>(sleep);
}

std::string ComposeErrorText(const std::string& errorTemplate, const std::string& message) {
    if (errorTemplate.empty() || message.empty())
        return errorTemplate;
    // Replaced, not formatted: a message can carry "%" of its own.
    std::string text = errorTemplate;
    size_t place = text.find("%s");
    if (place != std::string::npos)
        text.replace(place, 2, message);
    return text;
}

bool HeadersMentionGzip(const std::string& headers) {
    std::string lower = headers;
    for (char& c : lower)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return lower.find("gzip") != std::string::npos;
}

bool ParseContentLength(const std::string& text, uint64_t* length) {
    std::string digits = Trim(text);
    if (digits.empty() || digits.size() > 20)
        return false;
    uint64_t value = 0;
    for (char c : digits) {
        if (!isdigit(static_cast<unsigned char>(c)))
            return false;
        auto digit = static_cast<uint64_t>(c - '0');
        if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    *length = value;
    return true;
}

#include "ServerLine.h"

#include <cctype>
#include <climits>

#include "OrlaLog.h"
#include "Text.h"

namespace {

// The decimal value at the start of text as the C library's atoi reads it (white space,
// sign, leading digits), held at the limits of int instead of overflowing.
int LeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

} // namespace

std::string AnalyzeLine(const std::string& line, ServerLineAnalysis* result) {
    if (result == nullptr)
        return std::string();
    *result = ServerLineAnalysis();
    try {
        if (line.find("?SingleStudy&") != std::string::npos) {
            result->link = Trim(line);
            return result->link;
        }

        std::string hostPart = line;
        size_t open = line.find(" (");
        if (open != std::string::npos) {
            result->name = line.substr(0, open);
            std::string rest = line;
            if (!rest.empty() && rest.back() == ')')
                rest.pop_back();
            hostPart = Trim(rest.substr(open + 2));
        }

        if (!hostPart.empty()) {
            result->protocol = "http://";
            if (StartsWithNoCase(hostPart, "http://"))
                hostPart.erase(0, 7);
            if (StartsWithNoCase(hostPart, "https://")) {
                result->protocol = "https://";
                hostPart.erase(0, 8);
            }
        }

        size_t colon = hostPart.find(':');
        if (!hostPart.empty() && colon != std::string::npos) {
            result->port = LeadingNumber(hostPart.substr(colon + 1));
            // "srv:" (or "srv:0") means the protocol's own port.
            if (result->port == 0)
                result->port = -1;
            result->host = hostPart.substr(0, colon);
        } else {
            result->host = hostPart;
        }

        result->name = Trim(result->name);
        result->host = Trim(result->host);
        result->protocol = Trim(result->protocol);
        result->link = Trim(result->link);

        g_pLog->Log(4, "AnalyzeLine %s %s %s %d ", result->name.c_str(), result->protocol.c_str(),
                    result->host.c_str(), result->port);

        std::string display = result->name;
        if (!result->name.empty())
            display += " (";
        if (result->protocol != "http://")
            display += result->protocol;
        display += result->host;
        if (result->port != -1)
            display += FormatText(":%d", result->port);
        if (!result->name.empty())
            display += ")";
        return display;
    } catch (...) {
        g_pLog->LogText(4, "AnalyzeLine exception");
        *result = ServerLineAnalysis();
        return std::string();
    }
}

#include "LauncherConfig.h"

#include "EnhancedStringArray.h"
#include "PasswordScrambler.h"
#include "Text.h"

namespace {

bool SameServer(const ServerLineAnalysis& a, const std::string& aDisplay,
                const ServerLineAnalysis& b, const std::string& bDisplay) {
    return (!a.name.empty() && a.name == b.name) || aDisplay == bDisplay ||
           (a.protocol == b.protocol && a.host == b.host && a.port == b.port);
}

} // namespace

void CLauncherConfig::ReadText(const char* bytes, size_t length) {
    if (bytes == nullptr || length == 0)
        return;
    if (length > kMaxConfigBytes)
        length = kMaxConfigBytes;
    // A zero byte cannot be part of any line the window can show; it is dropped rather than
    // allowed to end the text early.
    std::string text;
    text.reserve(length);
    for (size_t i = 0; i < length; ++i)
        if (bytes[i] != '\0')
            text += bytes[i];
    CEnhancedStringArray pieces("\n", TrimRight(text).c_str());
    for (const std::string& piece : pieces) {
        std::string line = Trim(piece);
        if (line.empty())
            continue;
        if (StartsWith(line, "@@@") || StartsWith(line, "-@@@")) {
            ReadProxyLine(line);
        } else if (line == "AutoStart=Y" || line == "AutoStart=N") {
            autoStart = line.back() == 'Y';
        } else if (line == "AutoClose=Y" || line == "AutoClose=N") {
            autoClose = line.back() == 'Y';
        } else {
            ServerLineAnalysis analysis;
            serverLines.push_back(AnalyzeLine(line, &analysis));
        }
    }
}

void CLauncherConfig::ReadProxyLine(const std::string& line) {
    size_t skip = 4;
    if (line[0] != '-') {
        proxyEnabled = true;
        skip = 3;
    }
    CEnhancedStringArray fields(";", line.substr(skip).c_str());
    if (fields.size() > 0 && !fields[0].empty())
        proxyAddress = fields[0];
    if (fields.size() > 1 && !fields[1].empty())
        proxyUserName = fields[1];
    if (fields.size() > 2 && !fields[2].empty()) {
        proxyPassword = DecryptPassword(fields[2], kPasswordKey);
        passwordStored = true;
    }
}

std::string CLauncherConfig::TakePasswordBox(const std::string& boxText) {
    if (boxText == kPasswordPlaceholder)
        return boxText;
    proxyPassword = TrimRight(boxText);
    passwordStored = !proxyPassword.empty();
    return passwordStored ? std::string(kPasswordPlaceholder) : boxText;
}

CLauncherConfig::SaveResult CLauncherConfig::Save(const std::string& serverText) {
    SaveResult result;
    const std::string current = AnalyzeLine(serverText, &result.analysis);
    if (current.empty())
        return result;
    result.boxUpdated = true;
    result.displayLine = current;
    if (!result.analysis.link.empty())
        return result;

    result.boxItems.push_back(current);
    result.fileText = current + "\r\n";
    bool matched = false;
    for (std::string& stored : serverLines) {
        if (stored.empty())
            continue;
        ServerLineAnalysis analysis;
        std::string display = AnalyzeLine(stored, &analysis);
        if (display != stored)
            stored = display;
        if (SameServer(analysis, display, result.analysis, current)) {
            stored = current;
            matched = true;
            continue;
        }
        result.boxItems.push_back(stored);
        result.fileText += stored + "\r\n";
    }
    if (!matched)
        serverLines.insert(serverLines.begin(), current);

    if (!proxyAddress.empty()) {
        if (!proxyEnabled)
            result.fileText += "-";
        result.fileText += "@@@" + proxyAddress + ";" + proxyUserName + ";" +
                           EncryptPassword(proxyPassword, kPasswordKey) + "\r\n";
    }
    if (autoStart)
        result.fileText += "AutoStart=Y\r\n";
    if (autoClose)
        result.fileText += "AutoClose=Y\r\n";
    result.writeFile = true;
    return result;
}

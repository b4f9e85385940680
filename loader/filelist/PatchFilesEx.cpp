#include "PatchFilesEx.h"

#include "OrlaLog.h"
#include "XmlAttributes.h"

namespace {

std::string OptionalText(const XmlNode& element, const char* name) {
    std::string text;
    if (!ReadTextAttribute(element, name, text))
        text.clear();
    return text;
}

} // namespace

bool PatchFilesEx::FromXML(const XmlNode& element) {
    try {
        const int count = ChildCountByName(element, "PatchFileEntry");
        entries.reserve(entries.size() + static_cast<size_t>(count));
        int position = 0;
        LocalTimeConverter times;
        for (int i = 0; i < count; ++i) {
            PatchFileEntry entry;
            if (!entry.FromXML(GetChild(element, "PatchFileEntry", &position), times))
                return false;
            entries.push_back(std::move(entry));
        }
        serverVersion = OptionalText(element, "serverVersion");
        loaderVersion = OptionalText(element, "loaderVersion");
        clientFiles64bit = OptionalText(element, "clientFiles64bit") == "true";
        infoMsg = OptionalText(element, "infoMsg");
        errorMsg = OptionalText(element, "errorMsg");
        return true;
    } catch (...) {
        g_pLog->Log(1, "PatchFilesEx::FromXML EXCEPTION !!!");
        return false;
    }
}

bool PatchFilesEx::ToXML(const XmlNode& element) {
    try {
        for (PatchFileEntry& entry : entries) {
            XmlNode child = AddChild(element, "PatchFileEntry");
            if (child.IsEmpty() || !entry.ToNamedXML(child))
                return false;
        }
        return WriteTextAttribute(element, "serverVersion", serverVersion.c_str()) &&
               WriteTextAttribute(element, "loaderVersion", loaderVersion.c_str()) &&
               WriteTextAttribute(element, "clientFiles64bit",
                                  clientFiles64bit ? "true" : "false") &&
               WriteTextAttribute(element, "infoMsg", infoMsg.c_str()) &&
               WriteTextAttribute(element, "errorMsg", errorMsg.c_str());
    } catch (...) {
        g_pLog->Log(1, "PatchFilesEx::ToXML EXCEPTION !!!");
        return false;
    }
}

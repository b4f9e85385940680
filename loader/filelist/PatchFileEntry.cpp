#include "PatchFileEntry.h"

#include <cstring>

#include "OrlaLog.h"
#include "XmlAttributes.h"

namespace {

// Only dots and blanks, at least two dots: the system reads such a component as "..".
bool IsParentComponent(const char* begin, const char* end) {
    int dots = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

bool IsSafeLocalName(const char* name, size_t length) {
    const char* end = name + length;
    if (length == 0 || name[0] == '\\' || memchr(name, ':', length) != nullptr)
        return false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        if (p == end || *p == '\\') {
            if (IsParentComponent(component, p))
                return false;
            if (p == end)
                break;
            component = p + 1;
        }
    }
    // The last component names the file: "." or only dots and blanks is a folder.
    for (const char* p = component; p < end; ++p)
        if (*p != '.' && *p != ' ')
            return true;
    return false;
}

} // namespace

bool PatchFileEntry::IsSafeFileName(const char* name) {
    if (name == nullptr)
        return false;
    const char* slash = strrchr(name, '/');
    const char* local = slash ? slash + 1 : name;
    size_t length = strlen(local);
    if (!IsSafeLocalName(local, length))
        return false;
    // A ".gz" file is unpacked to the name without it, which must be as safe.
    if (length >= 3 && strcmp(local + length - 3, ".gz") == 0)
        return IsSafeLocalName(local, length - 3);
    return true;
}

bool PatchFileEntry::FromXML(const XmlNode& element) {
    LocalTimeConverter times;
    return FromXML(element, times);
}

bool PatchFileEntry::FromXML(const XmlNode& element, LocalTimeConverter& times) {
    try {
        std::string name;
        int64_t time = 0;
        uint32_t size = 0;
        if (!ReadTextAttribute(element, "filename", name) ||
            !ReadTimeAttribute(element, "lastWriteTime", time, times) ||
            !ReadUIntAttribute(element, "filesize", size))
            return false;
        if (!IsSafeFileName(name.c_str())) {
            g_pLog->Log(2, "Unsafe file name in file list: %s", name.c_str());
            return false;
        }
        fileName = std::move(name);
        lastWriteTime = time;
        fileSize = size;
        return true;
    } catch (...) {
        g_pLog->Log(1, "PatchFileEntry::FromXML EXCEPTION !!!");
        return false;
    }
}

bool PatchFileEntry::ToXML(const XmlNode& element) {
    try {
        if (!WriteTextAttribute(element, "filename", fileName.c_str()))
            return false;
        if (!WriteTimeAttribute(element, "lastWriteTime", lastWriteTime) &&
            !WriteTextAttribute(element, "lastWriteTime", "Invalid DateTime"))
            return false;
        return WriteUIntAttribute(element, "filesize", fileSize);
    } catch (...) {
        g_pLog->Log(1, "PatchFileEntry::ToXML EXCEPTION !!!");
        return false;
    }
}

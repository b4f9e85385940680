#include "Path.h"

#include <cstring>

#include "Text.h"

std::string JoinPath(const char* folder, const char* name) {
    REQUIRE_TEXT(folder, std::string());
    REQUIRE_TEXT(name, std::string());
    if (*folder == '\0')
        return name;
    std::string path = folder;
    if (path.back() != '\\')
        path += '\\';
    path += *name == '\\' ? name + 1 : name;
    return path;
}

void SplitPath(const char* path, std::string* folder, std::string* fileName, std::string* title,
               std::string* extension) {
    REQUIRE_TEXT(path, );
    if (*path == '\0')
        return;
    const std::string whole = path;
    const size_t slash = whole.rfind('\\');
    const std::string name = slash == std::string::npos ? whole : whole.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (folder)
        *folder = slash == std::string::npos ? std::string() : whole.substr(0, slash);
    if (fileName)
        *fileName = name;
    if (title)
        *title = dot == std::string::npos ? name : name.substr(0, dot);
    if (extension)
        *extension = dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool IsDotOrDotDot(const char* name) {
    REQUIRE_TEXT(name, false);
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

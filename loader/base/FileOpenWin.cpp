#include "ExactPath.h"
#include "FileOpen.h"

namespace {

std::wstring WideMode(const char* mode) {
    std::wstring wide;
    for (const char* p = mode; *p != '\0'; ++p)
        wide += static_cast<wchar_t>(*p);
    return wide;
}

} // namespace

FILE* OpenFile(const char* path, const char* mode) {
    return _wfopen(WidePath(path).c_str(), WideMode(mode).c_str());
}

gzFile OpenGzFile(const char* path, const char* mode) {
    return gzopen_w(WidePath(path).c_str(), mode);
}

int RemoveFile(const char* path) {
    return _wremove(WidePath(path).c_str());
}

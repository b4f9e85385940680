#include "ExactPath.h"

#include <cstring>

namespace {

constexpr char kExactPrefix[] = "\\\\?\\unix";

bool IsExactPath(const char* path) {
    return strncmp(path, kExactPrefix, sizeof kExactPrefix - 1) == 0;
}

std::wstring Widen(const char* text, UINT codePage) {
    int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text.data(), length, nullptr, nullptr);
    text.resize(static_cast<size_t>(length - 1));
    return text;
}

} // namespace

std::string ExactFolderPath(const std::string& folder) {
    // Wine's own export; Windows has none.
    using UnixFileName = char*(CDECL*)(LPCWSTR);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto unixFileName = kernel ? reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
                                     GetProcAddress(kernel, "wine_get_unix_file_name")))
                               : nullptr;
    if (unixFileName == nullptr || folder.empty())
        return std::string();
    char* unixPath = unixFileName(Widen(folder.c_str(), CP_ACP).c_str());
    if (unixPath == nullptr)
        return std::string();
    std::string exact = kExactPrefix;
    exact += unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    while (exact.size() > sizeof kExactPrefix && exact.back() == '/')
        exact.pop_back();
    return exact;
}

std::string ExactChildPath(const std::string& exactFolder, const std::string& name) {
    return exactFolder + "/" + Utf8(Widen(name.c_str(), CP_ACP));
}

std::wstring WidePath(const char* path) {
    return Widen(path, IsExactPath(path) ? CP_UTF8 : CP_ACP);
}

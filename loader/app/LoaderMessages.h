// The messages the worker posts to the loader window, and the ownership of status texts.
#pragma once

#include <windows.h>

#include <cstring>

constexpr UINT WM_LOADER_STATUS = WM_USER + 0x100;   // wParam: image | replace << 16; lParam: text
constexpr UINT WM_LOADER_PROGRESS = WM_USER + 0x101; // wParam: position 0..100
constexpr UINT WM_LOADER_DONE = WM_USER + 0x103;     // wParam 0, lParam 1
constexpr UINT WM_LOADER_LAUNCHED = WM_USER + 0x104; // wParam 0, lParam 0

// A status text travels with its message: the sender allocates it with NewStatusText and the
// window frees it with FreeStatusText once shown.
inline char* NewStatusText(const char* text) {
    size_t length = strlen(text);
    char* copy = new char[length + 1];
    memcpy(copy, text, length + 1);
    return copy;
}

inline void FreeStatusText(char* text) {
    delete[] text;
}

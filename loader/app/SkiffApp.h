// The loader program: its only window, run modally.
#pragma once

#include <windows.h>

class CSkiffAppApp {
public:
    // Runs the loader window and returns false: there is no message loop after it, so the
    // program ends when the window closes.
    BOOL InitInstance();
};

// A program for the tests of a bottle's shutdown. The argument says how it meets the end of
// the session: "polite" ends when asked, "refuse" answers that the session must not end,
// "hang" has no window and never ends by itself. It records its start in
// "session-program.txt" beside itself, and how it ended.
#include <windows.h>

#include <cstring>

#include "StartRecord.h"

namespace {

bool g_refuse = false;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        RecordLine("session-program.txt", g_refuse ? "refused the end of the session"
                                                   : "agreed to the end of the session");
        return g_refuse ? FALSE : TRUE;
    case WM_ENDSESSION:
        if (wParam)
            RecordLine("session-program.txt", "ended with the session");
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    if (!RecordStart("session-program.txt"))
        return 1;
    if (std::strstr(commandLine, "hang")) {
        Sleep(INFINITE);
        return 0;
    }
    g_refuse = std::strstr(commandLine, "refuse") != nullptr;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "SessionProgram";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("SessionProgram", "Session program", WS_OVERLAPPEDWINDOW, 10, 10,
                                200, 100, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

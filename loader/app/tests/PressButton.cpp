// Presses a button of the loader window from outside, as a user's click would:
// PressButton <button id> [seconds to wait for the window, default 30]. Exits 0 when the
// click was posted, 1 when no loader window appeared in time.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

BOOL CALLBACK FindLoader(HWND window, LPARAM found) {
    char title[128] = {};
    GetWindowTextA(window, title, sizeof title);
    if (strncmp(title, "Halcyon Web Loader", 18) != 0 || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    int id = atoi(argv[1]);
    int seconds = argc > 2 ? atoi(argv[2]) : 30;
    for (int round = 0; round < seconds * 10; ++round) {
        HWND loader = nullptr;
        EnumWindows(FindLoader, reinterpret_cast<LPARAM>(&loader));
        HWND button = loader != nullptr ? GetDlgItem(loader, id) : nullptr;
        if (button != nullptr && IsWindowEnabled(button)) {
            PostMessageA(loader, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(button));
            return 0;
        }
        Sleep(100);
    }
    return 1;
}

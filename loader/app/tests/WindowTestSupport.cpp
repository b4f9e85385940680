#include "WindowTestSupport.h"

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "FileSys.h"

namespace {
int s_folderNumber = 0;
}

ScratchFolder::ScratchFolder() {
    char buffer[MAX_PATH];
    GetCurrentDirectoryA(sizeof buffer, buffer);
    m_previous = buffer;
    GetTempPathA(sizeof buffer, buffer);
    m_path = std::string(buffer) + "skiff-app-test-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(++s_folderNumber);
    CFileSys::DeleteDirectory(m_path.c_str(), true);
    CreateDirectoryA(m_path.c_str(), nullptr);
    SetCurrentDirectoryA(m_path.c_str());
}

ScratchFolder::~ScratchFolder() {
    SetCurrentDirectoryA(m_previous.c_str());
    CFileSys::DeleteDirectory(m_path.c_str(), true);
}

bool FileExists(const char* name) {
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

bool PumpUntil(HWND dialog, const std::function<bool()>& done, DWORD milliseconds, bool* quit) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                if (quit)
                    *quit = true;
                return done && done();
            }
            if (dialog == nullptr || !IsWindow(dialog) || !IsDialogMessageA(dialog, &message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
        if (done && done())
            return true;
        if (GetTickCount() - start >= milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void Pump(HWND dialog, DWORD milliseconds, bool* quit) {
    PumpUntil(dialog, nullptr, milliseconds, quit);
}

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::vector<char> text(length + 1);
    GetWindowTextA(window, text.data(), length + 1);
    return text.data();
}

std::string ItemText(HWND dialog, int id) {
    return WindowText(GetDlgItem(dialog, id));
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

std::string ComboItem(HWND dialog, int id, int index) {
    HWND box = GetDlgItem(dialog, id);
    LRESULT length = SendMessageA(box, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR)
        return "<none>";
    std::vector<char> text(length + 1);
    SendMessageA(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return text.data();
}

int ComboCount(HWND dialog, int id) {
    return int(SendMessageA(GetDlgItem(dialog, id), CB_GETCOUNT, 0, 0));
}

std::string ListItem(HWND list, int index, int* image) {
    char text[1024] = {};
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    if (image)
        *image = item.iImage;
    return text;
}

int ListCount(HWND list) {
    return int(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

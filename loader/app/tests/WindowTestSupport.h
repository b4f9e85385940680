// Helpers for tests that run the loader window in this process: a scratch working folder,
// a message pump, and small readers of control state.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    const std::string& Path() const { return m_path; }

private:
    std::string m_previous;
    std::string m_path;
};

bool FileExists(const char* name);

// Runs the thread's messages through the dialog until done() or the time is up; a quit message
// ends the pump and sets *quit.
bool PumpUntil(HWND dialog, const std::function<bool()>& done, DWORD milliseconds,
               bool* quit = nullptr);
void Pump(HWND dialog, DWORD milliseconds, bool* quit = nullptr);

std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
bool Checked(HWND dialog, int id);
std::string ComboItem(HWND dialog, int id, int index);
int ComboCount(HWND dialog, int id);
std::string ListItem(HWND list, int index, int* image = nullptr);
int ListCount(HWND list);

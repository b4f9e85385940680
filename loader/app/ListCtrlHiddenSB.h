// A list view whose chosen scroll bars never show.
#pragma once

#include <windows.h>

class CListCtrlHiddenSB {
public:
    enum { kHorizontal = 0, kVertical = 1, kBoth = 3 };

    CListCtrlHiddenSB() = default;
    CListCtrlHiddenSB(const CListCtrlHiddenSB&) = delete;
    CListCtrlHiddenSB& operator=(const CListCtrlHiddenSB&) = delete;
    ~CListCtrlHiddenSB();

    // Takes over an existing list view of a dialog.
    bool SubclassWindow(HWND list);
    HWND GetSafeHwnd() const { return m_hWnd; }

    int m_hide = 1;
    int m_scrollBars = kHorizontal;

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
    void OnNcCalcSize();

    HWND m_hWnd = nullptr;
};

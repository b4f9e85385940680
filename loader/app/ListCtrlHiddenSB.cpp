#include "ListCtrlHiddenSB.h"

#include <commctrl.h>

CListCtrlHiddenSB::~CListCtrlHiddenSB() {
    if (m_hWnd != nullptr && IsWindow(m_hWnd))
        RemoveWindowSubclass(m_hWnd, WindowProc, 0);
}

bool CListCtrlHiddenSB::SubclassWindow(HWND list) {
    if (list == nullptr ||
        !SetWindowSubclass(list, WindowProc, 0, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hWnd = list;
    return true;
}

// The list view turns its scroll bars on as its contents need them; taking the style away
// before every size calculation keeps them hidden.
void CListCtrlHiddenSB::OnNcCalcSize() {
    if (m_hide != 1)
        return;
    LONG_PTR style = GetWindowLongPtrA(m_hWnd, GWL_STYLE);
    LONG_PTR hidden = 0;
    if (m_scrollBars == kHorizontal || m_scrollBars == kBoth)
        hidden |= WS_HSCROLL;
    if (m_scrollBars == kVertical || m_scrollBars == kBoth)
        hidden |= WS_VSCROLL;
    if (style & hidden)
        SetWindowLongPtrA(m_hWnd, GWL_STYLE, style & ~hidden);
}

LRESULT CALLBACK CListCtrlHiddenSB::WindowProc(HWND hWnd, UINT message, WPARAM wParam,
                                               LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    if (message == WM_NCCALCSIZE)
        reinterpret_cast<CListCtrlHiddenSB*>(self)->OnNcCalcSize();
    else if (message == WM_NCDESTROY)
        RemoveWindowSubclass(hWnd, WindowProc, 0);
    return DefSubclassProc(hWnd, message, wParam, lParam);
}

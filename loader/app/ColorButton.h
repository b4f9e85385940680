// An owner-drawn push button in chosen colours with a raised bevel.
#pragma once

#include <windows.h>

class CColorButton {
public:
    // Takes over the drawing of an existing owner-drawn button of a dialog.
    bool Attach(HWND button, COLORREF textColour, COLORREF backgroundColour,
                COLORREF disabledColour, UINT bevel);
    HWND GetSafeHwnd() const { return m_hWnd; }
    // The answer to the button's owner-draw request.
    void DrawItem(const DRAWITEMSTRUCT* item);

    COLORREF m_textColour = RGB(0, 0, 0);
    COLORREF m_backgroundColour = RGB(255, 255, 255);
    COLORREF m_disabledColour = RGB(128, 128, 128);
    UINT m_bevel = 2;

private:
    void DrawFrame(HDC dc, RECT rect, bool sunken) const;
    void DrawText(HDC dc, RECT rect, const char* text, COLORREF colour) const;

    HWND m_hWnd = nullptr;
};

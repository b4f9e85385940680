#include "ColorButton.h"

#include <utility>

namespace {

void Line(HDC dc, int x1, int y1, int x2, int y2, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
    SelectObject(dc, old);
    DeleteObject(pen);
}

// Grey levels are palette-relative colours.
COLORREF Grey(int level) {
    return PALETTERGB(level, level, level);
}

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

} // namespace

bool CColorButton::Attach(HWND button, COLORREF textColour, COLORREF backgroundColour,
                          COLORREF disabledColour, UINT bevel) {
    m_hWnd = button;
    m_textColour = textColour;
    m_backgroundColour = backgroundColour;
    m_disabledColour = disabledColour;
    m_bevel = bevel;
    return m_hWnd != nullptr;
}

// Ring i of a raised bevel: top and left light, bottom and right dark; each ring one pixel
// further in. One ring uses white and grey.
void CColorButton::DrawFrame(HDC dc, RECT rect, bool sunken) const {
    UINT rings = sunken ? 1 : m_bevel;
    for (UINT i = 0; i < rings; ++i) {
        COLORREF light = Grey(192 + 63 / (i + 1));
        COLORREF dark = Grey(255 / (i + 2));
        if (rings == 1) {
            light = RGB(255, 255, 255);
            dark = RGB(128, 128, 128);
        }
        if (sunken)
            std::swap(light, dark);
        Line(dc, rect.left, rect.top, rect.right, rect.top, light);
        Line(dc, rect.left, rect.top, rect.left, rect.bottom, light);
        Line(dc, rect.left, rect.bottom - 1, rect.right, rect.bottom - 1, dark);
        Line(dc, rect.right - 1, rect.top, rect.right - 1, rect.bottom, dark);
        InflateRect(&rect, -1, -1);
    }
}

void CColorButton::DrawText(HDC dc, RECT rect, const char* text, COLORREF colour) const {
    int oldMode = SetBkMode(dc, TRANSPARENT);
    COLORREF oldColour = SetTextColor(dc, colour);
    ::DrawTextA(dc, text, -1, &rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
}

void CColorButton::DrawItem(const DRAWITEMSTRUCT* item) {
    try {
        if (item == nullptr)
            return;
        HDC dc = item->hDC;
        RECT rect = item->rcItem;
        RECT focus = rect;
        InflateRect(&focus, -4, -4);
        char text[513] = {};
        GetWindowTextA(item->hwndItem, text, 512);

        Fill(dc, rect, m_backgroundColour);
        DrawFrame(dc, rect, false);
        DrawText(dc, rect, text, m_textColour);

        if (item->itemState & ODS_FOCUS) {
            DrawFocusRect(dc, &focus);
            if (item->itemState & ODS_SELECTED) {
                Fill(dc, rect, m_backgroundColour);
                DrawFrame(dc, rect, true);
                DrawText(dc, rect, text, m_textColour);
                DrawFocusRect(dc, &focus);
            }
        } else if (item->itemState & ODS_DISABLED) {
            DrawText(dc, rect, text, m_disabledColour);
        }
    } catch (...) {
        // A failed drawing leaves the button as it was.
    }
}

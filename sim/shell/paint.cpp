#include "paint.h"

#include "core.h"

namespace sim::shell {

void FillSolid(HDC dc, const RECT& rc, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rc, brush);
    DeleteObject(brush);
}

void Text(HDC dc, const WCHAR* text, RECT rc, COLORREF colour, int height, bool bold, UINT flags) {
    LOGFONTW lf{};
    lf.lfHeight = -height;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    wcscpy(lf.lfFaceName, u"Tahoma");
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    int mode = SetBkMode(dc, TRANSPARENT);
    COLORREF old_colour = SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &rc, flags | DT_NOPREFIX);
    SetTextColor(dc, old_colour);
    SetBkMode(dc, mode);
    SelectObject(dc, old);
    DeleteObject(font);
}

void ThemeColours(COLORREF* back, COLORREF* fore) {
    *back = RGB(16, 52, 132);
    *fore = RGB(255, 255, 255);
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Color", 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD b = 0, f = 0, size = 4;
    bool have8 = RegQueryValueExW(key, u"8", nullptr, nullptr, reinterpret_cast<BYTE*>(&b), &size) == ERROR_SUCCESS;
    size = 4;
    bool have9 = RegQueryValueExW(key, u"9", nullptr, nullptr, reinterpret_cast<BYTE*>(&f), &size) == ERROR_SUCCESS;
    if (have8 && have9) {
        *back = b;
        *fore = f;
    } else {
        DWORD table[41] = {};
        size = sizeof table;
        if (RegQueryValueExW(key, u"SHColor", nullptr, nullptr, reinterpret_cast<BYTE*>(table), &size) ==
                ERROR_SUCCESS &&
            size >= 40) {
            *back = table[8];
            *fore = table[9];
        }
    }
    RegCloseKey(key);
}

int Sx(int n) { return M().ScaleX(n); }
int Sy(int n) { return M().ScaleY(n); }

}  // namespace sim::shell

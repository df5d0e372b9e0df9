// Small drawing helpers shared by the shell's windows and the sample
// applications, over the platform's GDI calls.
#pragma once

#include <windows.h>

namespace sim::shell {

void FillSolid(HDC dc, const RECT& rc, COLORREF colour);
void Text(HDC dc, const WCHAR* text, RECT rc, COLORREF colour, int height, bool bold, UINT flags);
// The shell's theme: the taskbar's background and text colours.
void ThemeColours(COLORREF* back, COLORREF* fore);
int Sx(int n);
int Sy(int n);

}  // namespace sim::shell

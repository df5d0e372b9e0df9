/* The button's face. */
#include "vesk.h"

void PaintButton(HWND hwnd)
{
    PAINTSTRUCT ps;

    BeginPaint(hwnd, &ps);
    EndPaint(hwnd, &ps);
}

BOOL DrawLine(HDC hdc, int x1, int y1, int x2, int y2)
{
    POINT rgpt[2];

    rgpt[0].x = x1;
    rgpt[0].y = y1;
    rgpt[1].x = x2;
    rgpt[1].y = y2;
    return Polyline(hdc, rgpt, 2);
}

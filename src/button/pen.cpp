/* Pen strokes on the button. */
#include "vesk.h"

int g_bPressed = 0;
int g_bMenuZone = 0;

LRESULT OnPenDown(HWND hwnd, int x, int y, UINT keys)
{
    (void)hwnd; (void)x; (void)y; (void)keys;
    return 0;
}

LRESULT OnPenMove(HWND hwnd, int x, int y, UINT keys)
{
    (void)hwnd; (void)x; (void)y; (void)keys;
    return 0;
}

LRESULT OnPenUp(HWND hwnd, int x, int y, UINT keys)
{
    (void)hwnd; (void)x; (void)y; (void)keys;
    return 0;
}

LRESULT OnPressTimer(HWND hwnd)
{
    (void)hwnd;
    return 0;
}

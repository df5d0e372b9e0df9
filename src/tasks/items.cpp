/* Owner-drawn task items (in progress). */
#include "vesk.h"

void MeasureTaskItem(WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
}

void DrawTaskItem(WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
}

int DrawTextFit(HDC hdc, LPCWSTR pszText, int nLength, const RECT* prc, UINT uFormat)
{
    (void)hdc;
    (void)pszText;
    (void)nLength;
    (void)prc;
    (void)uFormat;
    return 0;
}

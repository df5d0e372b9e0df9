/* The button's window procedure and the hook on the taskbar's. */
#include "vesk.h"

HICON g_hCloseIcon = NULL;

void OnCreate(void)
{
    g_hCloseIcon = LoadIconW(g_hInstance, MAKEINTRESOURCEW(IDI_CLOSE));
    CreateBoldFont();
    LoadThemeColors();
}

void OnDestroy(void)
{
    if (g_hCloseIcon != NULL)
        DestroyIcon(g_hCloseIcon);
    g_hCloseIcon = NULL;
    if (g_hBoldFont != NULL)
        DeleteObject(g_hBoldFont);
    g_hBoldFont = NULL;
}

LRESULT CALLBACK ButtonWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        break;

    case WM_DESTROY:
        OnDestroy();
        break;

    case WM_PAINT:
        PaintButton(hwnd);
        return 0;

    case WM_CLOSE:
        PostQuitMessage(0);
        break;

    case WM_ERASEBKGND:
        /* The face is drawn over the whole client area at every paint. */
        return 0;

    case WM_DRAWITEM:
        DrawTaskItem(wParam, lParam);
        return 1;

    case WM_MEASUREITEM:
        MeasureTaskItem(wParam, lParam);
        return 1;

    case WM_TIMER:
        return OnPressTimer(hwnd);

    /* Pen positions arrive as unsigned 16-bit client coordinates: while the
       pen is captured, a point left of or above the button is a large value. */
    case WM_MOUSEMOVE:
        return OnPenMove(hwnd, LOWORD(lParam), HIWORD(lParam), LOWORD(wParam));

    case WM_LBUTTONDOWN:
        return OnPenDown(hwnd, LOWORD(lParam), HIWORD(lParam), LOWORD(wParam));

    case WM_LBUTTONUP:
        return OnPenUp(hwnd, LOWORD(lParam), HIWORD(lParam), LOWORD(wParam));
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK TaskBarHookProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult;

    lResult = CallWindowProcW(g_pfnTaskBarProc, hwnd, message, wParam, lParam);

    /* The window in front changed: show its state on the button. Until the
       button exists there is nothing to repaint (a null window would mean
       every window on the screen). */
    if (message == WM_SHELL_NOTIFY && g_hwndButton != NULL)
        InvalidateRect(g_hwndButton, NULL, TRUE);

    return lResult;
}

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

/* The taskbar took a new size (the screen turned): the button goes to its
   new right end, as high as the taskbar, and is drawn again. The face's
   layout, the menu's place and the zones all follow from the button. */
void OnTaskBarSize(int cxTaskBar, int cyTaskBar)
{
    int cx = ScaleX(BUTTON_WIDTH);

    MoveWindow(g_hwndButton, cxTaskBar - cx, 0, cx, cyTaskBar, TRUE);
    InvalidateRect(g_hwndButton, NULL, TRUE);
}

LRESULT CALLBACK TaskBarHookProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult;

    lResult = CallWindowProcW(g_pfnTaskBarProc, hwnd, message, wParam, lParam);

    /* Until the button exists there is nothing to move or repaint (a null
       window would mean every window on the screen). */
    if (g_hwndButton == NULL)
        return lResult;

    switch (message) {
    case WM_SHELL_NOTIFY:
        /* The window in front changed: show its state on the button. */
        InvalidateRect(g_hwndButton, NULL, TRUE);
        break;

    case WM_SIZE:
        OnTaskBarSize(LOWORD(lParam), HIWORD(lParam));
        break;
    }

    return lResult;
}

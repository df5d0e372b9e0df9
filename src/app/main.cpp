/* Start-up: one instance, the taskbar hooked, the button at its right end,
   and the message loop. */
#include "vesk.h"

HINSTANCE g_hInstance = NULL;
HWND g_hwndButton = NULL;
HWND g_hwndDesktop = NULL;
WNDPROC g_pfnTaskBarProc = NULL;

static const WCHAR c_szClassName[] = TEXT("VeskClass");
static const WCHAR c_szWindowTitle[] = TEXT("VeskWindow");
/* The class name and the window title joined. */
static const WCHAR c_szMutexName[] = TEXT("VeskClassVeskWindow");

static BOOL RegisterButtonClass(void)
{
    WNDCLASSW wc;
    HBRUSH hbr;

    hbr = CreateSolidBrush(g_crThemeBack);

    memset(&wc, 0, sizeof(wc));
    wc.style = CS_PARENTDC;
    wc.lpfnWndProc = ButtonWndProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = g_hInstance;
    wc.hIcon = NULL;
    wc.hCursor = NULL;
    wc.hbrBackground = hbr;
    wc.lpszMenuName = NULL;
    wc.lpszClassName = c_szClassName;

    if ((WORD)RegisterClassW(&wc) == 0) {
        if (hbr != NULL)
            DeleteObject(hbr);
        return FALSE;
    }
    return TRUE;
}

/* Replaces the taskbar's window procedure with TaskBarHookProc. */
static BOOL HookTaskBar(HWND hwndTaskBar)
{
    WNDPROC pfn;

    pfn = (WNDPROC)GetWindowLongPtrW(hwndTaskBar, GWLP_WNDPROC);
    if (pfn == NULL)
        return FALSE;
    g_pfnTaskBarProc = pfn;
    SetWindowLongPtrW(hwndTaskBar, GWLP_WNDPROC, (LONG_PTR)TaskBarHookProc);
    return TRUE;
}

static void UnhookTaskBar(HWND hwndTaskBar)
{
    SetWindowLongPtrW(hwndTaskBar, GWLP_WNDPROC, (LONG_PTR)g_pfnTaskBarProc);
    g_pfnTaskBarProc = NULL;
}

static HWND CreateButton(HWND hwndTaskBar)
{
    RECT rc;
    int cx;

    if (!GetWindowRect(hwndTaskBar, &rc))
        return NULL;
    cx = ScaleX(BUTTON_WIDTH);
    return CreateWindowExW(0, c_szClassName, c_szWindowTitle, WS_CHILD | WS_VISIBLE, rc.right - cx, rc.top, cx,
                           rc.bottom - rc.top, hwndTaskBar, NULL, g_hInstance, NULL);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    HANDLE hMutex;
    HWND hwndTaskBar;
    MSG msg;
    BOOL bRet;

    (void)hPrevInstance;
    (void)lpCmdLine;
    (void)nCmdShow;

    g_hInstance = hInstance;

    hMutex = CreateMutexW(NULL, TRUE, c_szMutexName);
    if (hMutex == NULL)
        return 0;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        /* Another instance runs; it is left alone. */
        CloseHandle(hMutex);
        return 0;
    }

    InitDisplayMetrics();
    LoadThemeColors();

    if (!RegisterButtonClass())
        return 0;

    g_hwndDesktop = FindWindowW(TEXT("DesktopExplorerWindow"), TEXT("Desktop"));

    /* Without the taskbar there is nothing to attach to: end quietly. */
    hwndTaskBar = FindWindowW(TEXT("HHTaskBar"), NULL);
    if (hwndTaskBar == NULL)
        return 0;
    if (!HookTaskBar(hwndTaskBar))
        return 0;

    g_hwndButton = CreateButton(hwndTaskBar);
    if (g_hwndButton == NULL) {
        UnhookTaskBar(hwndTaskBar);
        return 0;
    }

    SetWindowPos(g_hwndButton, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);

    /* GetMessage answers -1 on failure: that ends the loop too, with no
       quit message whose code could be returned. */
    msg.wParam = 0;
    while ((bRet = GetMessageW(&msg, NULL, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    KillTimer(g_hwndButton, ID_PRESS_TIMER);
    UnhookTaskBar(hwndTaskBar);
    return bRet == 0 ? (int)msg.wParam : 0;
}

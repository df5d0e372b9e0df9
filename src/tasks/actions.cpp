/* Acting on other applications' windows: closing, minimizing, and bringing
   the desktop to the front. */
#include "vesk.h"

/* A property sheet: WS_POPUP | WS_VISIBLE | 0x4, the whole style. */
#define PROPSHEET_STYLE 0x90000004

/* Enough passes to minimize every window a device can hold. */
#define SHOW_DESKTOP_MAX_PASSES 1024

/* Closes hwnd, whose process is the snapshot entry ppe: presses its "ok",
   hides it when it is the shell's, asks it to close otherwise. */
static BOOL CloseWindowOfProcess(const PROCESSENTRY32* ppe, LPARAM lParam)
{
    HWND hwnd = (HWND)lParam;
    DWORD dwStyle;
    DWORD dwExStyle;

    dwStyle = (DWORD)GetWindowLongW(hwnd, GWL_STYLE);
    dwExStyle = (DWORD)GetWindowLongW(hwnd, GWL_EXSTYLE);

    if (dwExStyle & WS_EX_CAPTIONOKBTN) {
        /* The window shows "ok" in its caption: press it. */
        SendMessageW(hwnd, WM_COMMAND, IDOK, (LPARAM)hwnd);
        if (dwStyle == PROPSHEET_STYLE)
            PostMessageW(hwnd, PSM_PRESSBUTTON, PSBTN_OK, 0);
    } else if (IsShellProcess(ppe)) {
        /* The shell's own windows are hidden, never closed. */
        SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_HIDEWINDOW);
    } else {
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    /* The first entry of the process decides. */
    return FALSE;
}

/* A window whose process is not in the snapshot is left alone. */
void CloseTaskWindow(HWND hwnd)
{
    DWORD dwProcessId = 0;

    GetWindowThreadProcessId(hwnd, &dwProcessId);
    ForEachProcessOf(dwProcessId, CloseWindowOfProcess, (LPARAM)hwnd);
}

static void CloseEntryWindow(TaskEntry* pEntry, LPARAM lParam)
{
    HWND hwndSpare = (HWND)lParam;

    if (pEntry->m_hwnd != NULL && pEntry->m_hwnd != hwndSpare)
        CloseTaskWindow(pEntry->m_hwnd);
}

/* Closes the task item windows from position 1 to the first separator,
   top to bottom, all but hwndSpare: the desktop at position 0 never. */
static void CloseTaskItems(HMENU hMenu, HWND hwndSpare)
{
    ForEachTaskEntry(hMenu, 1, CloseEntryWindow, (LPARAM)hwndSpare);
}

void CloseAllTasks(HMENU hMenu)
{
    CloseTaskItems(hMenu, NULL);
}

void CloseBackgroundTasks(HMENU hMenu)
{
    CloseTaskItems(hMenu, GetForegroundWindow());
}

void MinimizeWindow(HWND hwnd)
{
    ShowWindow(hwnd, SW_MINIMIZE);
}

void ShowDesktop(void)
{
    HWND hwndFront;
    HWND hwndFirst = NULL;
    HWND hwndLast = NULL;
    int nPass;

    /* Minimizes whatever is in front until the desktop is; without a desktop,
       until no window is in front. A minimized window goes behind the others,
       so the windows come to the front one after another; the first one
       minimized coming back means every window has had its turn. A pass that
       leaves the same window in front ends the loop too: nothing more can be
       done. */
    for (nPass = 0; nPass < SHOW_DESKTOP_MAX_PASSES; nPass++) {
        hwndFront = GetForegroundWindow();
        if (hwndFront == g_hwndDesktop || hwndFront == NULL || hwndFront == hwndLast || hwndFront == hwndFirst)
            break;
        MinimizeWindow(hwndFront);
        if (hwndFirst == NULL)
            hwndFirst = hwndFront;
        hwndLast = hwndFront;
    }
}

/* Acting on other applications' windows: closing, minimizing, and bringing
   the desktop to the front. */
#include "vesk.h"

/* A property sheet: WS_POPUP | WS_VISIBLE | 0x4, the whole style. */
#define PROPSHEET_STYLE 0x90000004

/* Enough passes to minimize every window a device can hold. */
#define SHOW_DESKTOP_MAX_PASSES 1024

static const WCHAR c_szShellExe[] = L"shell32.exe";

void CloseTaskWindow(HWND hwnd)
{
    DWORD dwProcessId = 0;
    HANDLE hSnapshot;
    PROCESSENTRY32 pe;
    BOOL fFound = FALSE;
    BOOL fMore;
    DWORD dwStyle;
    DWORD dwExStyle;

    GetWindowThreadProcessId(hwnd, &dwProcessId);

    hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return;

    memset(&pe, 0, sizeof(pe));
    pe.dwSize = sizeof(pe);
    for (fMore = Process32First(hSnapshot, &pe); fMore; fMore = Process32Next(hSnapshot, &pe)) {
        if (pe.th32ProcessID == dwProcessId) {
            fFound = TRUE;
            break;
        }
    }

    if (fFound) {
        dwStyle = (DWORD)GetWindowLongW(hwnd, GWL_STYLE);
        dwExStyle = (DWORD)GetWindowLongW(hwnd, GWL_EXSTYLE);

        if (dwExStyle & WS_EX_CAPTIONOKBTN) {
            /* The window shows "ok" in its caption: press it. */
            SendMessageW(hwnd, WM_COMMAND, IDOK, (LPARAM)hwnd);
            if (dwStyle == PROPSHEET_STYLE)
                PostMessageW(hwnd, PSM_PRESSBUTTON, PSBTN_OK, 0);
        } else if (wcscmp(pe.szExeFile, c_szShellExe) == 0) {
            /* The shell's own windows are hidden, never closed. */
            SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_HIDEWINDOW);
        } else {
            SendMessageW(hwnd, WM_CLOSE, 0, 0);
        }
    }

    CloseToolhelp32Snapshot(hSnapshot);
}

/* The window of the task item at a position, or NULL for an item that
   carries no entry. */
static HWND TaskWindowOf(const MENUITEMINFOW* pmii)
{
    TaskEntry* pEntry = (TaskEntry*)pmii->dwItemData;

    return pEntry != NULL ? pEntry->m_hwnd : NULL;
}

/* Closes the task item windows from position 1 to the first separator,
   top to bottom, all but hwndSpare. */
static void CloseTaskItems(HMENU hMenu, HWND hwndSpare)
{
    MENUITEMINFOW mii;
    UINT uPos;
    HWND hwnd;

    memset(&mii, 0, sizeof(mii));
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_TYPE | MIIM_DATA;

    for (uPos = 1;; uPos++) {
        /* An owner-drawn item hands its data back in dwTypeData and a
           string item its length in cch: left over, the next string item
           would be copied into the last task's entry. */
        mii.dwTypeData = NULL;
        mii.cch = 0;
        /* A position that cannot be read ends the walk, like the separator. */
        if (!GetMenuItemInfoW(hMenu, uPos, TRUE, &mii))
            break;
        if (mii.fType == MFT_SEPARATOR)
            break;
        hwnd = TaskWindowOf(&mii);
        if (hwnd != NULL && hwnd != hwndSpare)
            CloseTaskWindow(hwnd);
    }
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

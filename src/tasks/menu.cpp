/* The task menu: shown below the button, its choice carried out. */
#include "vesk.h"

#define TASK_ITEM_LAST_ID 0x8FFF

/* The task entry of the chosen item, or NULL. */
static TaskEntry* ChosenEntry(HMENU hPopup, UINT uId)
{
    MENUITEMINFOW mii;

    memset(&mii, 0, sizeof(mii));
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(hPopup, uId, FALSE, &mii))
        return NULL;
    return (TaskEntry*)mii.dwItemData;
}

static void OnTaskChosen(HMENU hPopup, UINT uId, LONG xRight)
{
    TaskEntry* pEntry;
    HWND hwnd;
    DWORD dwPos;
    LONG x;

    /* An item without an entry stands for nothing that can be acted on. */
    pEntry = ChosenEntry(hPopup, uId);
    if (pEntry == NULL)
        return;
    hwnd = pEntry->m_hwnd;

    /* Where the pen was lifted: the popup's right edge lies on the button's. */
    dwPos = GetMessagePos();
    x = (LONG)LOWORD(dwPos);

    if (hwnd == g_hwndDesktop)
        ShowDesktop();
    else if (x >= xRight - ScaleX(CLOSE_GLYPH_WIDTH) && x <= xRight)
        CloseTaskWindow(hwnd);
    else
        SetForegroundWindow(hwnd);
}

/* "&Minimize" acts on the window in front once the popup has closed; the
   desktop, if it has come to the front meanwhile, is never minimized. */
static void MinimizeFront(void)
{
    HWND hwnd = GetForegroundWindow();

    if (hwnd != NULL && hwnd != g_hwndDesktop)
        MinimizeWindow(hwnd);
}

/* Walks the task items from position uFirst up to the first separator and
   hands each item's entry to pfnProc. The items that the last build
   inserted bound the walk: the task items lie among them and the template's
   own items never do. An item that cannot be read is passed over: only its
   own entry is missed, not those of the items after it. */
void ForEachTaskEntry(HMENU hMenu, UINT uFirst, TASKENTRYPROC pfnProc, LPARAM lParam)
{
    MENUITEMINFOW mii;
    UINT uPos;

    memset(&mii, 0, sizeof(mii));
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_TYPE | MIIM_DATA;

    for (uPos = uFirst; (int)uPos < g_nMenuItems; uPos++) {
        /* An owner-drawn item hands its data back in dwTypeData and a
           string item its length in cch: left over, the next string item
           would be copied into the entry just handed on. */
        mii.dwTypeData = NULL;
        mii.cch = 0;
        mii.dwItemData = 0;
        if (!GetMenuItemInfoW(hMenu, uPos, TRUE, &mii))
            continue;
        if (mii.fType == MFT_SEPARATOR)
            break;
        if (mii.dwItemData != 0)
            pfnProc((TaskEntry*)mii.dwItemData, lParam);
    }
}

static void DeleteEntry(TaskEntry* pEntry, LPARAM lParam)
{
    (void)lParam;
    delete pEntry;
}

void RunTaskMenu(void)
{
    RECT rc;
    HMENU hMenu;
    HMENU hPopup;
    UINT uId;

    if (!GetWindowRect(g_hwndButton, &rc))
        return;

    hMenu = LoadMenuW(g_hInstance, MAKEINTRESOURCEW(IDR_TASKMENU));
    if (hMenu == NULL)
        return;
    hPopup = GetSubMenu(hMenu, 0);
    if (hPopup == NULL) {
        DestroyMenu(hMenu);
        return;
    }

    BuildTaskMenu(hPopup);

    if (GetForegroundWindow() == g_hwndDesktop)
        EnableMenuItem(hPopup, IDM_MINIMIZE, MF_BYCOMMAND | MF_GRAYED);
    else
        EnableMenuItem(hPopup, IDM_MINIMIZE, MF_BYCOMMAND | MF_ENABLED);

    uId = (UINT)TrackPopupMenuEx(hPopup, TPM_RETURNCMD | TPM_RIGHTALIGN, rc.right, rc.bottom, g_hwndButton, NULL);

    if (uId >= TASK_ITEM_FIRST_ID && uId <= TASK_ITEM_LAST_ID) {
        OnTaskChosen(hPopup, uId, rc.right);
    } else {
        switch (uId) {
        case IDM_CLOSE_ALL:
            CloseAllTasks(hPopup);
            break;
        case IDM_EXIT:
            PostQuitMessage(0);
            break;
        case IDM_MINIMIZE:
            MinimizeFront();
            break;
        case IDM_CLOSE_BACKGROUND:
            CloseBackgroundTasks(hPopup);
            break;
        }
    }

    ForEachTaskEntry(hPopup, 0, DeleteEntry, 0);
    DestroyMenu(hMenu);
}

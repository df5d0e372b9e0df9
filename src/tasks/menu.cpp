/* The task menu: shown below the button, its choice carried out. */
#include "vesk.h"

#define TASK_ITEM_LAST_ID 0x8FFF
/* The close glyph's column at the right end of a task item. */
#define CLOSE_GLYPH_ZONE 18

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
    else if (x >= xRight - ScaleX(CLOSE_GLYPH_ZONE) && x <= xRight)
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

/* Deletes the entries of the task items, from position 0 to the first
   separator. */
static void FreeTaskEntries(HMENU hPopup)
{
    MENUITEMINFOW mii;
    UINT uPos;
    int nItems;

    memset(&mii, 0, sizeof(mii));
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_TYPE | MIIM_DATA;

    /* Should the count fail, the items that this build inserted bound
       the walk: the entries lie among them. */
    nItems = GetMenuItemCount(hPopup);
    if (nItems < 0)
        nItems = g_nMenuItems;
    for (uPos = 0; (int)uPos < nItems; uPos++) {
        /* An owner-drawn item hands its data back in dwTypeData and a
           string item its length in cch: left over, the next string item
           would be copied into the entry just deleted. */
        mii.dwTypeData = NULL;
        mii.cch = 0;
        mii.dwItemData = 0;
        /* An item that cannot be read is passed over: its entry is lost,
           but not the entries of the items after it. */
        if (!GetMenuItemInfoW(hPopup, uPos, TRUE, &mii))
            continue;
        if (mii.fType == MFT_SEPARATOR)
            break;
        if (mii.dwItemData != 0)
            delete (TaskEntry*)mii.dwItemData;
    }
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

    FreeTaskEntries(hPopup);
    DestroyMenu(hMenu);
}

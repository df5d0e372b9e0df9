/* Task entries and the list of running tasks in the task menu. */
#include "vesk.h"

int g_nMenuItems = 0;

/* Titles shorter than this are not worth listing. */
#define MIN_TITLE_LENGTH 2
/* "Dialog" and its terminator: a longer class name is cut and never equals it. */
#define CLASS_BUFFER 8

static const WCHAR c_szDesktopTitle[] = TEXT("Desktop");
static const WCHAR c_szDialogClass[] = TEXT("Dialog");
static const WCHAR c_szShellExe[] = TEXT("shell32.exe");

TaskEntry::TaskEntry(LPCWSTR pszTitle, DWORD dwProcessId, HWND hwnd)
    : m_pszTitle(NULL), m_dwProcessId(dwProcessId), m_hwnd(hwnd)
{
    size_t cch;

    cch = wcslen(pszTitle) + 1;
    m_pszTitle = new (std::nothrow) WCHAR[cch];
    if (m_pszTitle != NULL)
        wcscpy(m_pszTitle, pszTitle);
}

TaskEntry::~TaskEntry()
{
    delete[] m_pszTitle;
}

/* Makes an entry and inserts its owner-drawn item at the next position. An
   entry that cannot be made whole, or whose item cannot be inserted, is
   given back: every task item carries an entry, and nothing is left over. */
static void InsertTaskItem(HMENU hMenu, LPCWSTR pszTitle, DWORD dwProcessId, HWND hwnd)
{
    TaskEntry* pEntry;

    pEntry = new (std::nothrow) TaskEntry(pszTitle, dwProcessId, hwnd);
    if (pEntry == NULL)
        return;
    if (pEntry->m_pszTitle == NULL) {
        delete pEntry;
        return;
    }

    if (InsertMenuW(hMenu, g_nMenuItems, MF_BYPOSITION | MF_OWNERDRAW, TASK_ITEM_FIRST_ID + g_nMenuItems,
                    (LPCWSTR)pEntry))
        g_nMenuItems++;
    else
        delete pEntry;
}

void BuildTaskMenu(HMENU hMenu)
{
    DWORD dwProcessId = 0;

    g_nMenuItems = 0;

    GetWindowThreadProcessId(g_hwndDesktop, &dwProcessId);
    InsertTaskItem(hMenu, c_szDesktopTitle, dwProcessId, g_hwndDesktop);

    EnumWindows(EnumTaskWindowProc, (LPARAM)hMenu);

    if (g_nMenuItems > 0)
        InsertMenuW(hMenu, g_nMenuItems, MF_BYPOSITION | MF_SEPARATOR, 0, NULL);
}

BOOL IsShellProcess(const PROCESSENTRY32* ppe)
{
    return wcscmp(ppe->szExeFile, c_szShellExe) == 0;
}

/* Walks a fresh process snapshot and hands every entry whose process is
   dwProcessId to pfnProc, until it returns FALSE. FALSE when no snapshot
   could be taken. */
BOOL ForEachProcessOf(DWORD dwProcessId, PROCESSENTRYPROC pfnProc, LPARAM lParam)
{
    HANDLE hSnapshot;
    PROCESSENTRY32 pe;
    BOOL fMore;

    hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return FALSE;

    memset(&pe, 0, sizeof(pe));
    pe.dwSize = sizeof(pe);
    for (fMore = Process32First(hSnapshot, &pe); fMore; fMore = Process32Next(hSnapshot, &pe)) {
        if (pe.th32ProcessID == dwProcessId && !pfnProc(&pe, lParam))
            break;
    }

    CloseToolhelp32Snapshot(hSnapshot);
    return TRUE;
}

/* The window whose items AddWindowItem inserts. */
typedef struct tagWINDOWITEM {
    HMENU hMenu;
    HWND hwnd;
    LPCWSTR pszTitle;
} WINDOWITEM;

/* Inserts an item for the window for every process of the snapshot that
   owns it, unless that process is the shell. */
static BOOL AddWindowItem(const PROCESSENTRY32* ppe, LPARAM lParam)
{
    const WINDOWITEM* pwi = (const WINDOWITEM*)lParam;

    if (!IsShellProcess(ppe))
        InsertTaskItem(pwi->hMenu, pwi->pszTitle, ppe->th32ProcessID, pwi->hwnd);
    return TRUE;
}

static void AddWindowItems(HMENU hMenu, HWND hwnd, LPCWSTR pszTitle)
{
    DWORD dwProcessId = 0;
    WINDOWITEM wi;

    GetWindowThreadProcessId(hwnd, &dwProcessId);
    wi.hMenu = hMenu;
    wi.hwnd = hwnd;
    wi.pszTitle = pszTitle;
    ForEachProcessOf(dwProcessId, AddWindowItem, (LPARAM)&wi);
}

BOOL CALLBACK EnumTaskWindowProc(HWND hwnd, LPARAM lParam)
{
    HMENU hMenu = (HMENU)lParam;
    WCHAR szClass[CLASS_BUFFER];
    LPWSTR pszTitle;
    int cch;

    szClass[0] = 0;
    GetClassNameW(hwnd, szClass, CLASS_BUFFER);
    if (wcscmp(szClass, c_szDialogClass) == 0 && GetParent(hwnd) != NULL)
        return TRUE;

    cch = GetWindowTextLengthW(hwnd);
    if (cch < 0)
        cch = 0;
    pszTitle = new (std::nothrow) WCHAR[cch + 1];
    if (pszTitle == NULL)
        return TRUE;
    pszTitle[0] = 0;
    GetWindowTextW(hwnd, pszTitle, cch + 1);

    if (IsWindowVisible(hwnd) && cch >= MIN_TITLE_LENGTH)
        AddWindowItems(hMenu, hwnd, pszTitle);

    delete[] pszTitle;
    return TRUE;
}

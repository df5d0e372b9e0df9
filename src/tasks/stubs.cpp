/* Task menu routines not yet in place. */
#include "vesk.h"

int g_nMenuItems = 0;

TaskEntry::TaskEntry(LPCWSTR pszTitle, DWORD dwProcessId, HWND hwnd)
    : m_pszTitle(NULL), m_dwProcessId(dwProcessId), m_hwnd(hwnd)
{
    (void)pszTitle;
}

TaskEntry::~TaskEntry()
{
}

void BuildTaskMenu(HMENU hMenu) { (void)hMenu; }
BOOL CALLBACK EnumTaskWindowProc(HWND hwnd, LPARAM lParam) { (void)hwnd; (void)lParam; return TRUE; }
void RunTaskMenu(void) {}
void MeasureTaskItem(WPARAM wParam, LPARAM lParam) { (void)wParam; (void)lParam; }
void DrawTaskItem(WPARAM wParam, LPARAM lParam) { (void)wParam; (void)lParam; }
int DrawTextFit(HDC hdc, LPCWSTR pszText, int nLength, const RECT* prc, UINT uFormat)
{
    (void)hdc; (void)pszText; (void)nLength; (void)prc; (void)uFormat;
    return 0;
}
void CloseTaskWindow(HWND hwnd) { (void)hwnd; }
void CloseAllTasks(HMENU hMenu) { (void)hMenu; }
void CloseBackgroundTasks(HMENU hMenu) { (void)hMenu; }
void MinimizeWindow(HWND hwnd) { (void)hwnd; }
void ShowDesktop(void) {}

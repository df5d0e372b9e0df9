/* vesk: a task manager for the Pocket PC's taskbar.

   Process-wide state and the routines of each part of the program. Every
   routine runs on the one GUI thread, inside its message loop. */
#ifndef VESK_H
#define VESK_H

#include "platform.h"
#include "resource.h"

/* The press timer of the button: the only timer vesk has. */
#define ID_PRESS_TIMER 1
#define PRESS_TIMEOUT 200

/* The shell sends this to the taskbar whenever the window in front changes. */
#define WM_SHELL_NOTIFY WM_USER

/* Design sizes, in units of a 96 dots-per-inch screen. */
#define BUTTON_WIDTH 28
#define MENU_STRIP_WIDTH 6
/* The close glyph's column at the right end of a task item. */
#define CLOSE_GLYPH_WIDTH 18

/* ---- Application frame: src/app ---- */

extern HINSTANCE g_hInstance;
extern HWND g_hwndButton;
extern HWND g_hwndDesktop;
extern WNDPROC g_pfnTaskBarProc;

extern int g_nLogPixelsX;
extern int g_nLogPixelsY;
extern COLORREF g_crThemeBack;
extern COLORREF g_crThemeFore;
extern HFONT g_hBoldFont;
extern HICON g_hCloseIcon;

int ScaleX(int n);
int ScaleY(int n);
void InitDisplayMetrics(void);
void LoadThemeColors(void);
void CreateBoldFont(void);
HFONT CreateScaledBoldFont(int nHeight);

LRESULT CALLBACK ButtonWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK TaskBarHookProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void OnCreate(void);
void OnDestroy(void);
void OnTaskBarSize(int cxTaskBar, int cyTaskBar);

/* ---- Taskbar button: src/button ---- */

extern int g_bPressed;
extern int g_bMenuZone;

void PaintButton(HWND hwnd);
void RestoreDrawingState(HDC hdc, int nSaved);
BOOL DrawLine(HDC hdc, int x1, int y1, int x2, int y2);

LRESULT OnPenDown(HWND hwnd, int x, int y, UINT keys);
LRESULT OnPenMove(HWND hwnd, int x, int y, UINT keys);
LRESULT OnPenUp(HWND hwnd, int x, int y, UINT keys);
LRESULT OnPressTimer(HWND hwnd);

/* ---- Task menu: src/tasks ---- */

/* One running task in the task menu: the item data of its owner-drawn item. */
class TaskEntry
{
public:
    TaskEntry(LPCWSTR pszTitle, DWORD dwProcessId, HWND hwnd);
    virtual ~TaskEntry();

    LPWSTR m_pszTitle;
    DWORD m_dwProcessId;
    HWND m_hwnd;

private:
    TaskEntry(const TaskEntry&);
    TaskEntry& operator=(const TaskEntry&);
};

extern int g_nMenuItems;

/* Called for each process entry of a snapshot; FALSE ends the walk. */
typedef BOOL (*PROCESSENTRYPROC)(const PROCESSENTRY32* ppe, LPARAM lParam);
BOOL ForEachProcessOf(DWORD dwProcessId, PROCESSENTRYPROC pfnProc, LPARAM lParam);
BOOL IsShellProcess(const PROCESSENTRY32* ppe);

/* Called for the entry of each task item of the task menu. */
typedef void (*TASKENTRYPROC)(TaskEntry* pEntry, LPARAM lParam);
void ForEachTaskEntry(HMENU hMenu, UINT uFirst, TASKENTRYPROC pfnProc, LPARAM lParam);

void BuildTaskMenu(HMENU hMenu);
BOOL CALLBACK EnumTaskWindowProc(HWND hwnd, LPARAM lParam);

void RunTaskMenu(void);

void MeasureTaskItem(WPARAM wParam, LPARAM lParam);
void DrawTaskItem(WPARAM wParam, LPARAM lParam);
int DrawTextFit(HDC hdc, LPCWSTR pszText, int nLength, const RECT* prc, UINT uFormat);

void CloseTaskWindow(HWND hwnd);
void CloseAllTasks(HMENU hMenu);
void CloseBackgroundTasks(HMENU hMenu);
void MinimizeWindow(HWND hwnd);
void ShowDesktop(void);

#endif

/* Desktop Windows: the few calls, constants and records that only Windows CE
   has, mapped onto the desktop's own. src/platform.h includes this after the
   SDK's headers when vesk is built for desktop Windows; vesk's sources stay
   exactly as they are for the device.

   The desktop build defines UNICODE, as every Windows CE program is built:
   PROCESSENTRY32, Process32First/Next, SHFILEINFO and SHGetFileInfo are then
   the wide records and calls that Windows CE has under those names. */
#ifndef VESK_CE_ON_DESKTOP_H
#define VESK_CE_ON_DESKTOP_H

#include <windows.h>
#include <prsht.h>
#include <string.h>
#include <wchar.h>

#ifndef UNICODE
#error "vesk is a Unicode program: build it with UNICODE defined"
#endif

/* The caption's OK button of the Pocket PC shell. Desktop Windows has no such
   style, but it keeps the bit in the extended style as it was given. */
#ifndef WS_EX_CAPTIONOKBTN
#define WS_EX_CAPTIONOKBTN 0x80000000L
#endif

/* vesk's entry has the device's signature, with a wide command line. The
   desktop's own entry (win32/vesk_main.cpp) and the Wine test host call it
   under this name. */
#define WinMain VeskWinMain
int WINAPI VeskWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

/* Windows CE closes tool-help snapshots with their own call. */
BOOL WINAPI VeskCloseToolhelp32Snapshot(HANDLE hSnapshot);
#define CloseToolhelp32Snapshot VeskCloseToolhelp32Snapshot

/* Windows CE opens a process for reading its executable's path with no
   access bits at all; the desktop wants the right to query it. */
HANDLE WINAPI VeskOpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId);
#define OpenProcess VeskOpenProcess

/* On Windows CE, GetModuleFileNameW given a process handle yields the full
   path of the executable that the process runs. */
DWORD WINAPI VeskGetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
#define GetModuleFileNameW VeskGetModuleFileNameW

/* Windows CE's system colour indexes carry the flag 0x40000000; the desktop
   takes the plain index and answers 0 for anything else. */
DWORD WINAPI VeskGetSysColor(int nIndex);
HBRUSH WINAPI VeskGetSysColorBrush(int nIndex);
#define GetSysColor VeskGetSysColor
#define GetSysColorBrush VeskGetSysColorBrush

/* On Windows CE every window clips its siblings without saying so in its
   style; desktop Windows adds WS_CLIPSIBLINGS to the style of every
   top-level window. vesk compares whole styles (a property sheet is exactly
   0x90000004), so the desktop's implicit bit is taken out again. */
LONG WINAPI VeskGetWindowLongW(HWND hWnd, int nIndex);
#define GetWindowLongW VeskGetWindowLongW

/* On Windows CE a minimized window goes behind the others and the next one
   comes to the front at once; desktop Windows leaves a window of another
   process that was minimized in front, iconic. vesk minimizes the window in
   front and looks at once at what came to the front (the desktop, when it
   minimizes everything): the desktop build brings the next shown window of
   the z-order to the front itself, as the device does, and returns once it
   is there. */
BOOL WINAPI VeskShowWindow(HWND hWnd, int nCmdShow);
#define ShowWindow VeskShowWindow

/* The device's system font is Tahoma at 12 units of a 96 dpi screen, where
   the desktop's SYSTEM_FONT is a bold bitmap face. Every other stock object
   is the desktop's own. */
HGDIOBJ WINAPI VeskGetStockObject(int i);
#define GetStockObject VeskGetStockObject

#endif

// Platform calls that the simulator has for its own shell, its driver and
// the tests, and that no Windows CE device exports to programs: coredll on
// CE 5 and CE 6 lacks them, so a program that called one would not load.
// They are kept out of the program-facing headers (windows.h and its
// companions) so that vesk cannot call them by accident; the header-surface
// test holds those headers to the device's export lists.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

int WINAPI GetMenuItemCount(HMENU hMenu);
BOOL WINAPI EndMenu(void);
LONG WINAPI GetMessageTime(void);

#ifdef __cplusplus
}
#endif

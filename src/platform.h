/* The one header through which vesk reaches the platform: the SDK's
   headers on Windows CE and on desktop Windows, the simulator's on Linux. */
#ifndef VESK_PLATFORM_H
#define VESK_PLATFORM_H

#include <windows.h>
#include <tlhelp32.h>
#include <shellapi.h>
#include <new>

#if defined(_WIN32_WCE)
/* The property sheet's messages. */
#include <prsht.h>
/* Windows CE is 32-bit throughout: a window procedure fits the window long. */
#ifndef GetWindowLongPtrW
#define GetWindowLongPtrW GetWindowLongW
#define SetWindowLongPtrW SetWindowLongW
#define GWLP_WNDPROC GWL_WNDPROC
#endif
#elif defined(_WIN32)
/* Desktop Windows: the few calls and constants that only Windows CE has. */
#include <ce_on_desktop.h>
#endif

/* vesk's text is the platform's: 16-bit UTF-16 units in every build, as on
   the device. (A negative array size fails the compile; the device's
   compiler predates static_assert.) */
typedef char VeskWcharIsSixteenBits[sizeof(WCHAR) == 2 ? 1 : -1];

#endif

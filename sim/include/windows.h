// The platform's window API as the simulated Pocket PC provides it.
//
// Names, types, constants and calls are those of the Windows CE SDK, so that
// vesk's sources compile unchanged against this header, the CE SDK and the
// desktop SDK. Only what vesk, the stand-in shell and the sample applications
// use is declared here. Types keep the platform's widths: LONG and DWORD are
// 32-bit, pointer-sized values use the *_PTR types; WCHAR is a 16-bit UTF-16
// code unit, as on the device (char16_t, never Linux's 32-bit wchar_t), and
// the wide C runtime functions are the platform's (wcs.h).
#ifndef VESK_SIM_WINDOWS_H
#define VESK_SIM_WINDOWS_H

#include "windef.h"
#include "winbase.h"
#include "winreg.h"
#include "wingdi.h"
#include "winuser.h"
#include "wcs.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Application entry */
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

#ifdef __cplusplus
}
#endif

#endif /* VESK_SIM_WINDOWS_H */

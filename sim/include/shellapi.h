// Shell: file information and icons of the simulated file system.
#ifndef VESK_SIM_SHELLAPI_H
#define VESK_SIM_SHELLAPI_H

#include <windows.h>

typedef struct _SHFILEINFOW {
    HICON hIcon;
    int iIcon;
    DWORD dwAttributes;
    WCHAR szDisplayName[MAX_PATH];
    WCHAR szTypeName[80];
} SHFILEINFOW, SHFILEINFO;

#define SHGFI_ICON 0x000000100
#define SHGFI_DISPLAYNAME 0x000000200
#define SHGFI_TYPENAME 0x000000400
#define SHGFI_ATTRIBUTES 0x000000800
#define SHGFI_SYSICONINDEX 0x000004000
#define SHGFI_LARGEICON 0x000000000
#define SHGFI_SMALLICON 0x000000001

#ifdef __cplusplus
extern "C" {
#endif

/* Windows CE exports the Unicode call under the plain name. */
DWORD_PTR WINAPI SHGetFileInfo(LPCWSTR pszPath, DWORD dwFileAttributes, SHFILEINFOW *psfi, UINT cbFileInfo,
                               UINT uFlags);

#ifdef __cplusplus
}
#endif

#endif

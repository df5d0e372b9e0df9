/* Display metrics, scaling and the shell's colour theme. */
#include "vesk.h"

int g_nLogPixelsX = 0;
int g_nLogPixelsY = 0;
COLORREF g_crThemeBack = 0;
COLORREF g_crThemeFore = 0;
HFONT g_hBoldFont = NULL;

/* The shell's colour table holds 41 entries; vesk uses entries 8 and 9. */
#define SHCOLOR_ENTRIES 41
#define SHCOLOR_BACK 8
#define SHCOLOR_FORE 9

/* The task items' title font, in 96 dpi units. */
#define MENU_FONT_HEIGHT 11

/* The lowest resolution at which one design unit still rounds to a pixel. */
#define MIN_LOG_PIXELS 48

/* Every length is designed for a 96 dpi screen; these convert it to device
   pixels, rounding to the nearest pixel. */
int ScaleX(int n)
{
    return (n * g_nLogPixelsX + 48) / 96;
}

int ScaleY(int n)
{
    return (n * g_nLogPixelsY + 48) / 96;
}

void InitDisplayMetrics(void)
{
    HDC hdc;

    if (g_nLogPixelsX != 0)
        return;

    hdc = GetDC(NULL);
    g_nLogPixelsX = GetDeviceCaps(hdc, LOGPIXELSX);
    g_nLogPixelsY = GetDeviceCaps(hdc, LOGPIXELSY);
    ReleaseDC(NULL, hdc);

    /* A screen that reports no resolution, or one so low that a design unit
       would round to no pixel at all, is taken at the design resolution, so
       that nothing is drawn or hit-tested zero pixels wide. */
    if (g_nLogPixelsX < MIN_LOG_PIXELS || g_nLogPixelsY < MIN_LOG_PIXELS) {
        g_nLogPixelsX = 96;
        g_nLogPixelsY = 96;
    }
}

static void UseSystemColors(void)
{
    g_crThemeBack = GetSysColor(COLOR_HIGHLIGHT);
    g_crThemeFore = GetSysColor(COLOR_HIGHLIGHTTEXT);
}

/* Reads one colour value of exactly four bytes. A shorter value would leave
   bytes that were never read, so it counts as missing. */
static BOOL ReadColor(HKEY hKey, LPCWSTR pszName, COLORREF* pcr)
{
    COLORREF cr = 0;
    DWORD cb = sizeof(cr);

    if (RegQueryValueExW(hKey, pszName, NULL, NULL, (LPBYTE)&cr, &cb) != ERROR_SUCCESS)
        return FALSE;
    if (cb != sizeof(cr))
        return FALSE;
    *pcr = cr;
    return TRUE;
}

void LoadThemeColors(void)
{
    HKEY hKey;
    COLORREF crBack = 0;
    COLORREF crFore = 0;
    COLORREF rgcr[SHCOLOR_ENTRIES];
    DWORD cb;

    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, TEXT("Software\\Microsoft\\Color"), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hKey,
                        NULL) != ERROR_SUCCESS) {
        UseSystemColors();
        return;
    }

    if (ReadColor(hKey, TEXT("8"), &crBack) && ReadColor(hKey, TEXT("9"), &crFore)) {
        g_crThemeBack = crBack;
        g_crThemeFore = crFore;
    } else {
        cb = sizeof(rgcr);
        if (RegQueryValueExW(hKey, TEXT("SHColor"), NULL, NULL, (LPBYTE)rgcr, &cb) == ERROR_SUCCESS &&
            cb >= (SHCOLOR_FORE + 1) * sizeof(COLORREF)) {
            g_crThemeBack = rgcr[SHCOLOR_BACK];
            g_crThemeFore = rgcr[SHCOLOR_FORE];
        } else {
            /* No value, or a table too short to hold entries 8 and 9. */
            UseSystemColors();
        }
    }

    RegCloseKey(hKey);
}

/* The system font in bold, nHeight design units tall (a negative height
   asks for the character height, without the internal leading). */
HFONT CreateScaledBoldFont(int nHeight)
{
    LOGFONTW lf;

    memset(&lf, 0, sizeof(lf));
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf);
    lf.lfHeight = -ScaleY(nHeight);
    lf.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&lf);
}

void CreateBoldFont(void)
{
    g_hBoldFont = CreateScaledBoldFont(MENU_FONT_HEIGHT);
}

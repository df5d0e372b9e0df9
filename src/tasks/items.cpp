/* Owner-drawn task items: the application's icon, its title in the bold
   menu font shortened with "..." to fit, and the close glyph. */
#include "vesk.h"

/* Design sizes of an item, in 96 dpi units. */
#define ITEM_HEIGHT 18
#define ITEM_FIXED_WIDTH 30
#define ICON_SIZE 16
#define ICON_LEFT 2
#define ICON_TOP 1
#define TITLE_INSET 20
#define CLASS_NAME_BUFFER 32

static const WCHAR c_szEllipsis[] = TEXT("...");
#define ELLIPSIS_LENGTH 3

/* Applications whose windows take their icon from a shortcut file rather
   than from their executable. */
static const struct {
    LPCWSTR pszClass;
    LPCWSTR pszFile;
} c_rgIconSources[] = {
    {TEXT("Calendar"), TEXT("\\windows\\calendar.lnk")},
    {TEXT("Tasks Application"), TEXT("\\windows\\tasks.lnk")},
    {TEXT("Contacts"), TEXT("\\windows\\addrbook.lnk")},
    {TEXT("shfind"), TEXT("\\windows\\find.lnk")},
};

static LPCWSTR TitleOf(const TaskEntry* pEntry)
{
    return (pEntry != NULL && pEntry->m_pszTitle != NULL) ? pEntry->m_pszTitle : TEXT("");
}

void MeasureTaskItem(WPARAM wParam, LPARAM lParam)
{
    MEASUREITEMSTRUCT* pmis = (MEASUREITEMSTRUCT*)lParam;
    LPCWSTR pszTitle = TitleOf((const TaskEntry*)pmis->itemData);
    RECT rc;
    HDC hdc;

    (void)wParam;

    /* Measured in the screen's default font, not the bold font. */
    hdc = GetDC(NULL);
    SetRect(&rc, 0, 0, 0, 0);
    DrawTextW(hdc, pszTitle, (int)wcslen(pszTitle), &rc, DT_CALCRECT);
    ReleaseDC(NULL, hdc);

    /* Each term is scaled by itself. */
    pmis->itemWidth = ScaleX(ITEM_FIXED_WIDTH) + ScaleX(ICON_SIZE) + (rc.right - rc.left);
    pmis->itemHeight = ScaleY(ITEM_HEIGHT);
}

/* The file whose icon stands for the window: a shortcut file for a few
   classes, otherwise the executable; NULL when there is neither. */
static LPCWSTR IconSourceFor(LPCWSTR pszClass, LPCWSTR pszExe)
{
    int i;

    for (i = 0; i < (int)(sizeof(c_rgIconSources) / sizeof(c_rgIconSources[0])); i++) {
        if (wcscmp(pszClass, c_rgIconSources[i].pszClass) == 0)
            return c_rgIconSources[i].pszFile;
    }
    return pszExe[0] != 0 ? pszExe : NULL;
}

static void DrawAppIcon(HDC hdc, const TaskEntry* pEntry, const RECT* prc)
{
    HANDLE hProcess;
    WCHAR szPath[MAX_PATH];
    WCHAR szClass[CLASS_NAME_BUFFER];
    SHFILEINFO sfi;
    LPCWSTR pszFile;

    hProcess = OpenProcess(0, FALSE, pEntry->m_dwProcessId);
    if (hProcess == NULL)
        return;

    /* Given a process handle, the platform names the process's executable. */
    szPath[0] = 0;
    if (GetModuleFileNameW((HMODULE)hProcess, szPath, MAX_PATH) == 0)
        szPath[0] = 0;

    memset(&sfi, 0, sizeof(sfi));
    szClass[0] = 0;
    GetClassNameW(pEntry->m_hwnd, szClass, CLASS_NAME_BUFFER);

    pszFile = IconSourceFor(szClass, szPath);
    if (pszFile != NULL && SHGetFileInfo(pszFile, 0, &sfi, sizeof(sfi), SHGFI_ICON) != 0 && sfi.hIcon != NULL) {
        DrawIconEx(hdc, prc->left + ScaleX(ICON_LEFT), prc->top + ScaleY(ICON_TOP), sfi.hIcon, ScaleX(ICON_SIZE),
                   ScaleY(ICON_SIZE), 0, NULL, DI_NORMAL);
        DestroyIcon(sfi.hIcon);
    }

    CloseHandle(hProcess);
}

void DrawTaskItem(WPARAM wParam, LPARAM lParam)
{
    DRAWITEMSTRUCT* pdis = (DRAWITEMSTRUCT*)lParam;
    const TaskEntry* pEntry = (const TaskEntry*)pdis->itemData;
    HDC hdc = pdis->hDC;
    RECT rc = pdis->rcItem;
    RECT rcTitle;
    COLORREF crBack, crText;
    HBRUSH hbr;
    HPEN hpen;
    LPCWSTR pszTitle;
    int nSaved;
    BOOL fDesktop;

    (void)wParam;
    nSaved = SaveDC(hdc);
    /* Without a saved state the brush and pen selected below could not be
       taken out again before they are deleted: draw nothing. */
    if (nSaved == 0)
        return;

    /* Only a state of exactly "selected" is drawn highlighted. */
    if (pdis->itemState == ODS_SELECTED) {
        crBack = GetSysColor(COLOR_HIGHLIGHT);
        crText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else {
        crBack = GetSysColor(COLOR_MENU);
        crText = GetSysColor(COLOR_MENUTEXT);
    }

    hbr = CreateSolidBrush(crBack);
    if (hbr != NULL)
        SelectObject(hdc, hbr);
    hpen = CreatePen(PS_NULL, 0, crBack);
    if (hpen != NULL)
        SelectObject(hdc, hpen);
    Rectangle(hdc, rc.left, rc.top, rc.right, rc.bottom);

    /* An item without an entry stands for no window: its background only. */
    if (pEntry != NULL) {
        fDesktop = pEntry->m_hwnd == g_hwndDesktop;
        if (!fDesktop)
            DrawAppIcon(hdc, pEntry, &rc);

        if (g_hBoldFont != NULL)
            SelectObject(hdc, g_hBoldFont);
        SetTextColor(hdc, crText);
        rcTitle = rc;
        rcTitle.left = rc.left + ScaleX(TITLE_INSET);
        rcTitle.right = rc.right - ScaleX(TITLE_INSET);
        pszTitle = TitleOf(pEntry);
        DrawTextFit(hdc, pszTitle, (int)wcslen(pszTitle), &rcTitle, DT_SINGLELINE | DT_VCENTER);

        if (!fDesktop && g_hCloseIcon != NULL)
            DrawIconEx(hdc, rc.right - ScaleX(CLOSE_GLYPH_WIDTH), rc.top, g_hCloseIcon, ScaleX(ICON_SIZE),
                       ScaleY(ICON_SIZE), 0, NULL, DI_NORMAL);
    }

    RestoreDrawingState(hdc, nSaved);
    if (hbr != NULL)
        DeleteObject(hbr);
    if (hpen != NULL)
        DeleteObject(hpen);
}

/* Width of the first nChars characters of pszText followed by "...",
   measured in the device context's font; the candidate is left in pszBuf. */
static int CandidateWidth(HDC hdc, LPCWSTR pszText, int nChars, LPWSTR pszBuf, const RECT* prc, UINT uFormat)
{
    RECT rcWork;

    memcpy(pszBuf, pszText, nChars * sizeof(WCHAR));
    wcscpy(pszBuf + nChars, c_szEllipsis);
    rcWork = *prc;
    DrawTextW(hdc, pszBuf, nChars + ELLIPSIS_LENGTH, &rcWork, uFormat | DT_CALCRECT);
    return rcWork.right - rcWork.left;
}

int DrawTextFit(HDC hdc, LPCWSTR pszText, int nLength, const RECT* prc, UINT uFormat)
{
    RECT rcWork;
    RECT rcDraw;
    LPWSTR pszBuf;
    int cxBox;
    int nLow, nHigh, nMid, nFit;
    int nResult;

    if (nLength < 0)
        nLength = 0;
    cxBox = prc->right - prc->left;
    rcDraw = *prc;

    /* The whole text fits when it is no wider than the box. */
    rcWork = *prc;
    DrawTextW(hdc, pszText, nLength, &rcWork, uFormat | DT_CALCRECT);
    if (rcWork.right - rcWork.left <= cxBox)
        return DrawTextW(hdc, pszText, nLength, &rcDraw, uFormat);

    pszBuf = new (std::nothrow) WCHAR[nLength + ELLIPSIS_LENGTH + 1];
    if (pszBuf == NULL) {
        /* No room to shorten the text: the dots alone say it is cut. */
        return DrawTextW(hdc, c_szEllipsis, ELLIPSIS_LENGTH, &rcDraw, uFormat);
    }

    /* The longest prefix whose candidate is narrower than the box. On one
       line a longer prefix is never narrower, so halving the range finds the
       same prefix as trying every length from the longest down, with a
       logarithmic number of measurements. Over several lines it can be: a
       prefix that ends a line is narrower than one cut inside it with the
       dots after, so there every length is tried from the longest down.
       None fits: "..." alone. */
    nFit = -1;
    if (uFormat & DT_SINGLELINE) {
        nLow = 0;
        nHigh = nLength;
        while (nLow <= nHigh) {
            nMid = nLow + (nHigh - nLow) / 2;
            if (CandidateWidth(hdc, pszText, nMid, pszBuf, prc, uFormat) < cxBox) {
                nFit = nMid;
                nLow = nMid + 1;
            } else {
                nHigh = nMid - 1;
            }
        }
    } else {
        for (nMid = nLength; nMid >= 0 && nFit < 0; nMid--) {
            if (CandidateWidth(hdc, pszText, nMid, pszBuf, prc, uFormat) < cxBox)
                nFit = nMid;
        }
    }
    if (nFit < 0)
        nFit = 0;
    /* A character beyond the first 65,536 is a pair of units, a high then a
       low surrogate; cut between them, the high half would be drawn alone
       before the dots. The cut moves before the pair. */
    if (nFit > 0 && nFit < nLength && pszText[nFit - 1] >= 0xD800 && pszText[nFit - 1] <= 0xDBFF &&
        pszText[nFit] >= 0xDC00 && pszText[nFit] <= 0xDFFF)
        nFit--;

    memcpy(pszBuf, pszText, nFit * sizeof(WCHAR));
    wcscpy(pszBuf + nFit, c_szEllipsis);
    nResult = DrawTextW(hdc, pszBuf, (int)wcslen(pszBuf), &rcDraw, uFormat);
    delete[] pszBuf;
    return nResult;
}

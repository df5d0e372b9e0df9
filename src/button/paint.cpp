/* The button's face: a rectangle in the theme's background colour, a dot
   over the edge of the menu strip, and, unless the desktop is in front, a
   disc carrying "ok" or a drawn cross for the window in front. */
#include "vesk.h"

/* Below this horizontal resolution the compact layout is used. */
#define COMPACT_SCREEN_WIDTH 130

/* Design sizes of the face, in 96 dpi units. */
#define DOT_TOP 9
#define DOT_SIZE 7
#define DOT_SIZE_COMPACT 8
#define DOT_INSET 3 /* device pixels */
#define DISC_RIGHT 1
#define DISC_TOP 5
#define DISC_SIZE 16
#define DISC_SIZE_COMPACT 17
#define CROSS_INSET 4
#define CROSS_HALF_BAR 2
#define OK_FONT_HEIGHT 10

/* The objects one paint creates, deleted together once the device
   context's state has been restored. */
typedef struct tagPAINTOBJECTS {
    HPEN hpenNull;
    HPEN hpenGlyph;
    HBRUSH hbrFace;
    HBRUSH hbrDot;
    HBRUSH hbrDisc;
    HFONT hfontOk;
} PAINTOBJECTS;

BOOL DrawLine(HDC hdc, int x1, int y1, int x2, int y2)
{
    POINT rgpt[2];

    rgpt[0].x = x1;
    rgpt[0].y = y1;
    rgpt[1].x = x2;
    rgpt[1].y = y2;
    return Polyline(hdc, rgpt, 2);
}

static HBRUSH SelectNewBrush(HDC hdc, COLORREF cr)
{
    HBRUSH hbr = CreateSolidBrush(cr);

    if (hbr != NULL)
        SelectObject(hdc, hbr);
    return hbr;
}

static void DrawDot(HDC hdc, const RECT* prc, int xFace, BOOL fCompact)
{
    int x, y, cx;

    y = prc->top + ScaleY(DOT_TOP);
    if (fCompact) {
        x = xFace;
        cx = ScaleX(DOT_SIZE_COMPACT);
    } else {
        x = xFace + DOT_INSET;
        cx = ScaleX(DOT_SIZE);
    }
    /* A circle of the horizontal scale. */
    Ellipse(hdc, x, y, x + cx, y + cx);
}

static void GetDiscRect(const RECT* prc, BOOL fCompact, RECT* prcDisc)
{
    int n = fCompact ? DISC_SIZE_COMPACT : DISC_SIZE;

    prcDisc->right = prc->right - ScaleX(DISC_RIGHT);
    prcDisc->top = prc->top + ScaleY(DISC_TOP);
    prcDisc->left = prcDisc->right - ScaleX(n);
    prcDisc->bottom = prcDisc->top + ScaleY(n);
}

/* "ok" in bold, centred in the disc. */
static void DrawOk(HDC hdc, const RECT* prcDisc, BOOL fCompact, COLORREF crGlyph, PAINTOBJECTS* pobj)
{
    RECT rc;

    pobj->hfontOk = CreateScaledBoldFont(OK_FONT_HEIGHT);
    if (pobj->hfontOk != NULL)
        SelectObject(hdc, pobj->hfontOk);

    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, crGlyph);

    rc = *prcDisc;
    rc.bottom -= ScaleY(1);
    if (!fCompact) {
        rc.left -= 1;
        rc.right -= 1;
    }
    DrawTextW(hdc, TEXT("ok"), 2, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

/* Two diagonals, each 2 * ScaleX(2) - 1 lines thick. Every end point lies
   one pixel beyond the last pixel to be painted: the platform leaves a
   line's last point out. */
static void DrawCross(HDC hdc, const RECT* prcDisc, COLORREF crGlyph, PAINTOBJECTS* pobj)
{
    int cl, ct, cr, cb, i;

    pobj->hpenGlyph = CreatePen(PS_SOLID, 1, crGlyph);
    if (pobj->hpenGlyph != NULL)
        SelectObject(hdc, pobj->hpenGlyph);

    cl = prcDisc->left + ScaleX(CROSS_INSET);
    ct = prcDisc->top + ScaleY(CROSS_INSET);
    cr = prcDisc->right - ScaleX(CROSS_INSET) - 1;
    cb = prcDisc->bottom - ScaleY(CROSS_INSET) - 1;

    DrawLine(hdc, cl, ct, cr + 1, cb + 1);
    DrawLine(hdc, cr, ct, cl - 1, cb + 1);
    for (i = 1; i < ScaleX(CROSS_HALF_BAR); i++) {
        DrawLine(hdc, cl, ct + i, cr - i + 1, cb + 1);
        DrawLine(hdc, cl + i, ct, cr + 1, cb - i + 1);
        DrawLine(hdc, cr - i, ct, cl - 1, cb - i + 1);
        DrawLine(hdc, cr, ct + i, cl + i - 1, cb + 1);
    }
}

/* The disc and its glyph for the window in front. Pressed, the disc takes
   the face's colour and only the glyph stands out. */
static void DrawDisc(HDC hdc, const RECT* prc, BOOL fCompact, HWND hwndFront, PAINTOBJECTS* pobj)
{
    RECT rcDisc;
    COLORREF crDisc, crGlyph;

    crDisc = g_bPressed ? g_crThemeBack : g_crThemeFore;
    crGlyph = g_bPressed ? g_crThemeFore : g_crThemeBack;

    GetDiscRect(prc, fCompact, &rcDisc);
    pobj->hbrDisc = SelectNewBrush(hdc, crDisc);
    Ellipse(hdc, rcDisc.left, rcDisc.top, rcDisc.right, rcDisc.bottom);

    if ((DWORD)GetWindowLongW(hwndFront, GWL_EXSTYLE) & WS_EX_CAPTIONOKBTN)
        DrawOk(hdc, &rcDisc, fCompact, crGlyph, pobj);
    else
        DrawCross(hdc, &rcDisc, crGlyph, pobj);
}

static void DeleteIfCreated(HGDIOBJ hobj)
{
    if (hobj != NULL)
        DeleteObject(hobj);
}

static void DeletePaintObjects(PAINTOBJECTS* pobj)
{
    DeleteIfCreated(pobj->hpenNull);
    DeleteIfCreated(pobj->hpenGlyph);
    DeleteIfCreated(pobj->hbrFace);
    DeleteIfCreated(pobj->hbrDot);
    DeleteIfCreated(pobj->hbrDisc);
    DeleteIfCreated(pobj->hfontOk);
}

/* Puts back the state saved by SaveDC. Should that fail, the stock pen,
   brush and font are selected instead, so that none of the caller's own
   objects is still selected when it deletes them. */
void RestoreDrawingState(HDC hdc, int nSaved)
{
    if (RestoreDC(hdc, nSaved))
        return;
    SelectObject(hdc, GetStockObject(BLACK_PEN));
    SelectObject(hdc, GetStockObject(WHITE_BRUSH));
    SelectObject(hdc, GetStockObject(SYSTEM_FONT));
}

void PaintButton(HWND hwnd)
{
    PAINTSTRUCT ps;
    PAINTOBJECTS obj;
    HDC hdc;
    int nSaved;
    RECT rc;
    int xFace;
    BOOL fCompact;
    HWND hwndFront;

    memset(&obj, 0, sizeof(obj));
    hdc = BeginPaint(hwnd, &ps);
    nSaved = SaveDC(hdc);
    if (nSaved == 0) {
        /* Without a saved state the objects selected below could not be
           taken out again before they are deleted: draw nothing. */
        EndPaint(hwnd, &ps);
        return;
    }

    memset(&rc, 0, sizeof(rc));
    GetClientRect(hwnd, &rc);

    /* The face and both ellipses are filled without an outline. */
    obj.hpenNull = CreatePen(PS_NULL, 1, 0);
    if (obj.hpenNull != NULL)
        SelectObject(hdc, obj.hpenNull);

    /* A theme changed in the registry shows at the next paint. */
    LoadThemeColors();

    fCompact = GetDeviceCaps(hdc, HORZRES) < COMPACT_SCREEN_WIDTH;
    xFace = rc.right - ScaleX(BUTTON_WIDTH);

    /* A null-pen rectangle stops one pixel short of its box's right and
       bottom edges: the box reaches one pixel past the client area, so that
       the face covers all of it (the background is never erased). */
    obj.hbrFace = SelectNewBrush(hdc, g_crThemeBack);
    Rectangle(hdc, xFace, rc.top, rc.right + 1, rc.bottom + 1);

    obj.hbrDot = SelectNewBrush(hdc, g_crThemeFore);
    DrawDot(hdc, &rc, xFace, fCompact);

    /* With the desktop in front there is nothing to close: no disc. */
    hwndFront = GetForegroundWindow();
    if (hwndFront != g_hwndDesktop)
        DrawDisc(hdc, &rc, fCompact, hwndFront, &obj);

    /* Restoring the state takes every object out of the device context
       before any of them is deleted. */
    RestoreDrawingState(hdc, nSaved);
    DeletePaintObjects(&obj);
    EndPaint(hwnd, &ps);
}

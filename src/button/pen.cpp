/* Pen strokes on the button: a tap on the menu strip opens the task menu, a
   tap on the close zone closes the application in front, and a quick stroke
   from the close zone down onto the screen minimizes it. */
#include "vesk.h"

int g_bPressed = 0;
int g_bMenuZone = 0;

/* How far below the button a downward stroke must be lifted. */
#define DRAG_DOWN_DISTANCE 30

/* The zones of the button, from its client rectangle. */
typedef struct tagZONES {
    BOOL fKnown; /* FALSE: the client rectangle could not be read */
    RECT rc;
    int xStrip; /* right edge of the menu strip, inclusive */
    int xFace;  /* left edge of the face */
} ZONES;

/* Without the client rectangle the zones are unknown, and no point lies in
   any of them: a pen stroke then acts on nothing. */
static void GetZones(HWND hwnd, ZONES* pz)
{
    memset(&pz->rc, 0, sizeof(pz->rc));
    pz->fKnown = GetClientRect(hwnd, &pz->rc);
    pz->xFace = pz->rc.right - ScaleX(BUTTON_WIDTH);
    pz->xStrip = pz->xFace + ScaleX(MENU_STRIP_WIDTH);
}

/* The right and bottom edges, one pixel outside the client area, count as
   inside: a pen lifted on the edge is still on the button. */
static BOOL InMenuStrip(const ZONES* pz, int x, int y)
{
    return pz->fKnown && x >= pz->xFace && x <= pz->xStrip && y >= pz->rc.top && y <= pz->rc.bottom;
}

static BOOL InCloseColumn(const ZONES* pz, int x)
{
    return pz->fKnown && x > pz->xStrip && x <= pz->rc.right;
}

static BOOL InCloseZone(const ZONES* pz, int x, int y)
{
    return InCloseColumn(pz, x) && y >= pz->rc.top && y <= pz->rc.bottom;
}

static BOOL InDragDownArea(const ZONES* pz, int x, int y)
{
    return InCloseColumn(pz, x) && y >= pz->rc.bottom + ScaleY(DRAG_DOWN_DISTANCE);
}

static void Repaint(HWND hwnd)
{
    InvalidateRect(hwnd, NULL, TRUE);
}

/* Ends a press: the face is drawn released and the pen is free again. */
static void EndPress(HWND hwnd)
{
    ReleaseCapture();
    g_bPressed = 0;
    Repaint(hwnd);
    KillTimer(g_hwndButton, ID_PRESS_TIMER);
}

LRESULT OnPenDown(HWND hwnd, int x, int y, UINT keys)
{
    ZONES z;

    (void)keys;
    SetCapture(g_hwndButton);

    GetZones(hwnd, &z);
    if (InMenuStrip(&z, x, y)) {
        g_bMenuZone = 1;
    } else {
        g_bPressed = 1;
        Repaint(hwnd);
        g_bMenuZone = 0;
        SetTimer(g_hwndButton, ID_PRESS_TIMER, PRESS_TIMEOUT, NULL);
    }
    return 0;
}

LRESULT OnPenMove(HWND hwnd, int x, int y, UINT keys)
{
    ZONES z;

    (void)y;
    (void)keys;
    GetZones(hwnd, &z);

    /* A stroke from the strip loses the capture at its first move; a press
       ends when the pen strays sideways out of the close column. Downwards
       the pen may leave the button: the press and the capture stay. */
    if (g_bMenuZone || !InCloseColumn(&z, x))
        EndPress(hwnd);
    return 0;
}

/* Applies fn to the window in front, unless the desktop is in front. */
static void ActOnFront(void (*fn)(HWND))
{
    HWND hwnd = GetForegroundWindow();

    if (hwnd != NULL && hwnd != g_hwndDesktop)
        fn(hwnd);
}

LRESULT OnPenUp(HWND hwnd, int x, int y, UINT keys)
{
    ZONES z;

    (void)keys;
    g_bPressed = 0;
    Repaint(hwnd);
    ReleaseCapture();

    GetZones(hwnd, &z);
    if (g_bMenuZone) {
        if (InMenuStrip(&z, x, y))
            RunTaskMenu();
    } else if (InCloseZone(&z, x, y)) {
        ActOnFront(CloseTaskWindow);
    } else if (InDragDownArea(&z, x, y)) {
        ActOnFront(MinimizeWindow);
    }
    return 0;
}

/* A press held too long is no tap: it ends where it is. */
LRESULT OnPressTimer(HWND hwnd)
{
    EndPress(hwnd);
    return 0;
}

// Painting: the invalid area of each window, WM_PAINT's BeginPaint and
// EndPaint, and the device contexts of windows and of the screen.
#include <algorithm>

#include "core.h"
#include "gdi.h"
#include "window.h"

namespace sim {

void Invalidate(Window* w, const RECT* rc, bool erase) {
    SIZE size = ClientSize(w);
    RECT client{0, 0, size.cx, size.cy};
    RECT r = rc ? *rc : client;
    r.left = std::max(r.left, client.left);
    r.top = std::max(r.top, client.top);
    r.right = std::min(r.right, client.right);
    r.bottom = std::min(r.bottom, client.bottom);
    if (r.left >= r.right || r.top >= r.bottom) return;
    if (w->has_update) {
        w->update.left = std::min(w->update.left, r.left);
        w->update.top = std::min(w->update.top, r.top);
        w->update.right = std::max(w->update.right, r.right);
        w->update.bottom = std::max(w->update.bottom, r.bottom);
    } else {
        w->update = r;
        w->has_update = true;
    }
    w->erase = w->erase || erase;
}

void InvalidateTree(Window* w) {
    Invalidate(w, nullptr, true);
    for (HWND c : w->children)
        if (Window* cw = WinOf(c)) InvalidateTree(cw);
}

}  // namespace sim

using namespace sim;

extern "C" {

// ---------------------------------------------------------------------------
// Painting

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rc, BOOL erase) {
    SIM_API("InvalidateRect");
    if (SIM_FAIL()) return FALSE;
    if (!hwnd) {
        // As on the platform: no window means every window on the screen.
        for (HWND h : M().zorder)
            if (Window* w = WinOf(h)) InvalidateTree(w);
        return TRUE;
    }
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    Invalidate(w, rc, erase != FALSE);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT*) {
    SIM_API("ValidateRect");
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    w->has_update = false;
    w->erase = false;
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rc, BOOL) {
    SIM_API("GetUpdateRect");
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    if (rc) *rc = w->has_update ? w->update : RECT{0, 0, 0, 0};
    return w->has_update;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    SIM_API("UpdateWindow");
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    if (w->has_update && IsShown(w)) CallProc(w, w->proc, WM_PAINT, 0, 0);
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    SIM_API("BeginPaint");
    Window* w = CheckWindow(hwnd);
    if (!w || !ps) return nullptr;
    if (SIM_FAIL()) {
        // The update region goes all the same: a window whose every paint
        // fails must not be sent WM_PAINT for ever.
        w->has_update = false;
        w->erase = false;
        *ps = PAINTSTRUCT{};
        return nullptr;
    }
    RECT clip = w->has_update ? w->update : RECT{0, 0, 0, 0};
    bool erase = w->erase;
    w->has_update = false;
    w->erase = false;
    HDC dc = gdi::NewDC(hwnd, clip);
    *ps = PAINTSTRUCT{};
    ps->hdc = dc;
    ps->rcPaint = clip;
    ps->fErase = FALSE;
    if (erase && dc) ps->fErase = CallProc(w, w->proc, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    return dc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    SIM_API("EndPaint");
    (void)hwnd;
    if (!ps || !ps->hdc) return FALSE;
    return gdi::FreeDC(ps->hdc);
}

HDC WINAPI GetDC(HWND hwnd) {
    SIM_API("GetDC");
    if (SIM_FAIL()) return nullptr;
    Machine& m = M();
    if (!hwnd) return gdi::NewDC(nullptr, RECT{0, 0, m.width, m.height});
    Window* w = CheckWindow(hwnd);
    if (!w) return nullptr;
    SIZE client = ClientSize(w);
    return gdi::NewDC(hwnd, RECT{0, 0, client.cx, client.cy});
}

int WINAPI ReleaseDC(HWND, HDC dc) {
    SIM_API("ReleaseDC");
    if (SIM_FAIL()) return 0;
    return gdi::FreeDC(dc) ? 1 : 0;
}
}  // extern "C"

// Where windows are and whether they show: ShowWindow, SetWindowPos and
// their kin, window and client rectangles, and the window under a point.
#include <algorithm>
#include <functional>

#include "core.h"
#include "window.h"

namespace sim {

HWND WindowAt(POINT pt) {
    std::function<HWND(HWND)> deepest = [&](HWND h) -> HWND {
        Window* w = WinOf(h);
        for (HWND c : w->children) {
            Window* cw = WinOf(c);
            if (cw && (cw->style & WS_VISIBLE) && pt.x >= cw->rect.left && pt.x < cw->rect.right &&
                pt.y >= cw->rect.top && pt.y < cw->rect.bottom)
                return deepest(c);
        }
        return h;
    };
    for (HWND h : M().zorder) {
        Window* w = WinOf(h);
        if (w && (w->style & WS_VISIBLE) && pt.x >= w->rect.left && pt.x < w->rect.right && pt.y >= w->rect.top &&
            pt.y < w->rect.bottom)
            return deepest(h);
    }
    return nullptr;
}

}  // namespace sim

using namespace sim;

extern "C" {

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    SIM_API("ShowWindow");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Machine& m = M();
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    BOOL was_visible = (w->style & WS_VISIBLE) != 0;
    switch (cmd) {
    case SW_HIDE:
        if (!was_visible) break;
        w->style &= ~WS_VISIBLE;
        if (w->parent) {
            if (Window* p = WinOf(w->parent)) Invalidate(p, nullptr, true);
        }
        if (Logged(w)) Log("hidden " + NameOf(hwnd));
        if (m.foreground == hwnd) ActivateNext();
        break;
    case SW_MINIMIZE:
        // On the Pocket PC a minimized window goes behind every other window,
        // keeps running, stays visible to the task list, and the next window
        // in the z-order takes the foreground.
        if (w->parent) break;
        MoveToBottom(hwnd);
        if (Logged(w)) Log("minimized " + NameOf(hwnd));
        if (m.foreground == hwnd || m.foreground == nullptr) ActivateNext();
        if (Window* t = WinOf(m.taskbar)) Invalidate(t, nullptr, true);
        break;
    default: {
        bool activate = cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWNA;
        if (!was_visible) {
            w->style |= WS_VISIBLE;
            InvalidateTree(w);
            if (Logged(w)) Log("shown " + NameOf(hwnd));
        }
        if (!w->parent && activate) {
            BringToTop(hwnd);
            if (!w->system && hwnd != m.taskbar) SetForeground(hwnd);
        }
        break;
    }
    }
    return was_visible;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    SIM_API("SetWindowPos");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Machine& m = M();
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    bool resized = false, moved = false;
    if (!(flags & SWP_NOMOVE) || !(flags & SWP_NOSIZE)) {
        RECT r = w->rect;
        int width = r.right - r.left, height = r.bottom - r.top;
        if (!(flags & SWP_NOMOVE)) {
            POINT o{0, 0};
            if (w->parent)
                if (Window* p = WinOf(w->parent)) o = ClientOrigin(p);
            r.left = o.x + x;
            r.top = o.y + y;
        }
        if (!(flags & SWP_NOSIZE)) {
            width = std::max(cx, 0);
            height = std::max(cy, 0);
        }
        r.right = r.left + width;
        r.bottom = r.top + height;
        resized = width != w->rect.right - w->rect.left || height != w->rect.bottom - w->rect.top;
        int dx = r.left - w->rect.left, dy = r.top - w->rect.top;
        moved = dx || dy;
        w->rect = r;
        SIZE client = ClientSize(w);
        if (w->surface.width != client.cx || w->surface.height != client.cy) w->surface.Resize(client.cx, client.cy);
        if (dx || dy) {
            std::function<void(Window*)> shift = [&](Window* p) {
                for (HWND c : p->children)
                    if (Window* cw = WinOf(c)) {
                        OffsetRect(&cw->rect, dx, dy);
                        shift(cw);
                    }
            };
            shift(w);
        }
        InvalidateTree(w);
    }
    if (!(flags & SWP_NOZORDER)) {
        if (after == HWND_BOTTOM) {
            MoveToBottom(hwnd);
        } else if (after == HWND_TOPMOST) {
            if (!w->parent) w->exstyle |= WS_EX_TOPMOST;
            BringToTop(hwnd);
        } else if (after == HWND_NOTOPMOST) {
            if (!w->parent) w->exstyle &= ~WS_EX_TOPMOST;
            BringToTop(hwnd);
        } else if (after == HWND_TOP) {
            BringToTop(hwnd);
        } else if (Window* a = WinOf(after); a && a != w) {
            auto& list = SiblingsOf(w);
            list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
            auto pos = std::find(list.begin(), list.end(), after);
            list.insert(pos == list.end() ? list.end() : pos + 1, hwnd);
        }
        if (w->parent) {
            if (Window* p = WinOf(w->parent)) Invalidate(p, nullptr, true);
        }
    }
    if (flags & SWP_HIDEWINDOW) {
        if (w->style & WS_VISIBLE) {
            w->style &= ~WS_VISIBLE;
            if (Logged(w)) Log("hidden " + NameOf(hwnd));
        }
        if (m.foreground == hwnd) ActivateNext();
    } else if (flags & SWP_SHOWWINDOW) {
        if (!(w->style & WS_VISIBLE)) {
            w->style |= WS_VISIBLE;
            InvalidateTree(w);
            if (Logged(w)) Log("shown " + NameOf(hwnd));
        }
    }
    if (!(flags & SWP_NOZORDER) && !w->parent && after == HWND_BOTTOM && m.foreground == hwnd) ActivateNext();
    // A window that moved or took a new size is told so in a WINDOWPOS; its
    // default procedure passes that on as WM_SIZE and WM_MOVE.
    if (Window* now = WinOf(hwnd); now && (resized || moved)) {
        POINT o{now->rect.left, now->rect.top};
        if (Window* p = WinOf(now->parent)) {
            POINT po = ClientOrigin(p);
            o.x -= po.x;
            o.y -= po.y;
        }
        WINDOWPOS pos{hwnd,  after, static_cast<int>(o.x), static_cast<int>(o.y), now->rect.right - now->rect.left,
                      now->rect.bottom - now->rect.top,
                      flags | (resized ? 0u : kNoClientSize) | (moved ? 0u : kNoClientMove)};
        SendTo(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    }
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rc) {
    SIM_API("GetWindowRect");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Window* w = CheckWindow(hwnd);
    if (!w || !rc) return FALSE;
    *rc = w->rect;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rc) {
    SIM_API("GetClientRect");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Window* w = CheckWindow(hwnd);
    if (!w || !rc) return FALSE;
    SIZE client = ClientSize(w);
    *rc = RECT{0, 0, client.cx, client.cy};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT pt) {
    SIM_API("ClientToScreen");
    Window* w = CheckWindow(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = ClientOrigin(w);
    pt->x += o.x;
    pt->y += o.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT pt) {
    SIM_API("ScreenToClient");
    Window* w = CheckWindow(hwnd);
    if (!w || !pt) return FALSE;
    POINT o = ClientOrigin(w);
    pt->x -= o.x;
    pt->y -= o.y;
    return TRUE;
}

HWND WINAPI WindowFromPoint(POINT pt) {
    SIM_API("WindowFromPoint");
    return WindowAt(pt);
}

}  // extern "C"

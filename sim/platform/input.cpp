// The pen: the window under it, or the capture window, receives the pen
// messages in its client coordinates, packed into 16 bits each as the
// platform packs them. A pen-down on a window of another application brings
// that application to the front, as the shell does.
#include "core.h"

namespace sim {

namespace {

HWND Target(POINT pt) {
    Machine& m = M();
    if (m.capture && WinOf(m.capture)) return m.capture;
    return WindowAt(pt);
}

void Deliver(UINT msg, WPARAM keys) {
    Machine& m = M();
    HWND target = Target(m.pen);
    if (!target) return;
    Window* w = WinOf(target);
    POINT o = ClientOrigin(w);
    SIZE client = ClientSize(w);
    // On a window's frame the pen is outside its client area: no client
    // message, unless the window holds the pen.
    bool on_frame = m.pen.x < o.x || m.pen.y < o.y || m.pen.x >= o.x + client.cx || m.pen.y >= o.y + client.cy;
    if (on_frame && target != m.capture) return;
    LPARAM lp = MAKELPARAM(m.pen.x - o.x, m.pen.y - o.y);
    MSG q{target, msg, keys, lp, static_cast<DWORD>(m.now), m.pen};
    w->thread->posted.push_back(Thread::Queued{q, 0});
}

void ActivateUnderPen() {
    Machine& m = M();
    if (m.capture) return;
    HWND target = WindowAt(m.pen);
    if (!target) return;
    HWND top = TopLevelOf(target);
    Window* w = WinOf(top);
    if (!w || w->system || top == m.taskbar || (w->exstyle & (WS_EX_TOPMOST | WS_EX_NOACTIVATE))) return;
    if (m.foreground == top) return;
    BringToTop(top);
    SetForeground(top);
}

}  // namespace

void PenDown(int x, int y) {
    Machine& m = M();
    m.pen = POINT{x, y};
    m.pen_down = true;
    ActivateUnderPen();
    Deliver(WM_LBUTTONDOWN, MK_LBUTTON);
    RunUntilIdle();
}

void PenMove(int x, int y) {
    Machine& m = M();
    m.pen = POINT{x, y};
    // A touch screen has no hover: moves exist only while the pen is down.
    if (!m.pen_down) return;
    Deliver(WM_MOUSEMOVE, MK_LBUTTON);
    RunUntilIdle();
}

void PenUp(int x, int y) {
    Machine& m = M();
    m.pen = POINT{x, y};
    m.pen_down = false;
    Deliver(WM_LBUTTONUP, 0);
    RunUntilIdle();
    // The stroke is over even when its pen-up did not reach the popup that
    // stayed to swallow it (its thread released the capture meanwhile).
    DropLeftovers();
}

}  // namespace sim

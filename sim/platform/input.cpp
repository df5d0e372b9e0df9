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
    LPARAM lp = MAKELPARAM(m.pen.x - w->rect.left, m.pen.y - w->rect.top);
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

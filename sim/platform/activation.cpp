// Z-order, activation and focus: which top-level window is in front, which
// one the platform activates when the foreground goes away, and the focus.
#include <algorithm>

#include "core.h"
#include "window.h"

namespace sim {

namespace {

void Notify1024() {
    Machine& m = M();
    if (!m.taskbar || !m.shell || m.shell->threads.empty()) return;
    RunAs(m.shell->threads.front(), [&] { return PostTo(m.taskbar, WM_USER, 0, 0); });
}

}  // namespace

std::vector<HWND>& SiblingsOf(Window* w) {
    if (w->parent) {
        if (Window* p = WinOf(w->parent)) return p->children;
    }
    return M().zorder;
}

void Unlink(Window* w) {
    auto& list = SiblingsOf(w);
    list.erase(std::remove(list.begin(), list.end(), w->hwnd()), list.end());
}

bool IsTopmost(HWND h) {
    Window* w = WinOf(h);
    return w && (w->exstyle & WS_EX_TOPMOST);
}
void BringToTop(HWND hwnd) {
    Window* w = WinOf(hwnd);
    if (!w) return;
    auto& list = SiblingsOf(w);
    list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
    auto pos = list.begin();
    if (!(w->exstyle & WS_EX_TOPMOST))
        while (pos != list.end() && IsTopmost(*pos)) ++pos;
    list.insert(pos, hwnd);
}

void MoveToBottom(HWND hwnd) {
    Window* w = WinOf(hwnd);
    if (!w) return;
    auto& list = SiblingsOf(w);
    list.erase(std::remove(list.begin(), list.end(), hwnd), list.end());
    if (w->exstyle & WS_EX_TOPMOST) {
        auto pos = list.begin();
        while (pos != list.end() && IsTopmost(*pos)) ++pos;
        list.insert(pos, hwnd);
    } else {
        list.push_back(hwnd);
    }
}

void SetForeground(HWND hwnd) {
    Machine& m = M();
    if (m.foreground == hwnd) return;
    m.foreground = hwnd;
    Log("foreground " + NameOf(hwnd));
    if (Window* t = WinOf(m.taskbar)) Invalidate(t, nullptr, true);
    Notify1024();
}

// The platform activates the first shown, enabled top-level window that can
// take the foreground; the taskbar and the platform's own windows never do.
void ActivateNext() {
    Machine& m = M();
    for (HWND h : m.zorder) {
        Window* w = WinOf(h);
        if (!w || w->system || h == m.taskbar || (w->exstyle & WS_EX_NOACTIVATE)) continue;
        if (!(w->style & WS_VISIBLE) || !w->enabled) continue;
        SetForeground(h);
        return;
    }
    SetForeground(nullptr);
}

}  // namespace sim

using namespace sim;

extern "C" {

HWND WINAPI GetForegroundWindow(void) {
    SIM_API("GetForegroundWindow");
    // No window is in front for a moment while the shell switches.
    if (SIM_FAIL()) return nullptr;
    return M().foreground;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    SIM_API("SetForegroundWindow");
    if (SIM_FAIL()) return FALSE;
    if (!CheckWindow(hwnd)) return FALSE;
    HWND top = TopLevelOf(hwnd);
    Window* w = WinOf(top);
    if (w->system || top == M().taskbar) return FALSE;
    BringToTop(top);
    SetForeground(top);
    return TRUE;
}

HWND WINAPI GetActiveWindow(void) {
    SIM_API("GetActiveWindow");
    Machine& m = M();
    Window* w = WinOf(m.foreground);
    return w && w->thread == CurrentThread() ? m.foreground : nullptr;
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
    HWND old = GetActiveWindow();
    SetForegroundWindow(hwnd);
    return old;
}

HWND WINAPI GetFocus(void) {
    SIM_API("GetFocus");
    return M().focus;
}

HWND WINAPI SetFocus(HWND hwnd) {
    SIM_API("SetFocus");
    HWND old = M().focus;
    if (hwnd && !CheckWindow(hwnd)) return nullptr;
    M().focus = hwnd;
    return old;
}
}  // extern "C"

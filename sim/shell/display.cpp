// The screen turns or takes a new size, as on a Pocket PC whose screen is
// rotated: the shell lays its taskbar and desktop out again across the new
// width, full-screen application windows are resized to the new screen and
// get WM_SIZE, then every top-level window gets WM_SETTINGCHANGE with
// SETTINGCHANGE_RESET. Child windows are told nothing, even when their
// parent was resized. The dpi stays what it was.
#include <sim/host_api.h>

#include <algorithm>

#include "core.h"
#include "shell.h"

namespace sim::shell {

namespace {

// A full-screen window reaches the left, top and right edges of the work
// area (the screen below the taskbar) or beyond them.
bool FullScreen(const RECT& r, int width, int work_top) {
    return r.left <= 0 && r.top <= work_top && r.right >= width;
}

}  // namespace

void ChangeDisplay(int width, int height) {
    Machine& m = M();
    const int old_width = m.width, old_height = m.height;
    const int bar = m.taskbar ? m.taskbar_height : 0;

    std::vector<HWND> top_level, full_screen;
    for (HWND h : m.zorder) {
        Window* w = WinOf(h);
        if (!w || w->system) continue;
        top_level.push_back(h);
        if (h != m.taskbar && h != m.desktop && FullScreen(w->rect, old_width, bar)) full_screen.push_back(h);
    }

    m.width = width;
    m.height = height;
    Log("display " + std::to_string(width) + " " + std::to_string(height));

    // A popup menu was laid out for the old screen and may now stand off
    // it: the platform ends its tracking, as EndMenu does.
    RunAs(m.shell->threads.front(), [&] {
        EndMenu();
        constexpr UINT kKeep = SWP_NOZORDER | SWP_NOACTIVATE;
        if (m.taskbar) SetWindowPos(m.taskbar, nullptr, 0, 0, width, bar, kKeep);
        if (m.desktop) SetWindowPos(m.desktop, nullptr, 0, bar, width, std::max(height - bar, 0), kKeep);
        for (HWND h : full_screen) {
            Window* w = WinOf(h);
            if (!w) continue;
            // The edges on the old screen's right and bottom edges follow them.
            RECT r = w->rect;
            r.right = width;
            if (r.bottom >= old_height) r.bottom = height;
            SetWindowPos(h, nullptr, r.left, r.top, std::max<int>(r.right - r.left, 0),
                         std::max<int>(r.bottom - r.top, 0), kKeep);
        }
        for (HWND h : top_level)
            if (WinOf(h)) SendTo(h, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
        return 0;
    });
    RunUntilIdle();
}

}  // namespace sim::shell

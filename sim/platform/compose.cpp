// The screen: every shown window's surface, back to front, children over
// their parents.
#include "core.h"
#include "gdi.h"

namespace sim {

namespace {

void Paint(Surface& screen, HWND h) {
    Window* w = WinOf(h);
    if (!w || !(w->style & WS_VISIBLE)) return;
    // A dialog frame: its outer ring in the window-frame colour, the rest in
    // the face colour; a border: one ring in the window-frame colour.
    SIZE f = FrameOf(w);
    if (f.cx > 0 || f.cy > 0) {
        screen.Fill(w->rect, gdi::SysColor(COLOR_WINDOWFRAME));
        if (f.cx > 1 || f.cy > 1)
            screen.Fill(RECT{w->rect.left + 1, w->rect.top + 1, w->rect.right - 1, w->rect.bottom - 1},
                        gdi::SysColor(COLOR_BTNFACE));
    }
    POINT o = ClientOrigin(w);
    screen.Blit(w->surface, o.x, o.y);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) Paint(screen, *it);
}

}  // namespace

Surface Compose() {
    Machine& m = M();
    Surface screen;
    screen.Resize(m.width, m.height, 0);
    for (auto it = m.zorder.rbegin(); it != m.zorder.rend(); ++it) Paint(screen, *it);
    return screen;
}

}  // namespace sim

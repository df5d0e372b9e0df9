// The screen: every shown window's surface, back to front, children over
// their parents.
#include "core.h"

namespace sim {

namespace {

void Paint(Surface& screen, HWND h) {
    Window* w = WinOf(h);
    if (!w || !(w->style & WS_VISIBLE)) return;
    screen.Blit(w->surface, w->rect.left, w->rect.top);
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

// What a tracked popup menu shows: its items drawn (owner-drawn ones by
// their owner), the highlight, the scroll arrows; the event log's lines of
// an opened menu; and the driver's view of the popup on the screen.
#include <algorithm>

#include "gdi.h"
#include "menu_track.h"
#include "text.h"

namespace sim {

namespace track {

// ---------------------------------------------------------------------------
// Drawing

RECT Inner(const Window& popup) {
    Machine& m = M();
    return RECT{m.ScaleX(kBorder), m.ScaleY(kBorder), popup.surface.width - m.ScaleX(kBorder),
                popup.surface.height - m.ScaleY(kBorder)};
}

gdi::Canvas CanvasOf(Window& popup) {
    return gdi::Canvas{&popup.surface, RECT{0, 0, popup.surface.width, popup.surface.height}};
}

void DrawCheck(gdi::Canvas& c, const RECT& r, COLORREF colour) {
    Machine& m = M();
    int unit = std::max(1, m.ScaleX(1));
    int x = r.left + m.ScaleX(3), y = (r.top + r.bottom) / 2;
    for (int i = 0; i < 3 * unit; ++i) c.Fill(RECT{x + i, y - unit + i, x + i + unit, y + i + unit}, colour);
    for (int i = 0; i < 5 * unit; ++i)
        c.Fill(RECT{x + 3 * unit + i, y + 2 * unit - i - unit, x + 3 * unit + i + unit, y + 2 * unit - i + unit}, colour);
}

void DrawSubmenuArrow(gdi::Canvas& c, const RECT& r, COLORREF colour) {
    Machine& m = M();
    int half = m.ScaleY(3), x = r.right - m.ScaleX(10), y = (r.top + r.bottom) / 2;
    for (int i = 0; i <= half; ++i) c.Fill(RECT{x + i, y - half + i, x + i + 1, y + half - i + 1}, colour);
}

// A scroll arrow: a triangle 7 units wide and 4 high in the middle of its
// area, pointing the way the items come from.
void DrawScrollArrow(gdi::Canvas& c, const RECT& r, bool up, bool enabled) {
    Machine& m = M();
    const COLORREF colour = gdi::SysColor(enabled ? COLOR_MENUTEXT : COLOR_GRAYTEXT);
    const int ux = std::max(1, m.ScaleX(1)), uy = std::max(1, m.ScaleY(1));
    const int x = (r.left + r.right) / 2, top = (r.top + r.bottom) / 2 - 2 * uy;
    for (int row = 0; row < 4; ++row) {
        int half = up ? row : 3 - row;
        int y = top + row * uy;
        c.Fill(RECT{x - half * ux - ux / 2, y, x + half * ux + (ux + 1) / 2, y + uy}, colour);
    }
}

// One item in view: the owner draws an owner-drawn item, the platform the others.
void DrawSlot(Tracker& t, int i, UINT action) {
    Window* popup = WinOf(t.popup);
    if (!popup || !InView(t, i)) return;
    Slot& s = t.slots[size_t(i)];
    const RECT r = Shown(t, i);
    bool selected = i == t.selected;
    if (s.item.OwnerDrawn()) {
        Window* owner = WinOf(t.owner);
        if (!owner) return;
        HDC dc = gdi::NewDC(t.popup, t.area);
        // As the platform does, the context comes with the colours of the
        // item's state: an owner that draws text opaquely gets its background.
        SetTextColor(dc, gdi::SysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
        SetBkColor(dc, gdi::SysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
        // hwndItem is the menu's handle, as the platform passes it for menus.
        DRAWITEMSTRUCT dis{ODT_MENU, 0,  s.item.id, action, ItemState(s.item, selected), reinterpret_cast<HWND>(t.menu),
                           dc,       r,      s.item.data};
        CallProc(owner, owner->proc, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
        gdi::FreeDC(dc);
        return;
    }
    Machine& m = M();
    gdi::Canvas c = CanvasOf(*popup).Within(t.area).Within(r);
    c.Fill(r, gdi::SysColor(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
    if (s.item.Separator()) {
        int y = (r.top + r.bottom) / 2;
        c.Fill(RECT{r.left + m.ScaleX(2), y, r.right - m.ScaleX(2), y + std::max(1, m.ScaleY(1))},
               gdi::SysColor(COLOR_BTNSHADOW));
        return;
    }
    COLORREF colour = gdi::SysColor(s.item.Grayed() ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    if (s.item.HasText()) {
        const LOGFONTW font = gdi::SystemFontLog();
        int line = text::FontMetrics(font).height;
        int y = r.top + (r.bottom - r.top - line) / 2;
        text::DrawLine(c, font, r.left + m.ScaleX(kTextMargin), y, s.item.text, colour, true);
    }
    if (s.item.state & MF_CHECKED) DrawCheck(c, r, colour);
    if (s.item.submenu) DrawSubmenuArrow(c, r, colour);
}

void DrawAll(Tracker& t) {
    Window* popup = WinOf(t.popup);
    if (!popup) return;
    popup->has_update = false;
    popup->erase = false;
    gdi::Canvas c = CanvasOf(*popup);
    const RECT all = c.clip;
    const RECT inner = Inner(*popup);
    c.Fill(all, gdi::SysColor(COLOR_WINDOWFRAME));
    c.Fill(inner, gdi::SysColor(COLOR_MENU));
    if (t.scrolls) {
        DrawScrollArrow(c, UpArrow(t), true, CanScroll(t, kUpArrow));
        DrawScrollArrow(c, DownArrow(t, *popup), false, CanScroll(t, kDownArrow));
    }
    for (int i = t.first; i < int(t.slots.size()) && InView(t, i) && WinOf(t.popup); ++i)
        DrawSlot(t, i, ODA_DRAWENTIRE);
}

void Select(Tracker& t, int i) {
    if (i == t.selected) return;
    int old = t.selected;
    t.selected = i;
    if (old >= 0) DrawSlot(t, old, ODA_SELECT);
    if (i >= 0) DrawSlot(t, i, ODA_SELECT);
}

// ---------------------------------------------------------------------------
// The event log

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

std::string Quoted(const sim::WString& text) {
    std::string out = "\"";
    for (char c : Narrow(text)) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

RECT OnScreen(const RECT& r, const RECT& popup) {
    return RECT{r.left + popup.left, r.top + popup.top, r.right + popup.left, r.bottom + popup.top};
}

void LogOpen(const Tracker& t) {
    Window* w = WinOf(t.popup);
    Log("menu open items=" + std::to_string(t.slots.size()) + " rect=" + RectText(w->rect) +
        (t.scrolls ? " scrolls" : ""));
    for (size_t i = 0; i < t.slots.size(); ++i) {
        const Slot& s = t.slots[i];
        std::string kind = s.item.Separator()    ? "separator"
                           : s.item.OwnerDrawn() ? "owner-drawn"
                                                 : "text=" + Quoted(s.item.text);
        std::string view = !t.scrolls ? "" : InView(t, int(i)) ? " in-view" : " out-of-view";
        Log("menu-item " + std::to_string(s.position) + " id=" + std::to_string(s.item.id) + " " + kind +
            (s.item.Grayed() ? " grayed" : "") + " rect=" + RectText(OnScreen(Shown(t, int(i)), w->rect)) + view);
    }
}

}  // namespace track

using namespace track;

std::optional<MenuView> TrackedMenu() {
    for (HWND h : M().zorder) {
        Window* w = WinOf(h);
        const Tracker* t = TrackerOf(w);
        if (!t) continue;
        MenuView view;
        view.window = h;
        view.rect = w->rect;
        view.scrolls = t->scrolls;
        view.first = t->first;
        if (t->scrolls) {
            view.up = OnScreen(UpArrow(*t), w->rect);
            view.down = OnScreen(DownArrow(*t, *w), w->rect);
            view.can_scroll_up = CanScroll(*t, kUpArrow);
            view.can_scroll_down = CanScroll(*t, kDownArrow);
        }
        for (size_t i = 0; i < t->slots.size(); ++i) {
            const Slot& s = t->slots[i];
            MenuItemView item;
            item.position = s.position;
            item.id = s.item.id;
            item.owner_drawn = s.item.OwnerDrawn();
            item.separator = s.item.Separator();
            item.grayed = s.item.Grayed();
            item.in_view = InView(*t, int(i));
            item.text = s.item.text;
            item.rect = OnScreen(Shown(*t, int(i)), w->rect);
            view.items.push_back(std::move(item));
        }
        return view;
    }
    return std::nullopt;
}

}  // namespace sim

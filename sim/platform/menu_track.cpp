// Tracking of popup menus: TrackPopupMenuEx, EndMenu and the driver's view
// of the popup on the screen.
//
// TrackPopupMenuEx runs a modal loop on the calling GUI thread. The popup is
// a window of the platform's own (class "#32768"), topmost, never active,
// owned by the caller's process for as long as it is shown, and it holds the
// pen capture, so every pen message comes to the menu wherever the pen is:
//
// - the pen going down or moving over an item highlights it (separators and
//   grayed items never are); over the border or outside nothing is;
// - the pen lifted on an enabled item chooses it; lifted outside the popup
//   it dismisses the menu (0); lifted on a separator, a grayed item, a
//   sub-menu item or the border it leaves the menu open;
// - the pen going down outside the popup dismisses the menu at once (0), and
//   the rest of that stroke goes nowhere: the popup's window stays behind,
//   hidden, holding the capture until the pen is lifted, so the tap reaches
//   no window under it (the same holds whenever tracking ends with the pen
//   down).
//
// Every other message of the thread is dispatched as usual while the popup is
// open (paints, timers, posted messages), except pen messages left over for
// other windows, which the menu swallows. A WM_QUIT ends tracking with 0 and
// is put back for the caller's loop. The owner window or the menu being
// destroyed, and EndMenu, end tracking with 0 too.
//
// The event log shows "menu open items=N rect=L,T,R,B", one "menu-item POS
// id=ID owner-drawn|separator|text="TEXT" [grayed] rect=L,T,R,B" line per item
// (screen coordinates, the text as the item holds it, '&' included), and
// "menu closed result=R", R what TrackPopupMenuEx returns. The lines of a
// popup that scrolls say so: "menu open ... scrolls", and every item's line
// ends in "in-view" or "out-of-view" (its rectangle is where the item lies
// with the popup's items scrolled as they are, off the popup if need be).
//
// Layout, in units of a 96 dpi screen: a one-pixel border; string items as
// high as the system font's line plus 4 and as wide as their text (without
// '&' prefixes) plus 14 on each side; separators 6 high; owner-drawn items
// exactly as the owner measures them. Every item spans the popup's inner
// width, and the popup is never wider than the screen: items measured wider
// are drawn narrower than they asked for. The popup is placed by the
// alignment flags at (x, y), then moved left or up just enough to stay on the
// screen, never beyond its left or top edge.
// Sub-menus are shown as items but not opened.
//
// A popup taller than the screen scrolls, as Windows CE's menus do: it is as
// tall as the screen, from its top edge, with an arrow area across its top
// and its bottom inside the border, and the items in between. An item is in
// view, drawn and under the pen only when it lies wholly between the arrows;
// one that would be clipped by an arrow is not drawn and leaves blank space.
// Each arrow area is as high as a string item (the font's line plus 4): the
// platform scrolls one item at a time, and a target as tall as an item is one
// the stylus hits as surely as an item; the arrow itself is a small triangle
// in the menu's text colour, gray when the menu cannot scroll further that
// way. The pen going down on an arrow, or moving onto it while down, scrolls
// by one item; held there, the menu scrolls again after 400 ms and then every
// 100 ms on the device's clock (long enough that a tap never repeats, quick
// enough to run through hundreds of items). No item is highlighted while the
// pen is on an arrow; lifted there, it chooses nothing. The log shows
// "menu scroll first=K last=u" after each scroll: the first and last item
// wholly in view ("last=none" when none is).
#include <algorithm>
#include <functional>

#include "gdi.h"
#include "menu_track.h"
#include "text.h"

namespace sim {

namespace track {

Tracker* TrackerOf(const Window* w) {
    if (!w || !w->system || w->cls->name != kPopupClass) return nullptr;
    return reinterpret_cast<Tracker*>(w->userdata);
}

bool AnyTracking() {
    for (auto& [tid, t] : M().threads)
        if (t->menu_depth > 0) return true;
    return false;
}

bool Selectable(const Tracker& t, int i) {
    if (i < 0) return false;
    const menu::Item& item = t.slots[size_t(i)].item;
    return !item.Separator() && !item.Grayed();
}

bool Choosable(const Tracker& t, int i) { return Selectable(t, i) && !t.slots[size_t(i)].item.submenu; }

UINT ItemState(const menu::Item& item, bool selected) {
    UINT state = selected ? ODS_SELECTED : 0;
    if (item.state & MF_GRAYED) state |= ODS_GRAYED;
    if (item.state & MF_DISABLED) state |= ODS_DISABLED;
    if (item.state & MF_CHECKED) state |= ODS_CHECKED;
    return state;
}

// ---------------------------------------------------------------------------
// Layout

// Asks the owner to measure the owner-drawn items and lays every item out.
// False if the owner went away meanwhile.
bool Measure(Tracker& t) {
    Machine& m = M();
    const LOGFONTW font = gdi::SystemFontLog();
    const int line = text::FontMetrics(font).height;
    const int bx = m.ScaleX(kBorder), by = m.ScaleY(kBorder);
    long width = 0, y = by;
    for (Slot& s : t.slots) {
        long cx = 0, cy = 0;
        if (s.item.Separator()) {
            cy = m.ScaleY(kSeparatorHeight);
        } else if (s.item.OwnerDrawn()) {
            Window* owner = WinOf(t.owner);
            if (!owner) return false;
            MEASUREITEMSTRUCT mis{ODT_MENU, 0, s.item.id, 0, 0, s.item.data};
            CallProc(owner, owner->proc, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
            cx = std::min<long>(mis.itemWidth, kLargestItem);
            cy = std::min<long>(mis.itemHeight, kLargestItem);
        } else {
            cx = text::Measure(font, s.item.text, true).cx + 2L * m.ScaleX(kTextMargin);
            cy = line + m.ScaleY(kTextPadding);
        }
        s.rect = RECT{bx, LONG(y), 0, LONG(y + cy)};
        y += cy;
        width = std::max(width, cx);
    }
    // The platform never makes a popup wider than the screen: items measured
    // wider are drawn in the width there is, and their owners fit them to it.
    t.size = SIZE{LONG(std::min<long>(width + 2 * bx, m.width)), LONG(y + by)};
    for (Slot& s : t.slots) s.rect.right = t.size.cx - bx;
    return WinOf(t.owner) != nullptr;
}

// The popup's window rectangle on the screen.
RECT Place(const SIZE& size, UINT flags, int x, int y) {
    Machine& m = M();
    long left = x, top = y;
    if (flags & TPM_CENTERALIGN)
        left -= size.cx / 2;
    else if (flags & TPM_RIGHTALIGN)
        left -= size.cx;
    if (flags & TPM_VCENTERALIGN)
        top -= size.cy / 2;
    else if (flags & TPM_BOTTOMALIGN)
        top -= size.cy;
    left = std::max(0L, std::min(left, long(m.width) - size.cx));
    top = std::max(0L, std::min(top, long(m.height) - size.cy));
    return RECT{LONG(left), LONG(top), LONG(left + std::min<long>(size.cx, m.width)),
                LONG(top + std::min<long>(size.cy, m.height))};
}

// Where the popup shows its items, and which of them, once it is placed.
void Arrange(Tracker& t, const RECT& window) {
    Machine& m = M();
    const LONG cx = window.right - window.left, cy = window.bottom - window.top;
    const int bx = m.ScaleX(kBorder), by = m.ScaleY(kBorder);
    t.scrolls = t.size.cy > cy;
    int arrow = 0;
    if (t.scrolls) arrow = text::FontMetrics(gdi::SystemFontLog()).height + m.ScaleY(kTextPadding);
    t.area = RECT{bx, by + arrow, cx - bx, std::max<LONG>(by + arrow, cy - by - arrow)};
    t.first = 0;
    t.last_first = 0;
    if (t.slots.empty()) return;
    const LONG bottom = t.slots.back().rect.bottom, room = t.area.bottom - t.area.top;
    t.last_first = int(t.slots.size()) - 1;
    for (size_t k = 0; k < t.slots.size(); ++k) {
        if (bottom - t.slots[k].rect.top <= room) {
            t.last_first = int(k);
            break;
        }
    }
}

// An item's rectangle as the popup shows it now (client coordinates).
RECT Shown(const Tracker& t, int i) {
    const LONG dy = t.area.top - t.slots[size_t(t.first)].rect.top;
    RECT r = t.slots[size_t(i)].rect;
    return RECT{r.left, r.top + dy, r.right, r.bottom + dy};
}

// Wholly between the arrows: drawn, and under the pen.
bool InView(const Tracker& t, int i) {
    if (i < t.first) return false;
    RECT r = Shown(t, i);
    return r.top >= t.area.top && r.bottom <= t.area.bottom;
}

int LastInView(const Tracker& t) {
    int last = t.first - 1;
    for (int i = t.first; i < int(t.slots.size()) && InView(t, i); ++i) last = i;
    return last;
}

RECT UpArrow(const Tracker& t) { return RECT{t.area.left, M().ScaleY(kBorder), t.area.right, t.area.top}; }

RECT DownArrow(const Tracker& t, const Window& popup) {
    return RECT{t.area.left, t.area.bottom, t.area.right, popup.surface.height - M().ScaleY(kBorder)};
}

bool CanScroll(const Tracker& t, int arrow) {
    return t.scrolls && (arrow == kUpArrow ? t.first > 0 : t.first < t.last_first);
}

bool Within(const RECT& r, POINT c) { return c.x >= r.left && c.x < r.right && c.y >= r.top && c.y < r.bottom; }

// The slot under a screen point, an arrow, kNoItem over the border or where
// no item is in view, kOutside off the popup.
int HitTest(const Tracker& t, POINT pt) {
    Window* w = WinOf(t.popup);
    if (!w || !Within(w->rect, pt)) return kOutside;
    POINT c{pt.x - w->rect.left, pt.y - w->rect.top};
    if (t.scrolls && Within(UpArrow(t), c)) return kUpArrow;
    if (t.scrolls && Within(DownArrow(t, *w), c)) return kDownArrow;
    for (int i = t.first; i < int(t.slots.size()) && InView(t, i); ++i)
        if (Within(Shown(t, i), c)) return i;
    return kNoItem;
}

// ---------------------------------------------------------------------------
// The popup's window

void End(Tracker& t, UINT result) {
    t.done = true;
    t.result = result;
}

// The popup's window procedure. While the menu is tracked the loop handles
// the popup's messages itself; once tracking has ended the window may stay
// behind, hidden, to swallow the rest of a pen stroke, and goes when the pen
// is lifted.
LRESULT CALLBACK PopupProc(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    PlatformScope platform;
    Window* w = WinOf(hwnd);
    if (!w) return 0;
    if (Tracker* t = TrackerOf(w)) {
        if (msg == WM_PAINT) DrawAll(*t);
        return 0;
    }
    if (msg == WM_LBUTTONUP || msg == WM_CANCELMODE) {
        if (M().capture == hwnd) M().capture = nullptr;
        DestroyTree(hwnd, false);
    }
    return 0;
}

HWND NewPopupWindow(Tracker& t, const RECT& rect) {
    auto cls = std::make_shared<WindowClass>();
    cls->name = kPopupClass;
    cls->proc = PopupProc;
    auto w = std::make_unique<Window>();
    w->owner_pid = t.thread->process->pid;
    w->cls = cls;
    w->style = WS_POPUP | WS_VISIBLE;
    w->exstyle = WS_EX_TOPMOST | WS_EX_NOACTIVATE;
    w->thread = t.thread;
    w->proc = PopupProc;
    w->class_proc = PopupProc;
    w->rect = rect;
    w->surface.Resize(rect.right - rect.left, rect.bottom - rect.top, gdi::SysColor(COLOR_MENU));
    w->system = true;
    w->userdata = reinterpret_cast<LONG_PTR>(&t);
    HWND hwnd = ToHandle<HWND>(M().handles.Insert(std::move(w)));
    BringToTop(hwnd);
    return hwnd;
}

}  // namespace track

using namespace track;

// Popup windows left behind by an earlier menu whose stroke never ended, or
// whose pen-up went elsewhere because their thread gave the capture away.
void DropLeftovers() {
    std::vector<HWND> list = M().zorder;
    for (HWND h : list) {
        Window* w = WinOf(h);
        if (!w || !w->system || w->cls->name != kPopupClass || TrackerOf(w)) continue;
        if (M().capture == h) M().capture = nullptr;
        DestroyTree(h, false);
    }
}

namespace track {

// The screen under the popup is repainted once the popup has gone.
void InvalidateCovered(const RECT& screen) {
    std::function<void(HWND)> visit = [&](HWND h) {
        Window* w = WinOf(h);
        if (!w || !(w->style & WS_VISIBLE)) return;
        RECT r{std::max(screen.left, w->rect.left), std::max(screen.top, w->rect.top),
               std::min(screen.right, w->rect.right), std::min(screen.bottom, w->rect.bottom)};
        if (r.left < r.right && r.top < r.bottom) {
            r = RECT{r.left - w->rect.left, r.top - w->rect.top, r.right - w->rect.left, r.bottom - w->rect.top};
            Invalidate(w, &r, true);
        }
        for (HWND c : w->children) visit(c);
    };
    std::vector<HWND> list = M().zorder;
    for (HWND h : list) visit(h);
}

// One showing of a popup on a thread: the thread's menu depth, and the
// popup's window, which goes (or stays behind to swallow the rest of a pen
// stroke) however tracking ends, the thread being killed included.
class Session {
public:
    explicit Session(Tracker& t) : t_(t) { ++t_.thread->menu_depth; }
    ~Session() {
        Close();
        --t_.thread->menu_depth;
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Close() {
        HWND h = t_.popup;
        t_.popup = nullptr;
        Window* w = WinOf(h);
        if (!w) return;
        Machine& m = M();
        RECT covered = w->rect;
        w->userdata = 0;
        RemoveTimers(h);
        if (m.pen_down && m.capture == h) {
            w->style &= ~WS_VISIBLE;
        } else {
            if (m.capture == h) m.capture = nullptr;
            DestroyTree(h, false);
        }
        InvalidateCovered(covered);
    }

private:
    Tracker& t_;
};

// ---------------------------------------------------------------------------
// The loop

bool IsPen(UINT msg) { return msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP || msg == WM_MOUSEMOVE; }

// The repeat of a held arrow runs on the popup thread's own timer list, as a
// timer of the platform's window: nothing a program set or counts.
void ArmRepeat(Tracker& t, bool on) {
    std::vector<Timer>& timers = t.thread->timers;
    std::erase_if(timers, [&](const Timer& tm) { return tm.hwnd == t.popup && tm.id == kScrollTimer; });
    if (on) timers.push_back(Timer{t.popup, kScrollTimer, kScrollRepeat, M().now + kScrollDelay, nullptr});
}

// One item up or down; false at the end, where the arrow is gray.
bool Scroll(Tracker& t, int arrow) {
    if (!CanScroll(t, arrow)) return false;
    Select(t, kNoItem);
    t.first += arrow == kUpArrow ? -1 : 1;
    int last = LastInView(t);
    Log("menu scroll first=" + std::to_string(t.first) + " last=" + (last < t.first ? "none" : std::to_string(last)));
    DrawAll(t);
    return true;
}

// The pen, down, has come to `hit`: on an arrow it scrolls (the arrow it is
// already held on scrolls by the repeat), elsewhere the item under it is
// highlighted.
void PenOver(Tracker& t, int hit) {
    if (hit == kUpArrow || hit == kDownArrow) {
        Select(t, kNoItem);
        if (hit == t.held) return;
        t.held = hit;
        ArmRepeat(t, Scroll(t, hit));
        return;
    }
    if (t.held != kNoItem) {
        t.held = kNoItem;
        ArmRepeat(t, false);
    }
    Select(t, Selectable(t, hit) ? hit : kNoItem);
}

void OnPopupMessage(Tracker& t, const MSG& msg) {
    switch (msg.message) {
    case WM_LBUTTONDOWN: {
        int hit = HitTest(t, msg.pt);
        if (hit == kOutside) {
            End(t, 0);
            return;
        }
        PenOver(t, hit);
        return;
    }
    case WM_MOUSEMOVE: PenOver(t, HitTest(t, msg.pt)); return;
    case WM_LBUTTONUP: {
        t.held = kNoItem;
        ArmRepeat(t, false);
        int hit = HitTest(t, msg.pt);
        if (hit == kOutside) {
            End(t, 0);
        } else if (Choosable(t, hit)) {
            End(t, t.slots[size_t(hit)].item.id);
        } else {
            Select(t, kNoItem);
        }
        return;
    }
    case WM_TIMER:
        if (msg.wParam == kScrollTimer && (t.held == kNoItem || !Scroll(t, t.held))) ArmRepeat(t, false);
        return;
    case WM_PAINT: DrawAll(t); return;
    case WM_CANCELMODE: End(t, 0); return;
    default: return;
    }
}

void Run(Tracker& t) {
    Thread* self = t.thread;
    while (!t.done) {
        if (!WinOf(t.owner) || !menu::MenuOf(t.menu) || !WinOf(t.popup)) {
            End(t, 0);
            break;
        }
        std::optional<MSG> msg = Retrieve(self, true);
        if (!msg) {
            WaitForWork(self);
            continue;
        }
        if (msg->message == WM_QUIT) {
            // The caller's own loop still has to see it.
            self->quit = true;
            self->quit_code = int(msg->wParam);
            End(t, 0);
            break;
        }
        if (msg->hwnd == t.popup) {
            OnPopupMessage(t, *msg);
        } else if (!IsPen(msg->message)) {
            Dispatch(*msg);
        }
    }
}

}  // namespace track



}  // namespace sim

using namespace sim;

extern "C" {

BOOL WINAPI TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hWnd, LPTPMPARAMS) {
    SIM_API("TrackPopupMenuEx");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    menu::Menu* menu = menu::CheckMenu(hMenu);
    if (!menu || !CheckWindow(hWnd)) return FALSE;
    Thread* thread = CurrentThread();
    // The loop waits for messages: only a program's GUI thread can run it.
    if (!thread || !thread->real || menu->items.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (AnyTracking()) {
        SetLastError(kErrorPopupAlreadyActive);
        return FALSE;
    }
    DropLeftovers();

    Tracker t;
    t.menu = hMenu;
    t.owner = hWnd;
    t.thread = thread;
    for (size_t i = 0; i < menu->items.size(); ++i) t.slots.push_back(Slot{int(i), menu->items[i], {}});
    Session session(t);
    if (!Measure(t) || !menu::MenuOf(hMenu)) return FALSE;

    const RECT placed = Place(t.size, uFlags, x, y);
    Arrange(t, placed);
    t.popup = NewPopupWindow(t, placed);
    M().capture = t.popup;
    LogOpen(t);
    DrawAll(t);
    Run(t);
    session.Close();

    BOOL result = (uFlags & TPM_RETURNCMD) ? BOOL(t.result) : TRUE;
    if (!(uFlags & TPM_RETURNCMD) && t.result != 0 && WinOf(hWnd)) PostTo(hWnd, WM_COMMAND, t.result, 0);
    Log("menu closed result=" + std::to_string(UINT(result)));
    return result;
}

BOOL WINAPI EndMenu(void) {
    SIM_API("EndMenu");
    std::vector<HWND> popups;
    for (HWND h : M().zorder)
        if (TrackerOf(WinOf(h))) popups.push_back(h);
    // The loop ends when it takes the message: from its own thread or another.
    for (HWND h : popups) PostTo(h, WM_CANCELMODE, 0, 0);
    return TRUE;
}

}  // extern "C"

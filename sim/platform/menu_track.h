// What the tracking of a popup menu shares between its loop (menu_track.cpp)
// and its picture (menu_view.cpp): the layout of the items, the state of one
// showing, and the calls that read them.
#pragma once

#include <vector>

#include "core.h"
#include "menu.h"

namespace sim::track {

constexpr WCHAR kPopupClass[] = u"#32768";
constexpr DWORD kErrorPopupAlreadyActive = 1446;

constexpr int kBorder = 1;
constexpr int kTextPadding = 4;
constexpr int kTextMargin = 14;
constexpr int kSeparatorHeight = 6;
// Measured sizes beyond this are taken as this: a popup never needs more.
constexpr long kLargestItem = 0x7FFF;

constexpr UINT kScrollDelay = 400;   // ms before a held arrow scrolls again
constexpr UINT kScrollRepeat = 100;  // ms between scrolls while it stays held
constexpr UINT_PTR kScrollTimer = 1;

constexpr int kDownArrow = -4;  // HitTest: over the arrow that scrolls down
constexpr int kUpArrow = -3;    // HitTest: over the arrow that scrolls up
constexpr int kOutside = -2;    // HitTest: not over the popup
constexpr int kNoItem = -1;     // HitTest: over the border or space that holds no item in view

struct Slot {
    int position = 0;
    menu::Item item;  // as it was when the popup opened
    RECT rect{};      // popup client coordinates with the items unscrolled
};

struct Tracker {
    HMENU menu = nullptr;
    HWND owner = nullptr;
    HWND popup = nullptr;
    Thread* thread = nullptr;
    SIZE size{};  // the whole layout, border included
    std::vector<Slot> slots;
    int selected = kNoItem;
    // Scrolling: the popup's items lie in `area` (client coordinates),
    // between the arrow areas when it scrolls; slot `first` is at its top.
    bool scrolls = false;
    RECT area{};
    int first = 0;
    int last_first = 0;     // as far down as the items scroll
    int held = kNoItem;     // the arrow the pen is down on, if any
    bool done = false;
    UINT result = 0;
};

Tracker* TrackerOf(const Window* w);
bool Selectable(const Tracker& t, int i);
UINT ItemState(const menu::Item& item, bool selected);

// Layout (menu_track.cpp): an item's rectangle as it is shown, whether it is
// wholly in view, the arrow areas and whether the menu can scroll that way.
RECT Shown(const Tracker& t, int i);
bool InView(const Tracker& t, int i);
int LastInView(const Tracker& t);
RECT UpArrow(const Tracker& t);
RECT DownArrow(const Tracker& t, const Window& popup);
bool CanScroll(const Tracker& t, int arrow);

// The picture (menu_view.cpp).
void DrawSlot(Tracker& t, int i, UINT action);
void DrawAll(Tracker& t);
void Select(Tracker& t, int i);
void LogOpen(const Tracker& t);
RECT OnScreen(const RECT& r, const RECT& popup);

}  // namespace sim::track

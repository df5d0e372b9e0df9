// Menus of the simulated device: menu objects and their items (menu.cpp) and
// the tracking of popup menus (menu_track.cpp).
//
// A menu is a handle of its own, owned by the process that made or loaded
// it. A popup item holds the handle of its sub-menu, which is a menu of its
// own too; DestroyMenu and DeleteMenu take sub-menus with them, RemoveMenu
// does not.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "core.h"

namespace sim {

namespace menu {

struct Item {
    UINT type = MFT_STRING;  // MFT_SEPARATOR, MFT_OWNERDRAW, MFT_BITMAP and the break bits
    UINT state = 0;          // MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_HILITE
    UINT id = 0;
    HMENU submenu = nullptr;
    ULONG_PTR data = 0;  // item data; for an owner-drawn item also what it was inserted with
    sim::WString text;   // as given, '&' prefixes included

    bool Separator() const { return (type & MFT_SEPARATOR) != 0; }
    bool OwnerDrawn() const { return !Separator() && (type & MFT_OWNERDRAW) != 0; }
    bool Grayed() const { return (state & (MF_GRAYED | MF_DISABLED)) != 0; }
    bool HasText() const { return !(type & (MFT_SEPARATOR | MFT_OWNERDRAW | MFT_BITMAP)); }
};

struct Menu : Object {
    static constexpr Kind kKind = Kind::Menu;
    Menu() : Object(kKind) {}
    bool popup = false;  // CreatePopupMenu, or a popup of a loaded template
    std::vector<Item> items;
};

Menu* MenuOf(HMENU menu);
// MenuOf, with ERROR_INVALID_MENU_HANDLE as the thread's last error for a bad handle.
Menu* CheckMenu(HMENU menu);

// An item found by position in the given menu, or by command in the menu
// and, as the platform does, in its sub-menus (depth first, in item order).
struct Location {
    Menu* menu = nullptr;
    size_t index = 0;
    Item& item() const { return menu->items[index]; }
};
std::optional<Location> FindItem(HMENU menu, UINT item, bool by_position);

}  // namespace menu
}  // namespace sim

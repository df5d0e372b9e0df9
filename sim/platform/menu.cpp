// Menu objects: creation, loading from a program's menu templates, items by
// position and by command, their state, and destruction.
#include "menu.h"

#include <algorithm>
#include <set>

#include <sim/resources.h>

#include "module.h"

namespace sim::menu {

namespace {

constexpr UINT kTypeBits = MFT_SEPARATOR | MFT_OWNERDRAW | MFT_BITMAP | MFT_MENUBREAK | MFT_MENUBARBREAK;
constexpr UINT kStateBits = MF_GRAYED | MF_DISABLED | MF_CHECKED;

HMENU NewMenu(bool popup) {
    auto menu = std::make_unique<Menu>();
    menu->popup = popup;
    menu->owner_pid = CurrentPid();
    return ToHandle<HMENU>(M().handles.Insert(std::move(menu)));
}

// The menu and every menu below it, each once, even if a program made a
// menu its own descendant.
void Collect(HMENU h, std::set<HMENU>& out) {
    Menu* menu = MenuOf(h);
    if (!menu || !out.insert(h).second) return;
    for (const Item& item : menu->items)
        if (item.submenu) Collect(item.submenu, out);
}

void Destroy(HMENU h) {
    std::set<HMENU> all;
    Collect(h, all);
    for (HMENU m : all) M().handles.Erase(FromHandle(m));
}

std::optional<Location> FindCommand(Menu* menu, UINT id, std::set<const Menu*>& seen) {
    if (!seen.insert(menu).second) return std::nullopt;
    for (size_t i = 0; i < menu->items.size(); ++i) {
        const Item& item = menu->items[i];
        if (item.submenu) {
            if (Menu* sub = MenuOf(item.submenu))
                if (auto found = FindCommand(sub, id, seen)) return found;
        }
        if (item.id == id) return Location{menu, i};
    }
    return std::nullopt;
}

void Build(Menu& menu, const std::vector<res::MenuItem>& items) {
    for (const res::MenuItem& source : items) {
        Item item;
        item.id = source.id;
        item.state = source.flags & kStateBits;
        if (source.separator) {
            item.type = MFT_SEPARATOR;
        } else {
            item.type = source.flags & (MFT_MENUBREAK | MFT_MENUBARBREAK | MFT_OWNERDRAW | MFT_BITMAP);
            item.text = source.text;
        }
        if (source.popup) {
            item.submenu = NewMenu(true);
            Build(*MenuOf(item.submenu), source.items);
        }
        menu.items.push_back(std::move(item));
    }
}

// InsertMenuW and AppendMenuW.
BOOL Insert(HMENU h, UINT position, UINT flags, UINT_PTR id, LPCWSTR content) {
    Menu* menu = CheckMenu(h);
    if (!menu) return FALSE;
    Item item;
    item.type = flags & kTypeBits;
    item.state = flags & kStateBits;
    if (item.Separator()) {
        item.type = MFT_SEPARATOR | (flags & (MFT_MENUBREAK | MFT_MENUBARBREAK));
        item.id = static_cast<UINT>(id);
    } else if (flags & MF_POPUP) {
        if (!MenuOf(reinterpret_cast<HMENU>(id)) || reinterpret_cast<HMENU>(id) == h) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        item.submenu = reinterpret_cast<HMENU>(id);
        // A popup item is known by its sub-menu's handle.
        item.id = static_cast<UINT>(id);
    } else {
        item.id = static_cast<UINT>(id);
    }
    if (item.OwnerDrawn() || (item.type & MFT_BITMAP)) {
        // Owner-drawn items carry the last argument as their item data.
        item.data = reinterpret_cast<ULONG_PTR>(content);
    } else if (item.HasText() && content) {
        item.text = content;
    }

    Menu* target = menu;
    size_t index = 0;
    if (flags & MF_BYPOSITION) {
        // A position past the end appends.
        index = std::min<size_t>(position, menu->items.size());
    } else {
        auto found = FindItem(h, position, false);
        if (!found) {
            SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
            return FALSE;
        }
        target = found->menu;
        index = found->index;
    }
    target->items.insert(target->items.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
    return TRUE;
}

BOOL Remove(HMENU h, UINT position, UINT flags, bool destroy) {
    if (!CheckMenu(h)) return FALSE;
    auto found = FindItem(h, position, (flags & MF_BYPOSITION) != 0);
    if (!found) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    HMENU submenu = found->item().submenu;
    found->menu->items.erase(found->menu->items.begin() + static_cast<std::ptrdiff_t>(found->index));
    if (destroy && submenu) Destroy(submenu);
    return TRUE;
}

}  // namespace

Menu* MenuOf(HMENU menu) { return M().handles.Get<Menu>(menu); }

Menu* CheckMenu(HMENU menu) {
    Menu* m = MenuOf(menu);
    if (!m) SetLastError(ERROR_INVALID_MENU_HANDLE);
    return m;
}

std::optional<Location> FindItem(HMENU h, UINT item, bool by_position) {
    Menu* menu = MenuOf(h);
    if (!menu) return std::nullopt;
    if (by_position) {
        if (item >= menu->items.size()) return std::nullopt;
        return Location{menu, item};
    }
    std::set<const Menu*> seen;
    return FindCommand(menu, item, seen);
}

}  // namespace sim::menu

using namespace sim;
using namespace sim::menu;

extern "C" {

HMENU WINAPI CreateMenu(void) {
    SIM_API("CreateMenu");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return NewMenu(false);
}

HMENU WINAPI CreatePopupMenu(void) {
    SIM_API("CreatePopupMenu");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return NewMenu(true);
}

HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
    SIM_API("LoadMenuW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!lpMenuName) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto file = ModuleResources(hInstance);
    if (!file) return nullptr;
    const res::Entry* entry = file->Find(res::Id::Of(res::kTypeMenu), ResourceName(lpMenuName));
    if (!entry) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    auto items = res::ParseMenu(entry->data);
    if (!items) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    HMENU bar = NewMenu(false);
    Build(*MenuOf(bar), *items);
    return bar;
}

BOOL WINAPI DestroyMenu(HMENU hMenu) {
    SIM_API("DestroyMenu");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (!CheckMenu(hMenu)) {
        InvalidFree("DestroyMenu", reinterpret_cast<uintptr_t>(hMenu));
        return FALSE;
    }
    Destroy(hMenu);
    return TRUE;
}

HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
    SIM_API("GetSubMenu");
    if (SIM_FAIL()) return nullptr;
    if (nPos < 0 || !CheckMenu(hMenu)) return nullptr;
    auto found = FindItem(hMenu, static_cast<UINT>(nPos), true);
    return found ? found->item().submenu : nullptr;
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
    SIM_API("GetMenuItemCount");
    if (SIM_FAIL()) return -1;
    Menu* menu = CheckMenu(hMenu);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

BOOL WINAPI InsertMenuW(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    SIM_API("InsertMenuW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return Insert(hMenu, uPosition, uFlags, uIDNewItem, lpNewItem);
}

BOOL WINAPI AppendMenuW(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCWSTR lpNewItem) {
    SIM_API("AppendMenuW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return Insert(hMenu, static_cast<UINT>(-1), uFlags | MF_BYPOSITION, uIDNewItem, lpNewItem);
}

BOOL WINAPI DeleteMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    SIM_API("DeleteMenu");
    if (SIM_FAIL()) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    return Remove(hMenu, uPosition, uFlags, true);
}

BOOL WINAPI RemoveMenu(HMENU hMenu, UINT uPosition, UINT uFlags) {
    SIM_API("RemoveMenu");
    if (SIM_FAIL()) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    return Remove(hMenu, uPosition, uFlags, false);
}

// The previous state, MF_ENABLED, MF_GRAYED or MF_DISABLED; -1 (all bits
// set) for an item that does not exist.
BOOL WINAPI EnableMenuItem(HMENU hMenu, UINT uIDEnableItem, UINT uEnable) {
    SIM_API("EnableMenuItem");
    if (SIM_FAIL()) return -1;
    if (!CheckMenu(hMenu)) return -1;
    auto found = FindItem(hMenu, uIDEnableItem, (uEnable & MF_BYPOSITION) != 0);
    if (!found) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return -1;
    }
    Item& item = found->item();
    UINT previous = item.state & (MF_GRAYED | MF_DISABLED);
    item.state = (item.state & ~UINT(MF_GRAYED | MF_DISABLED)) | (uEnable & (MF_GRAYED | MF_DISABLED));
    return static_cast<BOOL>(previous);
}

DWORD WINAPI CheckMenuItem(HMENU hMenu, UINT uIDCheckItem, UINT uCheck) {
    SIM_API("CheckMenuItem");
    if (SIM_FAIL()) return static_cast<DWORD>(-1);
    if (!CheckMenu(hMenu)) return static_cast<DWORD>(-1);
    auto found = FindItem(hMenu, uIDCheckItem, (uCheck & MF_BYPOSITION) != 0);
    if (!found) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return static_cast<DWORD>(-1);
    }
    Item& item = found->item();
    DWORD previous = item.state & MF_CHECKED;
    item.state = (item.state & ~UINT(MF_CHECKED)) | (uCheck & MF_CHECKED);
    return previous;
}

BOOL WINAPI GetMenuItemInfoW(HMENU hMenu, UINT uItem, BOOL fByPosition, LPMENUITEMINFOW lpmii) {
    SIM_API("GetMenuItemInfoW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (!lpmii || lpmii->cbSize < sizeof(MENUITEMINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!CheckMenu(hMenu)) return FALSE;
    auto found = FindItem(hMenu, uItem, fByPosition != FALSE);
    if (!found) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    const Item& item = found->item();
    UINT mask = lpmii->fMask;
    if (mask & MIIM_TYPE) {
        lpmii->fType = item.type;
        if (item.HasText()) {
            UINT length = static_cast<UINT>(item.text.size());
            if (lpmii->dwTypeData && lpmii->cch > 0) {
                UINT n = std::min(length, lpmii->cch - 1);
                std::copy_n(item.text.data(), n, lpmii->dwTypeData);
                lpmii->dwTypeData[n] = 0;
                lpmii->cch = n;
            } else {
                lpmii->cch = length;
            }
        } else if (item.OwnerDrawn()) {
            // The platform hands back what the item was made with.
            lpmii->dwTypeData = reinterpret_cast<LPWSTR>(item.data);
            lpmii->cch = 0;
        } else {
            lpmii->cch = 0;
        }
    }
    if (mask & MIIM_DATA) lpmii->dwItemData = item.data;
    if (mask & MIIM_ID) lpmii->wID = item.id;
    if (mask & MIIM_STATE) lpmii->fState = item.state;
    if (mask & MIIM_SUBMENU) lpmii->hSubMenu = item.submenu;
    if (mask & MIIM_CHECKMARKS) {
        lpmii->hbmpChecked = nullptr;
        lpmii->hbmpUnchecked = nullptr;
    }
    return TRUE;
}

BOOL WINAPI SetMenuItemInfoW(HMENU hMenu, UINT uItem, BOOL fByPosition, LPCMENUITEMINFOW lpmii) {
    SIM_API("SetMenuItemInfoW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    if (!lpmii || lpmii->cbSize < sizeof(MENUITEMINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!CheckMenu(hMenu)) return FALSE;
    auto found = FindItem(hMenu, uItem, fByPosition != FALSE);
    if (!found) {
        SetLastError(ERROR_MENU_ITEM_NOT_FOUND);
        return FALSE;
    }
    UINT mask = lpmii->fMask;
    if ((mask & MIIM_SUBMENU) && lpmii->hSubMenu && (!MenuOf(lpmii->hSubMenu) || lpmii->hSubMenu == hMenu)) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    Item& item = found->item();
    if (mask & MIIM_TYPE) {
        item.type = lpmii->fType;
        item.text.clear();
        if (item.HasText() && lpmii->dwTypeData) item.text = lpmii->dwTypeData;
        if (item.OwnerDrawn()) item.data = reinterpret_cast<ULONG_PTR>(lpmii->dwTypeData);
    }
    if (mask & MIIM_DATA) item.data = lpmii->dwItemData;
    if (mask & MIIM_ID) item.id = lpmii->wID;
    if (mask & MIIM_STATE) item.state = lpmii->fState;
    if (mask & MIIM_SUBMENU) item.submenu = lpmii->hSubMenu;
    return TRUE;
}

}  // extern "C"

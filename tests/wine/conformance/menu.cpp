// Menus loaded from vesk's own template, read by position and by command,
// with owner-drawn items and their item data.
#include "check.h"
#include "resource.h"

namespace {

// vesk's task menu template and its popup, destroyed at the end of a check.
class TaskMenu {
public:
    TaskMenu() {
        menu_ = LoadMenuW(conf::Instance(), MAKEINTRESOURCEW(IDR_TASKMENU));
        popup_ = menu_ ? GetSubMenu(menu_, 0) : nullptr;
    }
    ~TaskMenu() {
        if (menu_) DestroyMenu(menu_);
    }
    HMENU menu() const { return menu_; }
    HMENU popup() const { return popup_; }

private:
    HMENU menu_ = nullptr;
    HMENU popup_ = nullptr;
};

MENUITEMINFOW Info(UINT mask) {
    MENUITEMINFOW info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = mask;
    return info;
}

UINT IdAt(HMENU menu, UINT position) {
    MENUITEMINFOW info = Info(MIIM_ID);
    if (!GetMenuItemInfoW(menu, position, TRUE, &info)) return 0xFFFFFFFF;
    return info.wID;
}

}  // namespace

CHECK(Menu, TemplateGivesItsPopup) {
    TaskMenu m;
    REQUIRE(m.menu() != nullptr);
    REQUIRE(m.popup() != nullptr);
    CHECK_EQ(GetMenuItemCount(m.menu()), 1);
    CHECK_EQ(GetSubMenu(m.menu(), 1), static_cast<HMENU>(nullptr));
    CHECK_EQ(GetMenuItemCount(m.popup()), 5);
    CHECK_EQ(IdAt(m.popup(), 0), static_cast<UINT>(IDM_MINIMIZE));
    CHECK_EQ(IdAt(m.popup(), 4), static_cast<UINT>(IDM_EXIT));
}

CHECK(Menu, ItemInfoByPositionAndByCommand) {
    TaskMenu m;
    REQUIRE(m.popup() != nullptr);

    // The template's separator: exactly MFT_SEPARATOR, id 0, no data. No
    // buffer is given for the text, as vesk's walks give none.
    MENUITEMINFOW info = Info(MIIM_TYPE | MIIM_DATA | MIIM_ID);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 3, TRUE, &info));
    CHECK_EQ(info.fType, static_cast<UINT>(MFT_SEPARATOR));
    CHECK_EQ(info.wID, 0u);
    CHECK_EQ(info.dwItemData, 0u);

    info = Info(MIIM_TYPE | MIIM_DATA | MIIM_ID);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), IDM_CLOSE_ALL, FALSE, &info));
    CHECK_EQ(info.wID, static_cast<UINT>(IDM_CLOSE_ALL));
    CHECK_EQ(info.fType, static_cast<UINT>(MFT_STRING));

    WCHAR text[32] = {0};
    info = Info(MIIM_TYPE);
    info.dwTypeData = text;
    info.cch = 32;
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 4, TRUE, &info));
    CHECK_EQ(conf::WString(text), conf::WString(TEXT("E&xit")));

    // Neither a missing command nor a position past the end is found.
    info = Info(MIIM_ID);
    CHECK_FALSE(GetMenuItemInfoW(m.popup(), 12345, FALSE, &info));
    CHECK_FALSE(GetMenuItemInfoW(m.popup(), 5, TRUE, &info));
}

CHECK(Menu, InsertingByPositionMovesTheCommandsDown) {
    TaskMenu m;
    REQUIRE(m.popup() != nullptr);
    static int desktop_entry, task_entry;
    CHECK_TRUE(InsertMenuW(m.popup(), 0, MF_BYPOSITION | MF_OWNERDRAW, 0x8000,
                           reinterpret_cast<LPCWSTR>(&desktop_entry)));
    CHECK_TRUE(InsertMenuW(m.popup(), 1, MF_BYPOSITION | MF_OWNERDRAW, 0x8001, reinterpret_cast<LPCWSTR>(&task_entry)));
    CHECK_TRUE(InsertMenuW(m.popup(), 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr));

    CHECK_EQ(GetMenuItemCount(m.popup()), 8);
    CHECK_EQ(IdAt(m.popup(), 0), 0x8000u);
    CHECK_EQ(IdAt(m.popup(), 1), 0x8001u);
    CHECK_EQ(IdAt(m.popup(), 3), static_cast<UINT>(IDM_MINIMIZE));
    CHECK_EQ(IdAt(m.popup(), 7), static_cast<UINT>(IDM_EXIT));

    // Owner-drawn items keep their data, read by position or by command.
    MENUITEMINFOW info = Info(MIIM_TYPE | MIIM_DATA);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 0, TRUE, &info));
    CHECK_TRUE((info.fType & MFT_OWNERDRAW) != 0);
    CHECK_EQ(info.dwItemData, reinterpret_cast<ULONG_PTR>(&desktop_entry));
    info = Info(MIIM_DATA);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 0x8001, FALSE, &info));
    CHECK_EQ(info.dwItemData, reinterpret_cast<ULONG_PTR>(&task_entry));

    // The inserted separator stops a walk from position 0 just after the tasks.
    info = Info(MIIM_TYPE | MIIM_DATA);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 2, TRUE, &info));
    CHECK_EQ(info.fType, static_cast<UINT>(MFT_SEPARATOR));
    CHECK_EQ(info.dwItemData, 0u);
}

CHECK(Menu, InsertingByCommandGoesBeforeThatCommand) {
    TaskMenu m;
    REQUIRE(m.popup() != nullptr);
    CHECK_TRUE(InsertMenuW(m.popup(), IDM_EXIT, MF_BYCOMMAND | MF_STRING, 0x9000, TEXT("Extra")));
    CHECK_EQ(GetMenuItemCount(m.popup()), 6);
    CHECK_EQ(IdAt(m.popup(), 4), 0x9000u);
    CHECK_EQ(IdAt(m.popup(), 5), static_cast<UINT>(IDM_EXIT));
}

CHECK(Menu, EnableMenuItemAnswersThePreviousState) {
    TaskMenu m;
    REQUIRE(m.popup() != nullptr);
    CHECK_EQ(EnableMenuItem(m.popup(), IDM_MINIMIZE, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
    CHECK_EQ(EnableMenuItem(m.popup(), IDM_MINIMIZE, MF_BYCOMMAND | MF_GRAYED), MF_GRAYED);
    MENUITEMINFOW info = Info(MIIM_STATE);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), IDM_MINIMIZE, FALSE, &info));
    CHECK_TRUE((info.fState & MF_GRAYED) != 0);
    CHECK_EQ(EnableMenuItem(m.popup(), IDM_MINIMIZE, MF_BYCOMMAND | MF_ENABLED), MF_GRAYED);
    info = Info(MIIM_STATE);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 0, TRUE, &info));
    CHECK_EQ(info.fState & MFS_GRAYED, 0u);
    // A command that is not in the menu.
    CHECK_EQ(EnableMenuItem(m.popup(), 4242, MF_BYCOMMAND | MF_GRAYED), -1);
}

CHECK(Menu, DestroyingTheTemplateTakesItsPopup) {
    HMENU menu = LoadMenuW(conf::Instance(), MAKEINTRESOURCEW(IDR_TASKMENU));
    REQUIRE(menu != nullptr);
    HMENU popup = GetSubMenu(menu, 0);
    REQUIRE(popup != nullptr);
    CHECK_TRUE(DestroyMenu(menu));
    CHECK_EQ(GetMenuItemCount(popup), -1);
    CHECK_EQ(GetMenuItemCount(menu), -1);
}

namespace {

// A popup of owner-drawn items, each as large as its owner measures it,
// tracked at a screen point: its window rectangle while it is open, or an
// empty one if it did not open. (The popup is the window at a point just
// inside its corner.)
SIZE g_item_size;
POINT g_inside;  // a point that the popup covers wherever the platform puts it
RECT g_popup_rect;
LONG g_first_drawn_top;  // the least top of an item drawn, in the popup's client area
int g_looks;
constexpr UINT kLook = WM_APP + 7;

LRESULT CALLBACK MenuOwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MEASUREITEM: {
        MEASUREITEMSTRUCT* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        m->itemWidth = g_item_size.cx;
        m->itemHeight = g_item_size.cy;
        return TRUE;
    }
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (d->rcItem.top < g_first_drawn_top) g_first_drawn_top = d->rcItem.top;
        return TRUE;
    }
    case kLook: {
        // Posted before tracking began; the menu's loop delivers it once the
        // popup is up (looked for again a few times, should it not be yet).
        HWND popup = WindowFromPoint(g_inside);
        WCHAR name[16] = {0};
        if (popup) GetClassNameW(popup, name, 16);
        if (conf::WString(name) == TEXT("#32768")) {
            GetWindowRect(popup, &g_popup_rect);
            EndMenu();
        } else if (++g_looks < 20) {
            PostMessageW(hwnd, kLook, 0, 0);
        } else {
            EndMenu();
        }
        return 0;
    }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

RECT TrackedPopup(int items, int cx, int cy, int x, int y) {
    WNDCLASSW wc;
    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = MenuOwnerProc;
    wc.hInstance = conf::Instance();
    wc.lpszClassName = TEXT("ConformanceMenuOwner");
    RegisterClassW(&wc);  // once a program; afterwards it is there already
    HWND owner = CreateWindowExW(0, TEXT("ConformanceMenuOwner"), TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                                 nullptr, conf::Instance(), nullptr);
    HMENU menu = CreatePopupMenu();
    for (int i = 0; i < items; ++i) AppendMenuW(menu, MF_OWNERDRAW, 100 + i, nullptr);
    g_item_size = SIZE{cx, cy};
    g_inside = POINT{x + 5, y + 5};
    g_popup_rect = RECT{0, 0, 0, 0};
    g_first_drawn_top = 1 << 30;
    g_looks = 0;
    SetForegroundWindow(owner);
    PostMessageW(owner, kLook, 0, 0);
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, x, y, owner, nullptr);
    DestroyMenu(menu);
    DestroyWindow(owner);
    return g_popup_rect;
}

}  // namespace

CHECK(Menu, SeparatorIsNotGrayed) {
    known_difference(
        "Desktop Windows reports a separator's state as MFS_GRAYED; Windows CE does not. The Wine script "
        "player's log names grayed only the items that could be chosen, as the device's would.");
    TaskMenu m;
    REQUIRE(m.popup() != nullptr);
    MENUITEMINFOW info = Info(MIIM_STATE);
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 3, TRUE, &info));
    CHECK_EQ(info.fState & MFS_GRAYED, ce_or_desktop(0u, static_cast<UINT>(MFS_GRAYED)));
}

CHECK(Menu, PopupFrame) {
    known_difference(
        "Windows CE draws a popup menu's frame one pixel wide, desktop Windows three; desktop Windows also widens "
        "an owner-drawn item by a check mark's width less one (12 at 96 dpi). A column that is an item's last "
        "on the device lies on the frame there: the Wine script player taps it at the item's nearest column.");
    RECT r = TrackedPopup(1, 100, 20, 10, 40);
    const int frame = ce_or_desktop(1, 3);
    CHECK_EQ(r, (RECT{10, 40, 10 + 100 + ce_or_desktop(0, 12) + 2 * frame, 40 + 20 + 2 * frame}));
}

CHECK(Menu, PopupWiderThanTheScreen) {
    known_difference(
        "Windows CE never makes a popup menu wider than the screen: items measured wider are drawn in the "
        "width there is. Desktop Windows makes it as wide as its items, wider than the screen. What vesk draws "
        "in such a popup, and where, follows from this: the Wine script player skips the rest of a script once "
        "one opens.");
    const int screen = GetSystemMetrics(SM_CXSCREEN);
    RECT r = TrackedPopup(1, screen + 40, 20, 10, 40);
    CHECK_EQ(r.left, 0);
    CHECK_EQ(r.right - r.left, ce_or_desktop(screen, screen + 40 + 12 + 6));
}

CHECK(Menu, PopupTallerThanTheScreen) {
    known_difference(
        "A popup menu taller than the screen is as tall as the screen, from its top edge, and scrolls on both "
        "platforms, but each draws its scroll arrows its own way: at 96 dpi the first item begins 19 pixels "
        "down on Windows CE (the frame and an arrow area as high as a string item), 17 on desktop Windows. The "
        "Wine script player skips the rest of a script once such a popup opens; the hand-written Wine check of "
        "the scrolled task menu plays it.");
    const int screen = GetSystemMetrics(SM_CYSCREEN);
    RECT r = TrackedPopup(screen / 20 + 5, 100, 20, 10, 40);
    CHECK_EQ(r.top, 0);
    CHECK_EQ(r.bottom - r.top, screen);
    CHECK_EQ(g_first_drawn_top, ce_or_desktop(19, 17));
}

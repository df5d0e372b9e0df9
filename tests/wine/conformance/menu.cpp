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

    wchar_t text[32] = {0};
    info = Info(MIIM_TYPE);
    info.dwTypeData = text;
    info.cch = 32;
    CHECK_TRUE(GetMenuItemInfoW(m.popup(), 4, TRUE, &info));
    CHECK_EQ(std::wstring(text), std::wstring(L"E&xit"));

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
    CHECK_TRUE(InsertMenuW(m.popup(), IDM_EXIT, MF_BYCOMMAND | MF_STRING, 0x9000, L"Extra"));
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

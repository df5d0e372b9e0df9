// Menus of the simulated device: loading vesk's task menu, items by position
// and by command, owner-drawn items and their data, enabling, reading items
// back, and the lifetime of menus and their sub-menus.
#include <gtest/gtest.h>
#include <sim/device.h>
#include <windows.h>

#include <functional>
#include <string>

#include "resource.h"
#include "vesk_image.h"

namespace {

// Runs body as the code of a program (with vesk's resources) on its own GUI
// thread; returns the process id. The device is idle again afterwards.
DWORD RunAsProgram(sim::Device& device, std::function<void(HINSTANCE)> body) {
    sim::ProgramImage image;
    image.exe_path = u"\\Windows\\menuprobe.exe";
    image.resources = vesk_host::VeskImage().resources;
    image.entry = [body](HINSTANCE instance) {
        body(instance);
        return 0;
    };
    return device.Start(image);
}

struct ItemInfo {
    bool ok = false;
    UINT type = 0, state = 0, id = 0;
    HMENU submenu = nullptr;
    ULONG_PTR data = 0;
    LPWSTR type_data = nullptr;
    sim::WString text;
};

ItemInfo Read(HMENU menu, UINT item, BOOL by_position) {
    WCHAR buffer[64] = {};
    MENUITEMINFOW mii{};
    mii.cbSize = sizeof mii;
    mii.fMask = MIIM_TYPE | MIIM_DATA | MIIM_ID | MIIM_STATE | MIIM_SUBMENU;
    mii.dwTypeData = buffer;
    mii.cch = 64;
    ItemInfo info;
    info.ok = GetMenuItemInfoW(menu, item, by_position, &mii) != FALSE;
    info.type = mii.fType;
    info.state = mii.fState;
    info.id = mii.wID;
    info.submenu = mii.hSubMenu;
    info.data = mii.dwItemData;
    info.type_data = mii.dwTypeData;
    if (info.ok && mii.fType == MFT_STRING) info.text.assign(buffer, mii.cch);
    return info;
}

}  // namespace

TEST(Menu, TaskMenuLoadsAsABarWithOnePopupOfTheFiveCommands) {
    sim::Device device;
    RunAsProgram(device, [](HINSTANCE instance) {
        HMENU bar = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TASKMENU));
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(GetMenuItemCount(bar), 1);
        ItemInfo title = Read(bar, 0, TRUE);
        EXPECT_TRUE(title.ok);
        EXPECT_EQ(title.text, u"Popup");
        HMENU popup = GetSubMenu(bar, 0);
        ASSERT_NE(popup, nullptr);
        EXPECT_EQ(title.submenu, popup);

        struct Expected {
            UINT type;
            UINT id;
            const WCHAR* text;
        } expected[] = {{MFT_STRING, IDM_MINIMIZE, u"&Minimize"},
                        {MFT_STRING, IDM_CLOSE_BACKGROUND, u"Close &Background Tasks"},
                        {MFT_STRING, IDM_CLOSE_ALL, u"Close &All Tasks"},
                        {MFT_SEPARATOR, 0, u""},
                        {MFT_STRING, IDM_EXIT, u"E&xit"}};
        ASSERT_EQ(GetMenuItemCount(popup), 5);
        for (UINT i = 0; i < 5; ++i) {
            SCOPED_TRACE(i);
            ItemInfo item = Read(popup, i, TRUE);
            EXPECT_TRUE(item.ok);
            EXPECT_EQ(item.type, expected[i].type);
            EXPECT_EQ(item.id, expected[i].id);
            EXPECT_EQ(item.text, expected[i].text);
            EXPECT_EQ(item.state, 0u);
            EXPECT_EQ(item.submenu, nullptr);
            if (expected[i].id == 0) continue;
            // By command, in the popup and through the bar alike.
            EXPECT_EQ(Read(popup, expected[i].id, FALSE).text, expected[i].text);
            EXPECT_EQ(Read(bar, expected[i].id, FALSE).text, expected[i].text);
        }
        EXPECT_FALSE(Read(popup, 5, TRUE).ok);
        EXPECT_TRUE(DestroyMenu(bar));
    });
}

TEST(Menu, LoadMenuFailsForAMissingTemplateOrAnUnknownModule) {
    sim::Device device;
    RunAsProgram(device, [](HINSTANCE self) {
        SetLastError(0);
        EXPECT_EQ(LoadMenuW(self, MAKEINTRESOURCEW(103)), nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
        HINSTANCE unknown = reinterpret_cast<HINSTANCE>(reinterpret_cast<uintptr_t>(self) + 0x10000);
        EXPECT_EQ(LoadMenuW(unknown, MAKEINTRESOURCEW(IDR_TASKMENU)), nullptr);
        EXPECT_EQ(LoadMenuW(nullptr, MAKEINTRESOURCEW(IDR_TASKMENU)), nullptr);
        // The template named by its number as a string.
        HMENU bar = LoadMenuW(self, u"#102");
        EXPECT_NE(bar, nullptr);
        DestroyMenu(bar);
    });
}

TEST(Menu, InsertingByPositionMovesTheCommandsDownAndKeepsEachItemsData) {
    sim::Device device;
    RunAsProgram(device, [](HINSTANCE instance) {
        HMENU bar = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TASKMENU));
        HMENU popup = GetSubMenu(bar, 0);
        ASSERT_NE(popup, nullptr);
        // Two owner-drawn task items carrying pointers, then a separator.
        int first = 1, second = 2;
        ASSERT_TRUE(InsertMenuW(popup, 0, MF_BYPOSITION | MF_OWNERDRAW, 0x8000, reinterpret_cast<LPCWSTR>(&first)));
        ASSERT_TRUE(InsertMenuW(popup, 1, MF_BYPOSITION | MF_OWNERDRAW, 0x8001, reinterpret_cast<LPCWSTR>(&second)));
        ASSERT_TRUE(InsertMenuW(popup, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr));
        ASSERT_EQ(GetMenuItemCount(popup), 8);

        for (UINT k = 0; k < 2; ++k) {
            ItemInfo item = Read(popup, k, TRUE);
            EXPECT_EQ(item.type, UINT(MFT_OWNERDRAW));
            EXPECT_EQ(item.id, 0x8000 + k);
            int* expected = k == 0 ? &first : &second;
            EXPECT_EQ(reinterpret_cast<int*>(item.data), expected);
            // The platform hands the data back in dwTypeData too.
            EXPECT_EQ(reinterpret_cast<int*>(item.type_data), expected);
            EXPECT_EQ(reinterpret_cast<int*>(Read(popup, 0x8000 + k, FALSE).data), expected);
        }
        EXPECT_EQ(Read(popup, 2, TRUE).type, UINT(MFT_SEPARATOR));
        EXPECT_EQ(Read(popup, 3, TRUE).id, UINT(IDM_MINIMIZE));
        EXPECT_EQ(Read(popup, 6, TRUE).type, UINT(MFT_SEPARATOR));
        EXPECT_EQ(Read(popup, 7, TRUE).id, UINT(IDM_EXIT));

        // Past the end appends; by command inserts before that command.
        EXPECT_TRUE(InsertMenuW(popup, 100, MF_BYPOSITION | MF_STRING, 7, u"Last"));
        EXPECT_EQ(Read(popup, 8, TRUE).text, u"Last");
        EXPECT_TRUE(InsertMenuW(popup, IDM_EXIT, MF_BYCOMMAND | MF_STRING | MF_GRAYED, 8, u"Before exit"));
        ItemInfo before = Read(popup, 7, TRUE);
        EXPECT_EQ(before.text, u"Before exit");
        EXPECT_EQ(before.state, UINT(MF_GRAYED));
        EXPECT_EQ(Read(popup, 8, TRUE).id, UINT(IDM_EXIT));
        EXPECT_TRUE(AppendMenuW(popup, MF_STRING, 9, u"Appended"));
        EXPECT_EQ(Read(popup, 10, TRUE).id, 9u);
        // By command, before a command that is nowhere: nothing changes.
        EXPECT_FALSE(InsertMenuW(popup, 12345, MF_BYCOMMAND | MF_STRING, 10, u"Lost"));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_MENU_ITEM_NOT_FOUND));
        EXPECT_EQ(GetMenuItemCount(popup), 11);
        // By command, through the bar, into the popup that holds the command.
        EXPECT_TRUE(InsertMenuW(bar, IDM_MINIMIZE, MF_BYCOMMAND | MF_STRING, 11, u"Deep"));
        EXPECT_EQ(GetMenuItemCount(bar), 1);
        EXPECT_EQ(Read(popup, 3, TRUE).id, 11u);
        DestroyMenu(bar);
    });
}

TEST(Menu, EnableMenuItemAnswersThePreviousStateAndGraysTheItem) {
    sim::Device device;
    RunAsProgram(device, [](HINSTANCE instance) {
        HMENU bar = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TASKMENU));
        HMENU popup = GetSubMenu(bar, 0);
        EXPECT_EQ(EnableMenuItem(popup, IDM_MINIMIZE, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
        EXPECT_EQ(Read(popup, IDM_MINIMIZE, FALSE).state, UINT(MF_GRAYED));
        EXPECT_EQ(EnableMenuItem(popup, IDM_MINIMIZE, MF_BYCOMMAND | MF_DISABLED), MF_GRAYED);
        EXPECT_EQ(EnableMenuItem(popup, 0, MF_BYPOSITION | MF_ENABLED), MF_DISABLED);
        EXPECT_EQ(Read(popup, 0, TRUE).state, 0u);
        // Through the bar, by command.
        EXPECT_EQ(EnableMenuItem(bar, IDM_EXIT, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);
        EXPECT_EQ(Read(popup, 4, TRUE).state, UINT(MF_GRAYED));
        // A missing item answers -1, all bits set.
        EXPECT_EQ(DWORD(EnableMenuItem(popup, 4242, MF_BYCOMMAND | MF_GRAYED)), 0xFFFFFFFFu);
        EXPECT_EQ(DWORD(EnableMenuItem(popup, 5, MF_BYPOSITION | MF_GRAYED)), 0xFFFFFFFFu);

        EXPECT_EQ(CheckMenuItem(popup, IDM_CLOSE_ALL, MF_BYCOMMAND | MF_CHECKED), DWORD(MF_UNCHECKED));
        EXPECT_EQ(CheckMenuItem(popup, IDM_CLOSE_ALL, MF_BYCOMMAND | MF_UNCHECKED), DWORD(MF_CHECKED));
        EXPECT_EQ(CheckMenuItem(popup, 4242, MF_BYCOMMAND | MF_CHECKED), 0xFFFFFFFFu);
        DestroyMenu(bar);
    });
}

TEST(Menu, GetMenuItemInfoFailsForShortRecordsMissingItemsAndStaleMenus) {
    sim::Device device;
    RunAsProgram(device, [](HINSTANCE) {
        HMENU popup = CreatePopupMenu();
        ASSERT_TRUE(AppendMenuW(popup, MF_STRING, 40, u"Close &Background Tasks"));
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof mii - 1;
        mii.fMask = MIIM_ID;
        EXPECT_FALSE(GetMenuItemInfoW(popup, 0, TRUE, &mii));
        EXPECT_FALSE(GetMenuItemInfoW(popup, 0, TRUE, nullptr));
        mii.cbSize = sizeof mii;
        EXPECT_TRUE(GetMenuItemInfoW(popup, 0, TRUE, &mii));
        EXPECT_EQ(mii.wID, 40u);
        EXPECT_FALSE(GetMenuItemInfoW(popup, 1, TRUE, &mii));
        EXPECT_FALSE(GetMenuItemInfoW(popup, 41, FALSE, &mii));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_MENU_ITEM_NOT_FOUND));

        // The text is cut to the buffer, terminator included; without a
        // buffer the length comes back.
        WCHAR small[6];
        mii.fMask = MIIM_TYPE;
        mii.dwTypeData = small;
        mii.cch = 6;
        EXPECT_TRUE(GetMenuItemInfoW(popup, 40, FALSE, &mii));
        EXPECT_EQ(sim::WString(small), u"Close");
        EXPECT_EQ(mii.cch, 5u);
        mii.dwTypeData = nullptr;
        mii.cch = 0;
        EXPECT_TRUE(GetMenuItemInfoW(popup, 40, FALSE, &mii));
        EXPECT_EQ(mii.cch, 23u);

        EXPECT_TRUE(DestroyMenu(popup));
        EXPECT_FALSE(DestroyMenu(popup));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_MENU_HANDLE));
        mii.fMask = MIIM_ID;
        EXPECT_FALSE(GetMenuItemInfoW(popup, 0, TRUE, &mii));
        EXPECT_EQ(GetMenuItemCount(popup), -1);
        EXPECT_FALSE(InsertMenuW(popup, 0, MF_BYPOSITION, 1, u"x"));
    });
}

TEST(Menu, SetMenuItemInfoChangesWhatTheMaskNames) {
    sim::Device device;
    RunAsProgram(device, [](HINSTANCE) {
        HMENU popup = CreatePopupMenu();
        AppendMenuW(popup, MF_STRING, 1, u"One");
        int data = 0;
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_ID | MIIM_DATA | MIIM_STATE;
        mii.wID = 77;
        mii.dwItemData = reinterpret_cast<ULONG_PTR>(&data);
        mii.fState = MFS_GRAYED;
        EXPECT_TRUE(SetMenuItemInfoW(popup, 1, FALSE, &mii));
        ItemInfo item = Read(popup, 0, TRUE);
        EXPECT_EQ(item.id, 77u);
        EXPECT_EQ(item.data, reinterpret_cast<ULONG_PTR>(&data));
        EXPECT_EQ(item.state, UINT(MFS_GRAYED));
        EXPECT_EQ(item.text, u"One");
        mii.fMask = MIIM_TYPE;
        mii.fType = MFT_STRING;
        WCHAR two[] = u"Two";
        mii.dwTypeData = two;
        EXPECT_TRUE(SetMenuItemInfoW(popup, 0, TRUE, &mii));
        EXPECT_EQ(Read(popup, 77, FALSE).text, u"Two");
        EXPECT_FALSE(SetMenuItemInfoW(popup, 1, TRUE, &mii));
        DestroyMenu(popup);
    });
}

TEST(Menu, MenusAreCountedPerProcessAndGoWithTheirParents) {
    sim::Device device;
    DWORD pid = RunAsProgram(device, [&device](HINSTANCE instance) {
        DWORD self = GetCurrentProcessId();
        long base = device.CountsOf(self).menus;
        HMENU bar = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TASKMENU));
        EXPECT_EQ(device.CountsOf(self).menus, base + 2);  // the bar and its popup
        HMENU popup = GetSubMenu(bar, 0);
        HMENU extra = CreatePopupMenu();
        AppendMenuW(extra, MF_STRING, 5, u"Five");
        ASSERT_TRUE(InsertMenuW(popup, 0, MF_BYPOSITION | MF_POPUP, reinterpret_cast<UINT_PTR>(extra), u"More"));
        EXPECT_EQ(GetSubMenu(popup, 0), extra);
        EXPECT_EQ(device.CountsOf(self).menus, base + 3);
        // A command inside the nested sub-menu is found from the top.
        EXPECT_EQ(EnableMenuItem(bar, 5, MF_BYCOMMAND | MF_GRAYED), MF_ENABLED);

        // RemoveMenu keeps the sub-menu alive, DeleteMenu destroys it.
        EXPECT_TRUE(RemoveMenu(popup, 0, MF_BYPOSITION));
        EXPECT_EQ(GetMenuItemCount(extra), 1);
        EXPECT_TRUE(AppendMenuW(popup, MF_POPUP, reinterpret_cast<UINT_PTR>(extra), u"More"));
        EXPECT_TRUE(DeleteMenu(popup, 5, MF_BYPOSITION));
        EXPECT_EQ(GetMenuItemCount(extra), -1);
        EXPECT_EQ(device.CountsOf(self).menus, base + 2);

        // Destroying the bar takes its popup.
        EXPECT_TRUE(DestroyMenu(bar));
        EXPECT_EQ(GetMenuItemCount(popup), -1);
        EXPECT_EQ(device.CountsOf(self).menus, base);

        // Left behind on purpose: a loaded template and a popup of its own.
        LoadMenuW(instance, MAKEINTRESOURCEW(IDR_TASKMENU));
        CreatePopupMenu();
    });
    EXPECT_EQ(device.Reclaimed(pid).menus, 3);
    EXPECT_EQ(device.CountsOf(pid).menus, 0);
}

TEST(Menu, AnInjectedInsertionFailureLeavesTheMenuAsItWas) {
    sim::Device device;
    RunAsProgram(device, [&device](HINSTANCE) {
        HMENU popup = CreatePopupMenu();
        device.FailCall("InsertMenuW");
        EXPECT_FALSE(InsertMenuW(popup, 0, MF_BYPOSITION | MF_OWNERDRAW, 0x8000, nullptr));
        EXPECT_EQ(GetMenuItemCount(popup), 0);
        EXPECT_TRUE(InsertMenuW(popup, 0, MF_BYPOSITION | MF_OWNERDRAW, 0x8000, nullptr));
        EXPECT_EQ(GetMenuItemCount(popup), 1);
        DestroyMenu(popup);
    });
}

// More applications than the screen can list: on the real platform too the
// task menu is no taller than the screen and scrolls, so that "Close &All
// Tasks" and "E&xit" stay within reach; chosen once scrolled into view,
// "Close &All Tasks" closes every application.
#include <memory>
#include <vector>

#include "e2e.h"
#include "vesk.h"

namespace {

constexpr int kApps = 24;  // 25 rows of 18 pixels and the commands: more than 480 pixels
constexpr int kStripX = 3;
constexpr int kY = 10;

HWND VisiblePopup() {
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
        if (IsWindowVisible(w)) return w;
    return nullptr;
}

int PositionOf(HMENU menu, UINT id) {
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        if (GetMenuItemID(menu, i) == id) return i;
    return -1;
}

bool Inside(const RECT& outer, const RECT& inner) {
    return inner.top >= outer.top && inner.bottom <= outer.bottom;
}

}  // namespace

CHECK(E2e, TaskMenuTallerThanTheScreenScrollsToCloseAllTasks) {
    REQUIRE(host::StartShell());
    std::vector<std::unique_ptr<host::App>> apps;
    for (int i = 0; i < kApps; ++i) {
        host::AppSpec request;
        request.class_name = L"ScrollApp" + std::to_wstring(i);
        request.title = L"Application " + std::to_wstring(i);
        request.rect = RECT{60 + i, 60 + i, 300 + i, 300 + i};
        apps.push_back(std::make_unique<host::App>());
        REQUIRE(apps.back()->Launch(request));
    }
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);

    host::PostTap(button, kStripX, kY);
    HWND popup = nullptr;
    host::WaitUntil(5000, [&] { return (popup = VisiblePopup()) != nullptr; });
    REQUIRE(popup != nullptr);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    REQUIRE(menu != nullptr);
    REQUIRE(GetMenuItemCount(menu) == 1 + kApps + 1 + 5);
    const int close_all = PositionOf(menu, IDM_CLOSE_ALL);
    const int exit = PositionOf(menu, IDM_EXIT);
    REQUIRE(close_all > 0 && exit > close_all);

    // No taller than the screen: the commands at the end lie below the view.
    RECT shown, item;
    REQUIRE(GetWindowRect(popup, &shown));
    CHECK_TRUE(shown.bottom - shown.top <= GetSystemMetrics(SM_CYSCREEN));
    REQUIRE(GetMenuItemRect(nullptr, menu, exit, &item));
    CHECK_TRUE(item.bottom > shown.bottom);

    // The selection moved up from none lands on the last item, and the menu
    // scrolls it into view, the first rows going out above.
    PostMessageW(popup, WM_KEYDOWN, VK_UP, 0);
    CHECK_TRUE(host::WaitUntil(5000, [&] {
        return GetMenuItemRect(nullptr, menu, exit, &item) && Inside(shown, item);
    }));
    REQUIRE(GetMenuItemRect(nullptr, menu, 0, &item));
    CHECK_TRUE(item.top < shown.top);
    REQUIRE(GetMenuItemRect(nullptr, menu, close_all, &item));
    CHECK_TRUE(Inside(shown, item));

    // Chosen with the pen there, it closes every application.
    host::Click((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    for (auto& app : apps) CHECK_TRUE(app->WaitExit(5000));
    CHECK_EQ(VisiblePopup(), static_cast<HWND>(nullptr));
    PostMessageW(button, WM_CLOSE, 0, 0);
    int code = -1;
    CHECK_TRUE(host::WaitVeskExit(5000, &code));
    CHECK_EQ(code, 0);
}

// More applications than the screen can list: on the real platform too the
// task menu is no taller than the screen and scrolls, so that "Close &All
// Tasks" and "E&xit" stay within reach. This platform scrolls a menu to its
// selection: moved to "E&xit" and then to "Close &All Tasks", the menu shows
// them, and "Close &All Tasks" chosen there closes every application.
#include <memory>
#include <string>
#include <vector>

#include "e2e.h"
#include "vesk.h"

namespace {

// Task rows of 18 pixels for the whole screen's height and then two more:
// with the Desktop row and the commands, more than the screen can show.
int AppsToOverflow() { return GetSystemMetrics(SM_CYSCREEN) / 18 + 2; }
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

// The first row of the popup that is mostly the highlight colour, or -1.
int HighlightedRow(HWND popup, int cx, int cy) {
    std::vector<COLORREF> pixels = host::Capture(popup, cx, cy);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    for (int y = 0; y < cy && pixels.size() == static_cast<size_t>(cx) * cy; ++y) {
        int n = 0;
        for (int x = 0; x < cx; ++x) n += pixels[static_cast<size_t>(y) * cx + x] == highlight;
        if (n > cx / 2) return y;
    }
    return -1;
}

}  // namespace

CHECK(E2e, TaskMenuTallerThanTheScreenScrollsToCloseAllTasks) {
    REQUIRE(host::StartShell());
    std::vector<std::unique_ptr<host::App>> apps;
    const int kApps = AppsToOverflow();
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
    const int cx = shown.right - shown.left, cy = shown.bottom - shown.top;
    CHECK_TRUE(cy <= GetSystemMetrics(SM_CYSCREEN));
    REQUIRE(GetMenuItemRect(nullptr, menu, exit, &item));
    CHECK_TRUE(item.top >= shown.bottom);

    // The selection moved up from none lands on the last item, "E&xit", and
    // the menu scrolls it into view: its highlighted row is on the popup.
    // (This platform's GetMenuItemRect keeps giving the unscrolled places.)
    PostMessageW(popup, WM_KEYDOWN, VK_UP, 0);
    int exit_row = -1;
    CHECK_TRUE(host::WaitUntil(5000, [&] { return (exit_row = HighlightedRow(popup, cx, cy)) >= 0; }));
    // Once more up, past the separator: "Close &All Tasks", one row higher.
    PostMessageW(popup, WM_KEYDOWN, VK_UP, 0);
    int close_all_row = -1;
    CHECK_TRUE(host::WaitUntil(5000, [&] {
        close_all_row = HighlightedRow(popup, cx, cy);
        return close_all_row >= 0 && close_all_row < exit_row;
    }));
    std::vector<COLORREF> pixels = host::Capture(popup, cx, cy);
    std::string out = e2e::OutputFolder() + "/menu-scrolled.ppm";
    host::WritePpm(std::wstring(out.begin(), out.end()), pixels, cx, cy);

    // Chosen there, it closes every application.
    PostMessageW(popup, WM_CHAR, L'\r', 0);
    for (auto& app : apps) CHECK_TRUE(app->WaitExit(5000));
    CHECK_EQ(VisiblePopup(), static_cast<HWND>(nullptr));
    PostMessageW(button, WM_CLOSE, 0, 0);
    int code = -1;
    CHECK_TRUE(host::WaitVeskExit(5000, &code));
    CHECK_EQ(code, 0);
}

// The taskbar takes a new width, as when the device's screen turns: the
// button moves to the new right end, and real clicks find its close zone and
// its strip there, the task menu opening right-aligned below it with the
// close glyphs at its right edge.
#include "e2e.h"

namespace {

constexpr int kWidth = 28;  // the button at 96 dpi: strip x 0 to 6, close zone 7 to 28
constexpr int kY = 10;

HWND PopupMenuWindow() {
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
        if (IsWindowVisible(w)) return w;
    return nullptr;
}

int Closes(const host::App& app) {
    int n = 0;
    for (const host::AppMessage& m : app.Messages()) n += m.message == WM_CLOSE;
    return n;
}

}  // namespace

CHECK(E2e, ButtonFollowsTheTaskbarToItsNewRightEnd) {
    REQUIRE(host::StartShell());
    host::App app;
    host::AppSpec request;
    request.on_close = L"ignore";
    REQUIRE(app.Launch(request));
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);
    RECT bar;
    REQUIRE(GetWindowRect(host::TaskBar(), &bar));
    const int full = bar.right - bar.left;

    int closes = 0;
    for (int cx : {320, 240, full}) {
        REQUIRE(host::ResizeTaskBar(cx, 5000));
        RECT rc{};
        host::WaitUntil(5000, [&] { return GetWindowRect(button, &rc) && rc.left == cx - kWidth; });
        CHECK_EQ(rc.left, cx - kWidth);
        CHECK_EQ(rc.right, cx);
        CHECK_EQ(rc.top, 0);
        CHECK_EQ(rc.bottom, host::kTaskBarHeight);

        // The close zone's first column closes the application in front (back
        // in front once the task menu of the width before has closed).
        CHECK_TRUE(host::WaitUntil(5000, [&] { return GetForegroundWindow() == app.hwnd(); }));
        host::Click(cx - kWidth + 7, kY);
        CHECK_TRUE(host::WaitUntil(5000, [&] { return Closes(app) == closes + 1; }));
        closes = Closes(app);
        CHECK_TRUE(PopupMenuWindow() == nullptr);

        // The strip's last column opens the menu at the button's right edge, below the taskbar.
        host::Click(cx - kWidth + 6, kY);
        HWND popup = nullptr;
        host::WaitUntil(5000, [&] { return (popup = PopupMenuWindow()) != nullptr; });
        REQUIRE(popup != nullptr);
        RECT menu;
        REQUIRE(GetWindowRect(popup, &menu));
        CHECK_EQ(menu.right, cx);
        CHECK_EQ(menu.top, host::kTaskBarHeight);
        CHECK_EQ(Closes(app), closes);

        // The close glyph of the front application's item, measured from the new right edge.
        HMENU items = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
        RECT item;
        REQUIRE(items != nullptr && GetMenuItemRect(nullptr, items, 1, &item));
        host::Click(cx - 10, (item.top + item.bottom) / 2);
        CHECK_TRUE(host::WaitUntil(5000, [&] { return Closes(app) == closes + 1 && PopupMenuWindow() == nullptr; }));
        closes = Closes(app);
        REQUIRE(host::WaitUntil(5000, [&] { return GetForegroundWindow() == app.hwnd(); }));
    }

    PostMessageW(button, WM_CLOSE, 0, 0);
    int code = -1;
    CHECK_TRUE(host::WaitVeskExit(5000, &code));
    CHECK_EQ(code, 0);
}

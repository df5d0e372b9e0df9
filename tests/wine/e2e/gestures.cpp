// A tap on the button's close zone closes the application in front, in the
// way that suits it.
#include "e2e.h"

namespace {

constexpr int kCloseX = 20;  // in the close zone at 96 dpi: x 7 to 28
constexpr int kY = 10;

void EndVesk(HWND button) {
    PostMessageW(button, WM_CLOSE, 0, 0);
    int code = -1;
    CHECK_TRUE(host::WaitVeskExit(5000, &code));
    CHECK_EQ(code, 0);
}

}  // namespace

CHECK(E2e, CloseZoneTapSendsWmCloseToTheApplicationInFront) {
    REQUIRE(host::StartShell());
    host::App app;
    REQUIRE(app.Launch(host::AppSpec{}));
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);

    host::PostTap(button, kCloseX, kY);
    DWORD code = 99;
    CHECK_TRUE(app.WaitExit(5000, &code));
    CHECK_EQ(code, 0u);
    int closes = 0;
    for (const host::AppMessage& m : app.Messages()) {
        if (m.message != WM_CLOSE) continue;
        ++closes;
        CHECK_TRUE(m.sent);
        CHECK_EQ(m.wParam, 0u);
        CHECK_EQ(m.lParam, 0);
    }
    CHECK_EQ(closes, 1);
    EndVesk(button);
}

CHECK(E2e, CloseZoneTapOnAPropertySheetSendsOkThenPostsThePress) {
    REQUIRE(host::StartShell());
    host::App app;
    host::AppSpec request;
    request.title = L"Settings";
    request.style = 0x90000004;
    request.exstyle = 0x80000000;
    request.on_ok = L"ignore";  // stays open, so that the posted press arrives too
    REQUIRE(app.Launch(request));
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);

    host::PostTap(button, kCloseX, kY);
    const UINT kPressButton = WM_USER + 113;
    std::vector<host::AppMessage> seen;
    host::WaitUntil(5000, [&] {
        seen.clear();
        for (const host::AppMessage& m : app.Messages())
            if (m.message == WM_COMMAND || m.message == kPressButton || m.message == WM_CLOSE) seen.push_back(m);
        return seen.size() >= 2;
    });
    REQUIRE(seen.size() == 2);
    CHECK_EQ(seen[0].message, static_cast<UINT>(WM_COMMAND));
    CHECK_EQ(seen[0].wParam, static_cast<unsigned long long>(IDOK));
    CHECK_EQ(seen[0].lParam, reinterpret_cast<long long>(app.hwnd()));
    CHECK_TRUE(seen[0].sent);
    CHECK_EQ(seen[1].message, kPressButton);
    CHECK_EQ(seen[1].wParam, 3u);
    CHECK_EQ(seen[1].lParam, 0);
    CHECK_FALSE(seen[1].sent);
    EndVesk(button);
}

CHECK(E2e, CloseZoneTapWithTheDesktopInFrontClosesNothing) {
    REQUIRE(host::StartShell());
    host::App app;
    REQUIRE(app.Launch(host::AppSpec{}));
    REQUIRE(host::BringToFront(host::Desktop(), 5000));
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);

    host::PostTap(button, kCloseX, kY);
    CHECK_FALSE(app.WaitExit(1000));
    CHECK_TRUE(IsWindow(host::Desktop()));
    CHECK_TRUE(IsWindowVisible(host::Desktop()));
    for (const host::AppMessage& m : app.Messages()) CHECK_NE(m.message, static_cast<UINT>(WM_CLOSE));
    EndVesk(button);
}

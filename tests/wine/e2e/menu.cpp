// A tap on the menu strip opens vesk's task menu: the "Desktop" item and one
// owner-drawn item per application, drawn by vesk, above the template's
// commands; "E&xit" ends vesk with 0 and gives the taskbar its procedure back.
#include "e2e.h"
#include "vesk.h"

namespace {

constexpr int kStripX = 3;  // in the menu strip at 96 dpi: x 0 to 6
constexpr int kY = 10;
constexpr COLORREF kCloseGlyph = RGB(0, 102, 153);

HWND PopupMenuWindow() {
    HWND found = nullptr;
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
        if (IsWindowVisible(w)) found = w;
    return found;
}

std::wstring EntryTitle(HMENU menu, int position) {
    MENUITEMINFOW info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = MIIM_DATA;
    if (!GetMenuItemInfoW(menu, position, TRUE, &info) || !info.dwItemData) return L"";
    const TaskEntry* entry = reinterpret_cast<const TaskEntry*>(info.dwItemData);
    return entry->m_pszTitle ? entry->m_pszTitle : L"";
}

// Two applications in front of the desktop, vesk, and the task menu opened
// with a tap on the strip.
struct OpenMenu {
    host::App alpha;
    host::App beta;
    HWND button = nullptr;
    HWND popup = nullptr;
    HMENU menu = nullptr;
    RECT popup_rect{};

    bool Open() {
        if (!host::StartShell()) return false;
        host::AppSpec request;
        request.class_name = L"AlphaClass";
        request.title = L"Alpha";
        if (!alpha.Launch(request)) return false;
        request.class_name = L"BetaClass";
        request.title = L"Beta";
        request.rect = RECT{80, 90, 320, 330};
        if (!beta.Launch(request)) return false;
        button = e2e::StartVeskInShell();
        if (!button) return false;
        host::PostTap(button, kStripX, kY);
        host::WaitUntil(5000, [&] { return (popup = PopupMenuWindow()) != nullptr; });
        if (!popup) return false;
        menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
        GetWindowRect(popup, &popup_rect);
        return menu != nullptr;
    }

    // Chooses an item with the pen, at its centre.
    bool Choose(int position) {
        RECT item;
        if (!GetMenuItemRect(nullptr, menu, position, &item)) return false;
        host::Click((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        return true;
    }
};

}  // namespace

CHECK(E2e, StripTapOpensTheTaskMenuAndExitEndsVesk) {
    OpenMenu m;
    REQUIRE(m.Open());

    // Desktop, the two applications front first, a separator, the template.
    REQUIRE(GetMenuItemCount(m.menu) == 9);
    CHECK_EQ(EntryTitle(m.menu, 0), std::wstring(L"Desktop"));
    CHECK_EQ(EntryTitle(m.menu, 1), std::wstring(L"Beta"));
    CHECK_EQ(EntryTitle(m.menu, 2), std::wstring(L"Alpha"));
    MENUITEMINFOW info;
    memset(&info, 0, sizeof(info));
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID;
    for (int position = 0; position < 3; ++position) {
        CHECK_TRUE(GetMenuItemInfoW(m.menu, position, TRUE, &info));
        CHECK_TRUE((info.fType & MFT_OWNERDRAW) != 0);
        CHECK_EQ(info.wID, static_cast<UINT>(TASK_ITEM_FIRST_ID + position));
    }
    CHECK_TRUE(GetMenuItemInfoW(m.menu, 3, TRUE, &info));
    CHECK_EQ(info.fType, static_cast<UINT>(MFT_SEPARATOR));
    CHECK_TRUE(GetMenuItemInfoW(m.menu, 8, TRUE, &info));
    CHECK_EQ(info.wID, static_cast<UINT>(IDM_EXIT));

    // Below the button, its right edge on the button's.
    RECT button_rect;
    GetWindowRect(m.button, &button_rect);
    CHECK_EQ(m.popup_rect.right, button_rect.right);
    CHECK_EQ(m.popup_rect.top, button_rect.bottom);

    // "E&xit", chosen with the pen.
    REQUIRE(m.Choose(8));
    int code = -1;
    REQUIRE(host::WaitVeskExit(5000, &code));
    CHECK_EQ(code, 0);
    CHECK_FALSE(host::TaskBarHooked());
    CHECK_EQ(PopupMenuWindow(), static_cast<HWND>(nullptr));
    // The applications were left alone.
    CHECK_FALSE(m.alpha.WaitExit(0));
    CHECK_FALSE(m.beta.WaitExit(0));
}

CHECK(E2e, TaskItemsAreMeasuredAndDrawnByVesk) {
    OpenMenu m;
    REQUIRE(m.Open());
    REQUIRE(GetMenuItemCount(m.menu) == 9);

    // 18 pixels high at 96 dpi; the close glyph at the right end of each
    // application's row and not on the Desktop's.
    RECT rows[3];
    for (int i = 0; i < 3; ++i) CHECK_TRUE(GetMenuItemRect(nullptr, m.menu, i, &rows[i]));
    for (const RECT& row : rows) CHECK_EQ(row.bottom - row.top, 18);
    int cx = m.popup_rect.right - m.popup_rect.left;
    int cy = m.popup_rect.bottom - m.popup_rect.top;
    std::vector<COLORREF> pixels = host::Capture(m.popup, cx, cy);
    std::string out = e2e::OutputFolder() + "/menu.ppm";
    host::WritePpm(std::wstring(out.begin(), out.end()), pixels, cx, cy);
    auto glyph_in_row = [&](const RECT& item) {
        for (int y = item.top - m.popup_rect.top; y < item.bottom - m.popup_rect.top; ++y)
            for (int x = item.right - m.popup_rect.left - 18; x < item.right - m.popup_rect.left; ++x)
                if (x >= 0 && y >= 0 && x < cx && y < cy && pixels[static_cast<size_t>(y) * cx + x] == kCloseGlyph)
                    return true;
        return false;
    };
    CHECK_FALSE(glyph_in_row(rows[0]));
    CHECK_TRUE(glyph_in_row(rows[1]));
    CHECK_TRUE(glyph_in_row(rows[2]));

    // Choosing "Beta" on its close glyph closes it.
    RECT beta;
    REQUIRE(GetMenuItemRect(nullptr, m.menu, 1, &beta));
    host::Click(beta.right - 8, (beta.top + beta.bottom) / 2);
    CHECK_TRUE(m.beta.WaitExit(5000));
    CHECK_FALSE(m.alpha.WaitExit(0));
    PostMessageW(m.button, WM_CLOSE, 0, 0);
    int code = -1;
    CHECK_TRUE(host::WaitVeskExit(5000, &code));
}


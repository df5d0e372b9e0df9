// TrackPopupMenuEx on the simulated device: the owner measures and draws its
// owner-drawn items, the popup is placed as the flags say and kept on the
// screen, the item under the pen is highlighted, lifting the pen chooses,
// tapping outside dismisses, and the thread's other messages keep flowing
// while the popup is open.
#include <gtest/gtest.h>
#include <sim/device.h>
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "program.h"
#include "resource.h"
#include <sim/surface.h>
#include "vesk_image.h"

namespace {

constexpr COLORREF kOwnerPaint = RGB(0, 96, 0);
constexpr COLORREF kItem = RGB(0, 160, 0);
constexpr COLORREF kItemSelected = RGB(200, 0, 0);
constexpr UINT_PTR kTimer = 7;

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wparam;
};

// A program with two windows: the owner, over the screen below the taskbar,
// which opens a menu when the pen is lifted on it, and another window behind
// it. The owner draws its owner-drawn items as plain rectangles.
struct Host {
    HINSTANCE instance = nullptr;
    HWND owner = nullptr;
    HWND other = nullptr;
    std::map<UINT, SIZE> sizes;  // what the owner measures, by item id; 100 x 18 otherwise
    std::vector<MEASUREITEMSTRUCT> measures;
    std::vector<DRAWITEMSTRUCT> draws;
    std::vector<std::pair<COLORREF, COLORREF>> draw_colours;  // the context's text and background colours
    std::vector<Seen> seen;  // every other message of the two windows
    std::function<void(Host&)> on_tap;
    std::function<void(Host&)> on_timer;
    int taps = 0;
    int data[2] = {};

    std::vector<Seen> Of(HWND hwnd, UINT message) const {
        std::vector<Seen> out;
        for (const Seen& s : seen)
            if (s.hwnd == hwnd && s.message == message) out.push_back(s);
        return out;
    }
};

LRESULT CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    Host* host = reinterpret_cast<Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!host) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        host->measures.push_back(*mis);
        auto it = host->sizes.find(mis->itemID);
        SIZE size = it == host->sizes.end() ? SIZE{100, 18} : it->second;
        mis->itemWidth = UINT(size.cx);
        mis->itemHeight = UINT(size.cy);
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        host->draws.push_back(*dis);
        host->draw_colours.emplace_back(GetTextColor(dis->hDC), GetBkColor(dis->hDC));
        HBRUSH brush = CreateSolidBrush(dis->itemState & ODS_SELECTED ? kItemSelected : kItem);
        FillRect(dis->hDC, &dis->rcItem, brush);
        DeleteObject(brush);
        return TRUE;
    }
    case WM_PAINT: {
        host->seen.push_back({hwnd, msg, wp});
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH brush = CreateSolidBrush(kOwnerPaint);
        FillRect(dc, &ps.rcPaint, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_LBUTTONUP:
        host->seen.push_back({hwnd, msg, wp});
        if (hwnd == host->owner && host->on_tap) {
            ++host->taps;
            host->on_tap(*host);
        }
        return 0;
    case WM_TIMER:
        host->seen.push_back({hwnd, msg, wp});
        if (host->on_timer) host->on_timer(*host);
        return 0;
    default:
        host->seen.push_back({hwnd, msg, wp});
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

int HostMain(Host& host, HINSTANCE instance) {
    host.instance = instance;
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = instance;
    wc.lpszClassName = u"MenuHost";
    RegisterClassW(&wc);
    host.other = CreateWindowExW(0, u"MenuHost", u"Other", WS_POPUP | WS_VISIBLE, 0, 26, 120, 120, nullptr, nullptr,
                                 instance, &host);
    host.owner = CreateWindowExW(0, u"MenuHost", u"Owner", WS_POPUP | WS_VISIBLE, 0, 26, 240, 294, nullptr, nullptr,
                                 instance, &host);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return int(msg.wParam);
}

// Two owner-drawn items carrying pointers, a separator, a string item and a
// grayed string item, as vesk's task menu mixes them.
HMENU MixedMenu(Host& host) {
    HMENU menu = CreatePopupMenu();
    InsertMenuW(menu, 0, MF_BYPOSITION | MF_OWNERDRAW, 0x8000, reinterpret_cast<LPCWSTR>(&host.data[0]));
    InsertMenuW(menu, 1, MF_BYPOSITION | MF_OWNERDRAW, 0x8001, reinterpret_cast<LPCWSTR>(&host.data[1]));
    InsertMenuW(menu, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_MINIMIZE, u"&Minimize");
    AppendMenuW(menu, MF_STRING | MF_GRAYED, IDM_CLOSE_BACKGROUND, u"Close &Background Tasks");
    return menu;
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

class MenuTracking : public ::testing::Test {
protected:
    explicit MenuTracking(sim::DeviceConfig config = {}) : device(config) {}

    void SetUp() override {
        image.exe_path = u"\\Windows\\menuhost.exe";
        image.resources = vesk_host::VeskImage().resources;
        image.entry = [this](HINSTANCE instance) { return HostMain(host, instance); };
        pid = device.Start(image);
        ASSERT_TRUE(device.Running(pid));
    }

    // Opens `build`'s menu from the owner's pen-up with these flags at (x, y);
    // tracking runs until the test ends it.
    void Open(std::function<HMENU(Host&)> build, UINT flags = TPM_RETURNCMD | TPM_RIGHTALIGN, int x = 200,
              int y = 40) {
        host.on_tap = [this, build, flags, x, y](Host& h) {
            HMENU menu = build(h);
            ++opened;
            result = TrackPopupMenuEx(menu, flags, x, y, h.owner, nullptr);
            position = GetMessagePos();
            ++closed;
            DestroyMenu(menu);
        };
        host.measures.clear();
        host.draws.clear();
        device.Tap(230, 310);
        host.seen.clear();
    }

    sim::MenuView View() {
        auto view = device.OpenMenu();
        EXPECT_TRUE(view.has_value());
        return view.value_or(sim::MenuView{});
    }

    void TapItem(int position) {
        auto view = View();
        POINT c = Centre(view.items.at(size_t(position)).rect);
        device.Tap(c.x, c.y);
    }

    int Popups() {
        int n = 0;
        for (const auto& w : device.Windows())
            if (w.class_name == u"#32768") ++n;
        return n;
    }

    Host host;  // outlives the device, whose end unwinds the program's code
    sim::Device device;
    sim::ProgramImage image;
    DWORD pid = 0;
    int opened = 0, closed = 0;
    BOOL result = -1;
    DWORD position = 0;
};

}  // namespace

TEST_F(MenuTracking, OwnerMeasuresAndDrawsItsItemsAndThePopupHangsFromTheGivenPoint) {
    host.sizes[0x8000] = {200, 18};
    host.sizes[0x8001] = {120, 20};
    HMENU menu = nullptr;
    Open([&menu](Host& h) { return menu = MixedMenu(h); }, TPM_RETURNCMD | TPM_RIGHTALIGN, 230, 40);
    ASSERT_EQ(host.measures.size(), 2u);
    ASSERT_EQ(host.draws.size(), 2u);
    for (UINT k = 0; k < 2; ++k) {
        const MEASUREITEMSTRUCT& m = host.measures[k];
        EXPECT_EQ(m.CtlType, UINT(ODT_MENU));
        EXPECT_EQ(m.itemID, 0x8000 + k);
        EXPECT_EQ(m.itemData, reinterpret_cast<ULONG_PTR>(&host.data[k]));
        const DRAWITEMSTRUCT& d = host.draws[k];
        EXPECT_EQ(d.CtlType, UINT(ODT_MENU));
        EXPECT_EQ(d.itemID, 0x8000 + k);
        EXPECT_EQ(d.itemAction, UINT(ODA_DRAWENTIRE));
        EXPECT_EQ(d.itemState, 0u);
        EXPECT_EQ(d.hwndItem, reinterpret_cast<HWND>(menu));
        EXPECT_NE(d.hDC, nullptr);
        EXPECT_EQ(d.itemData, reinterpret_cast<ULONG_PTR>(&host.data[k]));
        // The popup's client coordinates, inside its one-pixel border, as
        // wide as the widest item and as high as the owner measured.
        EXPECT_EQ(d.rcItem.left, 1);
        EXPECT_EQ(d.rcItem.right, 201);
        EXPECT_EQ(d.rcItem.top, k == 0 ? 1 : 19);
        EXPECT_EQ(d.rcItem.bottom, k == 0 ? 19 : 39);
    }

    auto view = View();
    ASSERT_EQ(view.items.size(), 5u);
    EXPECT_EQ(view.rect.left, 28);
    EXPECT_EQ(view.rect.top, 40);
    EXPECT_EQ(view.rect.right, 230);
    EXPECT_EQ(view.rect.bottom, view.items[4].rect.bottom + 1);
    EXPECT_EQ(view.items[1].rect.left, 29);
    EXPECT_EQ(view.items[1].rect.top, 59);
    EXPECT_EQ(view.items[1].rect.right, 229);
    EXPECT_EQ(view.items[1].rect.bottom, 79);
    for (size_t i = 2; i < view.items.size(); ++i) {
        EXPECT_EQ(view.items[i].rect.top, view.items[i - 1].rect.bottom) << i;
        EXPECT_EQ(view.items[i].rect.right, 229);
    }
    EXPECT_TRUE(view.items[0].owner_drawn);
    EXPECT_TRUE(view.items[2].separator);
    EXPECT_EQ(view.items[3].text, u"&Minimize");
    EXPECT_EQ(view.items[3].id, UINT(IDM_MINIMIZE));
    EXPECT_FALSE(view.items[3].grayed);
    EXPECT_TRUE(view.items[4].grayed);

    // A topmost platform window of the caller's process that holds the pen
    // and takes neither the foreground nor the activation.
    auto windows = device.Windows();
    EXPECT_EQ(windows.front().hwnd, view.window);
    EXPECT_EQ(windows.front().class_name, u"#32768");
    EXPECT_EQ(windows.front().pid, pid);
    EXPECT_EQ(device.Capture(), view.window);
    EXPECT_EQ(device.Foreground(), host.owner);  // made foreground by the tap that opened the menu
    POINT first = Centre(view.items[0].rect);
    EXPECT_EQ(device.PixelAt(first.x, first.y), kItem);
    EXPECT_EQ(device.PixelAt(view.rect.left, view.rect.top), GetSysColor(COLOR_WINDOWFRAME));
    EndMenu();
    device.RunUntilIdle();

    // Nothing is kept from one showing to the next.
    host.sizes[0x8000] = {210, 18};
    Open(MixedMenu, TPM_RETURNCMD | TPM_RIGHTALIGN, 230, 40);
    EXPECT_EQ(host.measures.size(), 2u);
    EXPECT_EQ(View().rect.left, 18);
    EndMenu();
    device.RunUntilIdle();
}

TEST_F(MenuTracking, PopupIsPlacedByTheAlignmentFlagsAndKeptOnTheScreen) {
    // Two owner-drawn items of 100 x 18: the popup is 102 x 38.
    auto two = [](Host& h) {
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_OWNERDRAW, 1, reinterpret_cast<LPCWSTR>(&h.data[0]));
        AppendMenuW(menu, MF_OWNERDRAW, 2, reinterpret_cast<LPCWSTR>(&h.data[1]));
        return menu;
    };
    struct Case {
        UINT flags;
        int x, y;
        RECT expected;
    } cases[] = {
        {TPM_LEFTALIGN | TPM_TOPALIGN, 10, 50, {10, 50, 112, 88}},
        {TPM_CENTERALIGN, 120, 50, {69, 50, 171, 88}},
        {TPM_RIGHTALIGN, 200, 50, {98, 50, 200, 88}},
        {TPM_VCENTERALIGN, 10, 100, {10, 81, 112, 119}},
        {TPM_BOTTOMALIGN, 10, 100, {10, 62, 112, 100}},
        // Near the right and bottom edges it moves left and up just enough.
        {TPM_LEFTALIGN, 200, 300, {138, 282, 240, 320}},
        {TPM_RIGHTALIGN, 260, 40, {138, 40, 240, 78}},
        // Never left of or above the screen.
        {TPM_RIGHTALIGN, 50, 10, {0, 10, 102, 48}},
        {TPM_BOTTOMALIGN | TPM_CENTERALIGN, 20, 20, {0, 0, 102, 38}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << " at " << c.x << "," << c.y);
        Open(two, c.flags | TPM_RETURNCMD, c.x, c.y);
        auto view = View();
        EXPECT_EQ(view.rect.left, c.expected.left);
        EXPECT_EQ(view.rect.top, c.expected.top);
        EXPECT_EQ(view.rect.right, c.expected.right);
        EXPECT_EQ(view.rect.bottom, c.expected.bottom);
        EndMenu();
        device.RunUntilIdle();
        EXPECT_FALSE(device.OpenMenu());
    }
}

TEST_F(MenuTracking, PopupTallerThanTheScreenScrollsOneItemAtATimeBetweenItsArrows) {
    // A string item, then 39 owner-drawn items of 100 x 18: 40 items, too many for the screen.
    size_t mark = device.Log().size();
    Open([](Host& h) {
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 99, u"First");
        for (UINT i = 0; i < 39; ++i) AppendMenuW(menu, MF_OWNERDRAW, 100 + i, reinterpret_cast<LPCWSTR>(&h.data[0]));
        return menu;
    });
    auto view = View();
    ASSERT_TRUE(view.scrolls);
    EXPECT_EQ(view.rect.top, 0);
    EXPECT_EQ(view.rect.bottom, 320);
    // Arrow areas across the popup inside its border, as high as a string
    // item; the items start below the up arrow.
    const int arrow = view.up.bottom - view.up.top;
    EXPECT_EQ(arrow, view.items[0].rect.bottom - view.items[0].rect.top);
    EXPECT_EQ(view.up.top, 1);
    EXPECT_EQ(view.down.bottom, 319);
    EXPECT_EQ(view.down.bottom - view.down.top, arrow);
    EXPECT_EQ(view.up.left, view.rect.left + 1);
    EXPECT_EQ(view.down.right, view.rect.right - 1);
    EXPECT_EQ(view.items[0].rect.top, view.up.bottom);
    // The items wholly between the arrows are in view, and the owner draws
    // only those; the next one would be clipped by the down arrow: it is not
    // drawn, and its space stays blank.
    int shown = 0;
    while (view.items[size_t(shown)].in_view) ++shown;
    ASSERT_GT(shown, 1);
    for (size_t i = size_t(shown); i < view.items.size(); ++i) EXPECT_FALSE(view.items[i].in_view) << i;
    const RECT last = view.items[size_t(shown) - 1].rect;
    EXPECT_LE(last.bottom, view.down.top);
    EXPECT_GT(view.items[size_t(shown)].rect.bottom, view.down.top);
    ASSERT_EQ(host.draws.size(), size_t(shown - 1));
    for (int i = 1; i < shown; ++i) {
        EXPECT_EQ(host.draws[size_t(i) - 1].itemID, UINT(99 + i));
        EXPECT_EQ(host.draws[size_t(i) - 1].rcItem.top, view.items[size_t(i)].rect.top - view.rect.top);
    }
    ASSERT_LT(last.bottom, view.down.top);
    EXPECT_EQ(device.PixelAt(Centre(last).x, (last.bottom + view.down.top) / 2), GetSysColor(COLOR_MENU));
    // The up arrow is gray at the top, the down arrow is not.
    EXPECT_FALSE(view.can_scroll_up);
    EXPECT_EQ(device.PixelAt(Centre(view.up).x, Centre(view.up).y), GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(device.PixelAt(Centre(view.down).x, Centre(view.down).y), GetSysColor(COLOR_MENUTEXT));
    auto lines = testing_support::LogLines(device, "menu", mark);
    ASSERT_GT(lines.size(), size_t(shown) + 1);
    EXPECT_NE(lines[0].find(" scrolls"), std::string::npos) << lines[0];
    EXPECT_NE(lines[size_t(shown)].find(" in-view"), std::string::npos) << lines[size_t(shown)];
    EXPECT_NE(lines[size_t(shown) + 1].find(" out-of-view"), std::string::npos) << lines[size_t(shown) + 1];

    // A tap on the down arrow scrolls by one item; the owner draws what is in view now.
    host.draws.clear();
    const POINT down = Centre(view.down), up = Centre(view.up);
    device.Tap(down.x, down.y);
    view = View();
    EXPECT_EQ(view.first, 1);
    EXPECT_EQ(view.items[1].rect.top, view.up.bottom);
    EXPECT_FALSE(view.items[0].in_view);
    EXPECT_TRUE(view.items[size_t(shown)].in_view);
    ASSERT_FALSE(host.draws.empty());
    EXPECT_EQ(host.draws.front().itemID, 100u);
    EXPECT_EQ(host.draws.back().itemID, UINT(99 + shown));
    EXPECT_EQ(testing_support::LogLines(device, "menu scroll", mark),
              std::vector<std::string>{std::to_string(device.Now()) + " menu scroll first=1 last=" + std::to_string(shown)});
    EXPECT_EQ(device.PixelAt(up.x, up.y), GetSysColor(COLOR_MENUTEXT));

    // Held on an arrow, the pen scrolls again after 400 ms, then every 100 ms
    // until it is lifted; lifted there, it chooses nothing.
    device.PenDown(down.x, down.y);
    EXPECT_EQ(View().first, 2);
    device.Wait(399);
    EXPECT_EQ(View().first, 2);
    device.Wait(1);
    EXPECT_EQ(View().first, 3);
    device.Wait(100);
    EXPECT_EQ(View().first, 4);
    device.PenUp(down.x, down.y);
    device.Wait(1000);
    EXPECT_EQ(View().first, 4);
    device.Tap(up.x, up.y);
    EXPECT_EQ(View().first, 3);
    EXPECT_EQ(closed, 0);

    // At the end the last item is in view above the down arrow, which is gray and does nothing.
    while (View().can_scroll_down) device.Tap(down.x, down.y);
    view = View();
    EXPECT_TRUE(view.items[39].in_view);
    EXPECT_GT((40 - (view.first - 1)) * 18, view.down.top - view.up.bottom) << "it went no further than needed";
    EXPECT_LE(view.items[39].rect.bottom, view.down.top);
    EXPECT_EQ(device.PixelAt(down.x, down.y), GetSysColor(COLOR_GRAYTEXT));
    size_t scrolls = testing_support::LogLines(device, "menu scroll", mark).size();
    device.Tap(down.x, down.y);
    EXPECT_EQ(testing_support::LogLines(device, "menu scroll", mark).size(), scrolls);

    // An item scrolled into view is chosen where it is shown, and the lift
    // that chose is the thread's last message.
    POINT c = Centre(view.items[39].rect);
    device.Tap(c.x - 7, c.y + 2);
    EXPECT_EQ(result, 138);
    EXPECT_EQ(LOWORD(position), c.x - 7);
    EXPECT_EQ(HIWORD(position), c.y + 2);
}

TEST_F(MenuTracking, HighlightFollowsThePenAndLiftingChoosesTheItemUnderIt) {
    Open(MixedMenu);
    auto view = View();
    host.draws.clear();
    POINT first = Centre(view.items[0].rect), second = Centre(view.items[1].rect);
    POINT separator = Centre(view.items[2].rect), minimize = Centre(view.items[3].rect);
    POINT grayed = Centre(view.items[4].rect);
    auto states = [&] {
        std::vector<std::pair<UINT, UINT>> out;
        for (const auto& d : host.draws) {
            EXPECT_EQ(d.itemAction, UINT(ODA_SELECT));
            out.emplace_back(d.itemID, d.itemState);
        }
        host.draws.clear();
        return out;
    };
    using States = std::vector<std::pair<UINT, UINT>>;

    device.PenDown(first.x, first.y);
    EXPECT_EQ(states(), (States{{0x8000, ODS_SELECTED}}));
    device.PenMove(first.x + 3, first.y);
    EXPECT_EQ(states(), States{});
    device.PenMove(second.x, second.y);
    EXPECT_EQ(states(), (States{{0x8000, 0}, {0x8001, ODS_SELECTED}}));
    // Separators are never highlighted.
    device.PenMove(separator.x, separator.y);
    EXPECT_EQ(states(), (States{{0x8001, 0}}));
    // The platform draws its own items in the highlight colours.
    device.PenMove(minimize.x, minimize.y);
    EXPECT_EQ(device.PixelAt(view.items[3].rect.left + 2, minimize.y), GetSysColor(COLOR_HIGHLIGHT));
    // Grayed items are never highlighted.
    device.PenMove(grayed.x, grayed.y);
    EXPECT_EQ(device.PixelAt(view.items[3].rect.left + 2, minimize.y), GetSysColor(COLOR_MENU));
    EXPECT_EQ(device.PixelAt(view.items[4].rect.left + 2, grayed.y), GetSysColor(COLOR_MENU));
    // Off the popup nothing is.
    device.PenMove(second.x, second.y);
    EXPECT_EQ(states(), (States{{0x8001, ODS_SELECTED}}));
    device.PenMove(10, 200);
    EXPECT_EQ(states(), (States{{0x8001, 0}}));
    device.PenMove(second.x, second.y);
    states();
    EXPECT_TRUE(device.OpenMenu());

    device.PenUp(second.x - 20, second.y + 2);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(result, 0x8001);
    // The lift that chose is the thread's last message.
    EXPECT_EQ(LOWORD(position), second.x - 20);
    EXPECT_EQ(HIWORD(position), second.y + 2);
    EXPECT_FALSE(device.OpenMenu());
    EXPECT_EQ(device.Capture(), nullptr);
    EXPECT_EQ(Popups(), 0);
    // The owner saw none of the pen's messages while the menu had it.
    EXPECT_TRUE(host.Of(host.owner, WM_LBUTTONUP).empty());
    EXPECT_TRUE(host.Of(host.owner, WM_LBUTTONDOWN).empty());
}

TEST_F(MenuTracking, GrayedItemsSeparatorsAndTheBorderCannotBeChosen) {
    Open(MixedMenu);
    auto view = View();
    TapItem(4);
    TapItem(2);
    device.Tap(view.rect.left, Centre(view.items[0].rect).y);  // the border
    EXPECT_EQ(closed, 0);
    EXPECT_TRUE(device.OpenMenu());
    TapItem(3);
    EXPECT_EQ(result, IDM_MINIMIZE);
}

TEST_F(MenuTracking, TapOutsideDismissesAndTheTapReachesNoWindow) {
    auto windows = device.Windows().size();
    sim::Counts before = device.CountsOf(pid);
    Open(MixedMenu);
    EXPECT_EQ(device.CountsOf(pid).windows, before.windows + 1);
    device.PenDown(20, 300);
    // Dismissed as the pen goes down; the rest of the stroke goes nowhere.
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(device.OpenMenu());
    device.PenMove(30, 290);
    device.PenUp(30, 290);
    EXPECT_EQ(host.taps, 1);  // the pen-up did not reach the owner and open the menu again
    EXPECT_TRUE(host.Of(host.owner, WM_LBUTTONDOWN).empty());
    EXPECT_TRUE(host.Of(host.owner, WM_LBUTTONUP).empty());
    EXPECT_EQ(device.Capture(), nullptr);
    EXPECT_EQ(Popups(), 0);
    EXPECT_EQ(device.Windows().size(), windows);
    EXPECT_EQ(device.CountsOf(pid).windows, before.windows);
    EXPECT_EQ(device.CountsOf(pid).menus, before.menus);

    // The next tap is the owner's again.
    device.Tap(230, 310);
    EXPECT_EQ(host.taps, 2);
    EndMenu();
    device.RunUntilIdle();
}

TEST_F(MenuTracking, LiftingOutsideAfterTouchingAnItemDismisses) {
    Open(MixedMenu);
    POINT first = Centre(View().items[0].rect);
    device.PenDown(first.x, first.y);
    device.PenMove(first.x, 250);
    device.PenUp(first.x, 250);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host.taps, 1);
}

TEST_F(MenuTracking, TimersPaintsAndPostedMessagesAreDispatchedWhileThePopupIsOpen) {
    host.on_timer = [](Host& h) {
        InvalidateRect(h.other, nullptr, FALSE);
        PostMessageW(h.other, WM_APP, 5, 0);
    };
    Open([](Host& h) {
        SetTimer(h.owner, kTimer, 100, nullptr);
        return MixedMenu(h);
    });
    device.Wait(250);
    EXPECT_TRUE(device.OpenMenu());
    EXPECT_EQ(host.Of(host.owner, WM_TIMER).size(), 2u);
    EXPECT_EQ(host.Of(host.other, WM_PAINT).size(), 2u);
    auto posted = host.Of(host.other, WM_APP);
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].wparam, 5u);
    TapItem(0);
    EXPECT_EQ(result, 0x8000);
}

TEST_F(MenuTracking, QuitMessageEndsTrackingAndReachesTheCallersLoop) {
    host.on_timer = [](Host& h) {
        KillTimer(h.owner, kTimer);
        PostQuitMessage(3);
    };
    Open([](Host& h) {
        SetTimer(h.owner, kTimer, 100, nullptr);
        return MixedMenu(h);
    });
    device.Wait(100);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(device.Running(pid));
    EXPECT_EQ(device.ExitCode(pid), 3);
}

TEST_F(MenuTracking, DestroyingTheOwnerEndsTracking) {
    HWND owner = host.owner;
    host.on_timer = [](Host& h) {
        KillTimer(h.owner, kTimer);
        DestroyWindow(h.owner);
    };
    Open([](Host& h) {
        SetTimer(h.owner, kTimer, 100, nullptr);
        return MixedMenu(h);
    });
    device.Wait(100);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(device.OpenMenu());
    EXPECT_EQ(Popups(), 0);
    EXPECT_EQ(device.NameOf(owner), "destroyed");
}

TEST_F(MenuTracking, WithoutReturnCmdTheChoiceIsPostedToTheOwner) {
    Open(MixedMenu, TPM_RIGHTALIGN);
    TapItem(1);
    EXPECT_NE(result, 0);
    EXPECT_NE(result, 0x8001);
    auto commands = host.Of(host.owner, WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wparam, 0x8001u);
}

TEST_F(MenuTracking, BadMenuBadOwnerAndEmptyMenuFailWithoutShowingAnything) {
    std::vector<BOOL> results;
    host.on_tap = [&results](Host& h) {
        HMENU empty = CreatePopupMenu();
        HMENU full = MixedMenu(h);
        HMENU stale = CreatePopupMenu();
        DestroyMenu(stale);
        results.push_back(TrackPopupMenuEx(stale, TPM_RETURNCMD, 10, 40, h.owner, nullptr));
        results.push_back(TrackPopupMenuEx(full, TPM_RETURNCMD, 10, 40, reinterpret_cast<HWND>(0x1234), nullptr));
        results.push_back(TrackPopupMenuEx(empty, TPM_RETURNCMD, 10, 40, h.owner, nullptr));
        results.push_back(TrackPopupMenuEx(empty, 0, 10, 40, h.owner, nullptr));
        DestroyMenu(empty);
        DestroyMenu(full);
    };
    size_t mark = device.Log().size();
    device.Tap(230, 310);
    EXPECT_EQ(results, (std::vector<BOOL>{0, 0, 0, 0}));
    EXPECT_TRUE(host.measures.empty());
    for (size_t i = mark; i < device.Log().size(); ++i)
        EXPECT_EQ(device.Log()[i].find("menu open"), std::string::npos) << device.Log()[i];
    EXPECT_EQ(Popups(), 0);
}

TEST_F(MenuTracking, OpeningAndClosingLogsThePopupAndEveryItem) {
    size_t mark = device.Log().size();
    Open([](Host& h) {
        HMENU menu = MixedMenu(h);
        AppendMenuW(menu, MF_STRING, 9, u"Say \"hi\"");
        return menu;
    });
    auto view = View();
    TapItem(1);
    auto rect = [](const RECT& r) {
        return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
               std::to_string(r.bottom);
    };
    std::vector<std::string> lines;
    for (size_t i = mark; i < device.Log().size(); ++i) {
        const std::string& line = device.Log()[i];
        std::string text = line.substr(line.find(' ') + 1);
        if (text.rfind("menu", 0) == 0) lines.push_back(text);
    }
    std::vector<std::string> expected = {
        "menu open items=6 rect=" + rect(view.rect),
        "menu-item 0 id=32768 owner-drawn rect=" + rect(view.items[0].rect),
        "menu-item 1 id=32769 owner-drawn rect=" + rect(view.items[1].rect),
        "menu-item 2 id=0 separator rect=" + rect(view.items[2].rect),
        "menu-item 3 id=40009 text=\"&Minimize\" rect=" + rect(view.items[3].rect),
        "menu-item 4 id=40010 text=\"Close &Background Tasks\" grayed rect=" + rect(view.items[4].rect),
        "menu-item 5 id=9 text=\"Say \\\"hi\\\"\" rect=" + rect(view.items[5].rect),
        "menu closed result=32769",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(MenuTracking, PlatformDrawsTextSeparatorsAndGrayedItemsAndTheScreenIsRepaintedAfter) {
    Open(MixedMenu);
    auto view = View();
    auto count = [&](const RECT& r, COLORREF colour) {
        const sim::Surface& screen = device.Screen();
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += screen.At(x, y) == colour;
        return n;
    };
    EXPECT_GT(count(view.items[3].rect, GetSysColor(COLOR_MENUTEXT)), 20);
    EXPECT_GT(count(view.items[4].rect, GetSysColor(COLOR_GRAYTEXT)), 20);
    EXPECT_EQ(count(view.items[4].rect, GetSysColor(COLOR_MENUTEXT)), 0);
    EXPECT_GT(count(view.items[2].rect, GetSysColor(COLOR_BTNSHADOW)), 50);
    RECT popup = view.rect;
    EXPECT_EQ(count(RECT{popup.left, popup.top, popup.right, popup.top + 1}, GetSysColor(COLOR_WINDOWFRAME)),
              popup.right - popup.left);

    device.Tap(5, 300);
    // The owner lay under the popup: it repaints that part of itself.
    auto paints = host.Of(host.owner, WM_PAINT);
    EXPECT_EQ(paints.size(), 1u);
    EXPECT_EQ(count(popup, kOwnerPaint), (popup.right - popup.left) * (popup.bottom - popup.top));
}

TEST_F(MenuTracking, ManyShowingsLeaveNothingBehind) {
    Open(MixedMenu);
    device.Tap(5, 300);
    sim::Counts before = device.CountsOf(pid);
    size_t windows = device.Windows().size();
    for (int i = 0; i < 100; ++i) {
        device.Tap(230, 310);
        if (i % 2)
            device.Tap(5, 300);
        else
            TapItem(3);
    }
    EXPECT_EQ(closed, 101);
    sim::Counts after = device.CountsOf(pid);
    EXPECT_EQ(after.gdi, before.gdi);
    EXPECT_EQ(after.menus, before.menus);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(device.Windows().size(), windows);
}

namespace {

class MenuTrackingHighResolution : public MenuTracking {
protected:
    MenuTrackingHighResolution() : MenuTracking({.width = 480, .height = 640, .dpi = 192}) {}
};

}  // namespace

TEST_F(MenuTrackingHighResolution, BorderScalesWithTheScreenAndOwnerSizesAreKept) {
    host.sizes[0x8000] = {400, 36};
    host.sizes[0x8001] = {200, 36};
    Open(MixedMenu, TPM_RETURNCMD | TPM_RIGHTALIGN, 480, 52);
    auto view = View();
    EXPECT_EQ(view.rect.right, 480);
    EXPECT_EQ(view.rect.top, 52);
    EXPECT_EQ(view.rect.right - view.rect.left, 404);
    EXPECT_EQ(view.items[0].rect.top, 54);
    EXPECT_EQ(view.items[0].rect.bottom, 90);
    EXPECT_EQ(view.items[0].rect.right, 478);
    TapItem(0);
    EXPECT_EQ(result, 0x8000);
}

TEST_F(MenuTracking, OwnerDrawContextComesWithTheColoursOfTheItemsState) {
    Open(MixedMenu);
    auto view = View();
    host.draws.clear();
    host.draw_colours.clear();
    POINT first = Centre(view.items[0].rect);
    device.PenDown(first.x, first.y);
    ASSERT_EQ(host.draw_colours.size(), 1u);
    EXPECT_EQ(host.draw_colours[0].first, GetSysColor(COLOR_HIGHLIGHTTEXT));
    EXPECT_EQ(host.draw_colours[0].second, GetSysColor(COLOR_HIGHLIGHT));
    POINT second = Centre(view.items[1].rect);
    device.PenMove(second.x, second.y);
    ASSERT_EQ(host.draw_colours.size(), 3u);
    EXPECT_EQ(host.draw_colours[1].first, GetSysColor(COLOR_MENUTEXT));
    EXPECT_EQ(host.draw_colours[1].second, GetSysColor(COLOR_MENU));
    device.PenUp(second.x, second.y);
}

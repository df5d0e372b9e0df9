// Windows: enumeration order, parents and owners, class names and titles cut
// to the caller's buffer, rectangles in screen coordinates, hiding and
// moving to the bottom.
#include "check.h"

#include <algorithm>

namespace {

struct Enumeration {
    std::vector<HWND> wanted;
    std::vector<HWND> seen;
    int calls = 0;
    int stop_after = -1;
};

BOOL CALLBACK Collect(HWND hwnd, LPARAM lParam) {
    Enumeration* e = reinterpret_cast<Enumeration*>(lParam);
    ++e->calls;
    for (HWND w : e->wanted)
        if (w == hwnd) e->seen.push_back(hwnd);
    return e->stop_after < 0 || e->calls < e->stop_after;
}

std::vector<HWND> Order(std::vector<HWND> wanted) {
    Enumeration e;
    e.wanted = std::move(wanted);
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&e));
    return e.seen;
}

std::string Names(const std::vector<HWND>& order, HWND a, HWND b, HWND c, HWND d = nullptr) {
    std::string s;
    for (HWND h : order) s += h == a ? 'A' : h == b ? 'B' : h == c ? 'C' : h == d ? 'D' : '?';
    return s;
}

constexpr UINT kKeep = SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE;

}  // namespace

CHECK(Window, EnumWindowsGoesFromFrontToBack) {
    conf::TestWindow a(20, 60, 30, 30);
    conf::TestWindow b(40, 70, 30, 30);
    conf::TestWindow c(60, 80, 30, 30);
    conf::TestWindow hidden(80, 90, 30, 30, WS_POPUP);
    conf::TestWindow child(2, 2, 10, 10, WS_CHILD | WS_VISIBLE, 0, a);
    std::vector<HWND> all{a, b, c, hidden, child};

    // Every top-level window, shown or not, the newest in front; no children.
    CHECK_EQ(Names(Order(all), a, b, c, hidden), std::string("DCBA"));

    SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, kKeep);
    CHECK_EQ(Names(Order(all), a, b, c, hidden), std::string("ADCB"));
    SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, kKeep);
    CHECK_EQ(Names(Order(all), a, b, c, hidden), std::string("ADBC"));
}

CHECK(Window, EnumWindowsStopsWhenTheCallbackSaysSo) {
    conf::TestWindow a(20, 60, 30, 30);
    Enumeration e;
    e.stop_after = 2;
    CHECK_FALSE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&e)));
    CHECK_EQ(e.calls, 2);
}

CHECK(Window, HidingAtTheBottomAsVeskHidesAShellWindow) {
    conf::TestWindow a(20, 60, 30, 30);
    conf::TestWindow b(40, 70, 30, 30);
    conf::TestWindow c(60, 80, 30, 30);
    CHECK_TRUE(SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_HIDEWINDOW));
    CHECK_FALSE(IsWindowVisible(c));
    CHECK_EQ(Names(Order({a, b, c}), a, b, c), std::string("BAC"));
}

CHECK(Window, ParentOfChildrenAndOwnedWindows) {
    known_difference(
        "GetParent of an owned top-level window answers its owner on Windows CE whatever its style; desktop "
        "Windows answers the owner only for a WS_POPUP window and nothing for an overlapped one. vesk asks it of "
        "dialogs, which are pop-ups on both.");
    conf::TestWindow owner(20, 60, 60, 60);
    conf::TestWindow popup(30, 70, 20, 20, WS_POPUP | WS_VISIBLE, 0, owner);
    conf::TestWindow overlapped(30, 70, 20, 20, WS_OVERLAPPED, 0, owner);
    conf::TestWindow child(5, 5, 10, 10, WS_CHILD | WS_VISIBLE, 0, owner);
    conf::TestWindow alone(90, 70, 20, 20);

    CHECK_EQ(GetParent(child), owner.hwnd());
    CHECK_EQ(GetParent(popup), owner.hwnd());
    CHECK_EQ(GetParent(overlapped), ce_or_desktop(owner.hwnd(), static_cast<HWND>(nullptr)));
    CHECK_EQ(GetParent(alone), static_cast<HWND>(nullptr));
    CHECK_EQ(GetWindow(popup, GW_OWNER), owner.hwnd());
    CHECK_EQ(GetWindow(overlapped, GW_OWNER), owner.hwnd());
}

CHECK(Window, ClassNameAndTitleAreCutToTheBuffer) {
    conf::TestWindow window(20, 60, 30, 30, WS_POPUP | WS_VISIBLE, 0, nullptr, TEXT("Calendar"));
    const conf::WString full = conf::kRecorderClass;
    WCHAR buffer[64];

    CHECK_EQ(GetClassNameW(window, buffer, 64), static_cast<int>(full.size()));
    CHECK_EQ(conf::WString(buffer), full);
    // A buffer of 8 holds 7 characters and the terminator.
    std::fill_n(buffer, 64, TEXT('#'));
    CHECK_EQ(GetClassNameW(window, buffer, 8), 7);
    CHECK_EQ(conf::WString(buffer), full.substr(0, 7));
    CHECK_EQ(buffer[8], TEXT('#'));
    CHECK_EQ(GetClassNameW(window, buffer, 0), 0);

    CHECK_EQ(GetWindowTextLengthW(window), 8);
    std::fill_n(buffer, 64, TEXT('#'));
    CHECK_EQ(GetWindowTextW(window, buffer, 4), 3);
    CHECK_EQ(conf::WString(buffer), conf::WString(TEXT("Cal")));
    CHECK_EQ(GetWindowTextW(window, buffer, 9), 8);
    CHECK_EQ(conf::WString(buffer), conf::WString(TEXT("Calendar")));
}

// The title of a window that is gone reads as the empty string: the
// terminator is written even when nothing else can be.
CHECK(Window, TheTitleOfAWindowThatIsGoneIsEmpty) {
    HWND gone;
    {
        conf::TestWindow window(20, 60, 30, 30);
        gone = window;
    }
    WCHAR buffer[16];
    std::fill_n(buffer, 16, TEXT('#'));
    CHECK_EQ(GetWindowTextW(gone, buffer, 16), 0);
    CHECK_EQ(buffer[0], TEXT('\0'));
}

CHECK(Window, StylesAreKeptAsGiven) {
    known_difference(
        "Every window on Windows CE clips its siblings and its style does not say so; desktop Windows adds "
        "WS_CLIPSIBLINGS to the style of every top-level window. vesk compares a property sheet's whole style "
        "with 0x90000004, so ce_on_desktop.h takes the desktop's bit out again.");
    const DWORD sheet = 0x90000004;  // WS_POPUP | WS_VISIBLE | 0x4
    conf::TestWindow window(20, 60, 30, 30, sheet, 0x80000000);
    conf::TestWindow child(2, 2, 10, 10, WS_CHILD | WS_VISIBLE, 0, window);
    CHECK_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)),
             ce_or_desktop(sheet, static_cast<DWORD>(sheet | WS_CLIPSIBLINGS)));
    // The extended style keeps the caption's OK button bit, which only the device knows.
    CHECK_EQ(static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)), 0x80000000u);
    CHECK_EQ(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
}

CHECK(Window, RectanglesOfChildrenAreInScreenCoordinates) {
    conf::TestWindow parent(30, 60, 100, 40);
    conf::TestWindow child(72, 0, 28, 26, WS_CHILD | WS_VISIBLE, 0, parent);
    RECT rc{0, 0, 0, 0};
    CHECK_TRUE(GetWindowRect(child, &rc));
    CHECK_EQ(rc, (RECT{102, 60, 130, 86}));
    CHECK_TRUE(GetClientRect(child, &rc));
    CHECK_EQ(rc, (RECT{0, 0, 28, 26}));
}

// A dialog frame or a border takes its width on each side from the client
// area: the client rectangle, the client origin, and the WM_MOVE and
// WM_SIZE of a move all tell of the window less its frame.
CHECK(Window, AFrameIsTakenFromTheClientArea) {
    conf::TestWindow parent(30, 60, 100, 40);
    const int dlg_x = GetSystemMetrics(SM_CXDLGFRAME), dlg_y = GetSystemMetrics(SM_CYDLGFRAME);
    CHECK_TRUE(dlg_x > 1 && dlg_y > 1);
    const struct {
        DWORD style, exstyle;
        int fx, fy;
    } cases[] = {{0, 0, 0, 0},
                 {0, WS_EX_DLGMODALFRAME, dlg_x, dlg_y},
                 {WS_BORDER, 0, GetSystemMetrics(SM_CXBORDER), GetSystemMetrics(SM_CYBORDER)}};
    for (const auto& c : cases) {
        conf::TestWindow child(72, 0, 28, 26, WS_CHILD | WS_VISIBLE | c.style, c.exstyle, parent);
        RECT rc{0, 0, 0, 0};
        CHECK_TRUE(GetWindowRect(child, &rc));
        CHECK_EQ(rc, (RECT{102, 60, 130, 86}));
        CHECK_TRUE(GetClientRect(child, &rc));
        CHECK_EQ(rc, (RECT{0, 0, 28 - 2 * c.fx, 26 - 2 * c.fy}));
        POINT origin{0, 0};
        CHECK_TRUE(ClientToScreen(child, &origin));
        CHECK_EQ(origin.x, 102L + c.fx);
        CHECK_EQ(origin.y, 60L + c.fy);
        CHECK_TRUE(MoveWindow(child, 10, 5, 40, 30, TRUE));
        std::vector<conf::Received> moves = conf::Messages(child, WM_MOVE), sizes = conf::Messages(child, WM_SIZE);
        REQUIRE(!moves.empty() && !sizes.empty());
        CHECK_EQ(moves.back().lParam, MAKELPARAM(10 + c.fx, 5 + c.fy));
        CHECK_EQ(sizes.back().lParam, MAKELPARAM(40 - 2 * c.fx, 30 - 2 * c.fy));
    }
}

CHECK(Window, ResizingSendsWmSizeWithTheNewClientSize) {
    conf::TestWindow w(20, 60, 30, 30);
    const size_t before = conf::Messages(w, WM_SIZE).size();
    // Moved only: no WM_SIZE.
    CHECK_TRUE(MoveWindow(w, 40, 70, 30, 30, TRUE));
    CHECK_EQ(conf::Messages(w, WM_SIZE).size(), before);
    CHECK_TRUE(MoveWindow(w, 40, 70, 50, 20, TRUE));
    std::vector<conf::Received> sizes = conf::Messages(w, WM_SIZE);
    REQUIRE(sizes.size() == before + 1);
    CHECK_EQ(sizes.back().wParam, static_cast<WPARAM>(SIZE_RESTORED));
    CHECK_EQ(sizes.back().lParam, MAKELPARAM(50, 20));
}

namespace {

WNDPROC g_recorder = nullptr;

// Answers WM_WINDOWPOSCHANGED itself, as a window that lays itself out there.
LRESULT CALLBACK AnswersWindowPosChanged(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_WINDOWPOSCHANGED) return 0;
    return CallWindowProcW(g_recorder, hwnd, message, wParam, lParam);
}

}  // namespace

// A moved and resized window is told so in WM_WINDOWPOSCHANGED, whose
// WINDOWPOS the default procedure reads to send WM_MOVE and WM_SIZE: a
// procedure that answers it itself gets neither. The taskbar's procedure
// and vesk's button leave it to the default procedure.
CHECK(Window, WmMoveAndWmSizeComeFromTheDefaultProcedure) {
    conf::TestWindow w(20, 60, 30, 30);
    const size_t before = conf::Log().size();
    CHECK_TRUE(MoveWindow(w, 40, 70, 50, 20, TRUE));
    std::vector<conf::Received> seen;
    for (size_t i = before; i < conf::Log().size(); ++i) {
        const conf::Received& r = conf::Log()[i];
        if (r.hwnd == w && (r.message == WM_WINDOWPOSCHANGED || r.message == WM_MOVE || r.message == WM_SIZE))
            seen.push_back(r);
    }
    REQUIRE(seen.size() == 3u);
    CHECK_EQ(seen[0].message, static_cast<UINT>(WM_WINDOWPOSCHANGED));
    CHECK_EQ(seen[1].message, static_cast<UINT>(WM_MOVE));
    CHECK_EQ(seen[1].lParam, MAKELPARAM(40, 70));
    CHECK_EQ(seen[2].message, static_cast<UINT>(WM_SIZE));
    CHECK_EQ(seen[2].lParam, MAKELPARAM(50, 20));

    g_recorder = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC));
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AnswersWindowPosChanged));
    const size_t moves = conf::Messages(w, WM_MOVE).size(), sizes = conf::Messages(w, WM_SIZE).size();
    CHECK_TRUE(MoveWindow(w, 10, 30, 60, 40, TRUE));
    CHECK_EQ(conf::Messages(w, WM_MOVE).size(), moves);
    CHECK_EQ(conf::Messages(w, WM_SIZE).size(), sizes);
    SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_recorder));
}

CHECK(Window, TheFrontWindowOfAnotherProgramGoesAway) {
    known_difference(
        "When the window in front is hidden, minimized or destroyed, Windows CE brings the next shown window to "
        "the front, whichever program did it. Desktop Windows does so for the thread that owns the window; a "
        "window that another program hid or minimized stays in front. The Wine test host's stand-in shell "
        "brings the next window to the front itself, as the device does.");
    struct Way {
        const char* name;
        void (*act)(HWND);
        bool next_in_front_on_ce;
        bool next_in_front_on_desktop;
    };
    const Way ways[] = {
        {"hidden at the bottom, as vesk hides a window",
         [](HWND w) { SetWindowPos(w, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_HIDEWINDOW); }, true,
         false},
        {"minimized, as vesk minimizes one", [](HWND w) { ShowWindow(w, SW_MINIMIZE); }, true, false},
        {"destroyed by its program when asked to close", [](HWND w) { PostMessageW(w, WM_CLOSE, 0, 0); }, true,
         true},
    };
    conf::TestWindow mine(20, 60, 40, 40);
    for (const Way& way : ways) {
        HWND other = conf::OtherProgram(80, 60, 60, 60);
        REQUIRE(other != nullptr);
        CHECK_EQ(GetForegroundWindow(), other);
        way.act(other);
        conf::Pump(500);
        const bool next_in_front = GetForegroundWindow() == mine.hwnd();
        if (next_in_front != ce_or_desktop(way.next_in_front_on_ce, way.next_in_front_on_desktop))
            conf::Fail(__FILE__, __LINE__,
                       std::string(way.name) + ": in front is " + conf::ShowValue(GetForegroundWindow()) +
                           ", the next window is " + conf::ShowValue(mine.hwnd()) + ", the one that went " +
                           conf::ShowValue(other));
        // The next way starts afresh: a window left minimized could come to the front.
        PostMessageW(other, WM_CLOSE, 0, 0);
        conf::Pump(200);
    }
}

namespace {

// What a window saw of itself and of the front as it was being destroyed.
struct AtDestroy {
    bool visible;
    HWND front;
} g_at_destroy;

LRESULT CALLBACK WatchesItsEnd(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) g_at_destroy = AtDestroy{IsWindowVisible(hwnd) != FALSE, GetForegroundWindow()};
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

CHECK(Window, TheNextWindowComesToTheFrontOnceTheFrontOneIsGone) {
    known_difference(
        "A window in front that is destroyed is hidden first on both platforms; desktop Windows also brings the "
        "next window to the front before the window gets WM_DESTROY, Windows CE once it is gone. The Wine script "
        "player logs a change of the foreground once the window that left it is gone.");
    WNDCLASSW wc;
    memset(&wc, 0, sizeof(wc));
    wc.lpfnWndProc = WatchesItsEnd;
    wc.hInstance = conf::Instance();
    wc.lpszClassName = TEXT("ConformanceWatchesItsEnd");
    RegisterClassW(&wc);
    conf::TestWindow next(20, 60, 40, 40);
    HWND front = CreateWindowExW(0, TEXT("ConformanceWatchesItsEnd"), TEXT(""), WS_POPUP | WS_VISIBLE, 30, 70, 40, 40, nullptr,
                                 nullptr, conf::Instance(), nullptr);
    REQUIRE(front != nullptr);
    SetForegroundWindow(front);
    conf::Pump(100);
    REQUIRE(GetForegroundWindow() == front);
    g_at_destroy = AtDestroy{true, nullptr};
    DestroyWindow(front);
    CHECK_FALSE(g_at_destroy.visible);
    CHECK_EQ(g_at_destroy.front, ce_or_desktop(front, next.hwnd()));
    conf::Pump(100);
    CHECK_EQ(GetForegroundWindow(), next.hwnd());
}

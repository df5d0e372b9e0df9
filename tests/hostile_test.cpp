// Applications that make vesk's life hard: titles empty, one character long,
// 100,000 characters long or full of control characters; windows destroyed
// or retitled while the task menu is open; an application that never answers
// WM_CLOSE or the OK command; hundreds of windows in a popup taller than the
// screen; a device without a desktop or without a taskbar. vesk keeps
// working, acts only on what is still there, and gives back what it took.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vesk.h"
#include "vesk_image.h"

namespace {

constexpr UINT kTaskFirst = 0x8000;

class Hostile : public ::testing::Test {
protected:
    void SetUp() override { Boot({}); }

    void Boot(const sim::DeviceConfig& config) {
        device_.reset();
        device_ = std::make_unique<sim::Device>(config);
    }

    void Start() {
        vesk_ = vesk_host::StartVesk(*device_);
        ASSERT_TRUE(device_->Running(vesk_));
        baseline_ = device_->CountsOf(vesk_);
        EXPECT_EQ(baseline_.heap, 0);
        button_ = ButtonRect();
    }

    sim::Device& dev() { return *device_; }

    HWND App(const std::string& name, const sim::WString& title, sim::OnClose on_close = sim::OnClose::Destroy) {
        sim::AppConfig app;
        app.name = name;
        app.title = title;
        app.on_close = on_close;
        HWND h = device_->Launch(app);
        EXPECT_NE(h, nullptr) << name;
        return h;
    }

    RECT ButtonRect() const {
        for (const sim::WindowInfo& w : device_->Windows())
            if (w.class_name == u"VeskClass") return w.rect;
        return RECT{};
    }

    // A tap on the menu strip; the popup must be open afterwards.
    sim::MenuView OpenMenu() {
        device_->Tap(button_.left + device_->ScaleX(2), button_.top + device_->ScaleY(8));
        std::optional<sim::MenuView> menu = device_->OpenMenu();
        EXPECT_TRUE(menu.has_value()) << "a tap on the strip opens the task menu";
        return menu.value_or(sim::MenuView{});
    }

    void Dismiss() { device_->Tap(0, device_->config().height - 1); }

    static POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

    // The item of a window: its position in the open menu, found by the
    // order in which vesk lists windows (the platform's z-order, front first).
    int PositionOf(const sim::MenuView& menu, UINT id) const {
        for (const sim::MenuItemView& item : menu.items)
            if (item.id == id) return item.position;
        return -1;
    }

    void TapItem(const sim::MenuView& menu, int position, std::optional<int> x = std::nullopt) {
        ASSERT_GE(position, 0);
        ASSERT_LT(size_t(position), menu.items.size());
        POINT c = Centre(menu.items[size_t(position)].rect);
        device_->Tap(x.value_or(c.x), c.y);
    }

    // Once no menu is open and nobody is waited for, vesk holds what it held
    // after start-up, and never deleted a selected object.
    void ExpectFlat(const char* when) {
        ASSERT_FALSE(device_->OpenMenu()) << when;
        sim::Counts now = device_->CountsOf(vesk_);
        EXPECT_EQ(now, baseline_) << when << ": gdi=" << now.gdi << " icons=" << now.icons << " menus=" << now.menus
                                  << " handles=" << now.handles << " snapshots=" << now.snapshots << " heap=" << now.heap;
        for (const std::string& line : device_->Log()) {
            EXPECT_EQ(line.find("delete-selected"), std::string::npos) << line;
            EXPECT_EQ(line.find("invalid-free"), std::string::npos) << line;
        }
    }

    // vesk ends at WM_CLOSE and leaves only its mutex and class brush.
    void QuitAndCheck() {
        device_->Close(vesk_, u"VeskClass");
        ASSERT_FALSE(device_->Running(vesk_));
        EXPECT_EQ(device_->ExitCode(vesk_), 0);
        sim::Counts left = device_->Reclaimed(vesk_);
        EXPECT_EQ(left.heap, 0);
        EXPECT_EQ(left.menus, 0);
        EXPECT_EQ(left.icons, 0);
        EXPECT_EQ(left.snapshots, 0);
        EXPECT_LE(left.gdi, 1);
        EXPECT_LE(left.handles, 1);
    }

    bool Received(HWND h, UINT message) const {
        for (const sim::ReceivedMessage& m : device_->Received(h))
            if (m.message == message) return true;
        return false;
    }

    std::unique_ptr<sim::Device> device_;
    DWORD vesk_ = 0;
    sim::Counts baseline_{};
    RECT button_{};
};

sim::WString LongTitle(size_t n) {
    sim::WString t;
    t.reserve(n);
    for (size_t i = 0; i < n; ++i) t += WCHAR(u'a' + i % 26);
    return t;
}

}  // namespace

TEST_F(Hostile, TitlesOfEveryLengthAndControlCharacters) {
    sim::WString controls;
    for (WCHAR c = 1; c < 0x20; ++c) controls += c;
    App("empty", u"");
    App("one", u"x");
    App("two", u"xy");
    HWND ctl = App("ctl", u"Tab\there\r\nand" + controls + u"&&&");
    HWND huge = App("huge", LongTitle(100000));
    Start();

    sim::MenuView menu = OpenMenu();
    // Desktop, two, ctl, huge, a separator and the template's five items:
    // the empty and one-character titles are not listed.
    ASSERT_EQ(menu.items.size(), 10u);
    // The popup never leaves the screen, however wide the titles measure,
    // and its right edge lies on the button's.
    EXPECT_GE(menu.rect.left, 0);
    EXPECT_LE(menu.rect.right, dev().config().width);
    EXPECT_EQ(menu.rect.right, button_.right);
    // Windows are listed front first: huge, ctl, two.
    TapItem(menu, 1, 100);
    EXPECT_EQ(dev().Foreground(), huge);
    ExpectFlat("after choosing the long title");

    // The close glyph of every listed title closes its window.
    menu = OpenMenu();
    TapItem(menu, 2, button_.right - dev().ScaleX(10));
    EXPECT_TRUE(Received(ctl, WM_CLOSE));
    menu = OpenMenu();
    TapItem(menu, 1, button_.right - dev().ScaleX(10));
    EXPECT_TRUE(Received(huge, WM_CLOSE));
    ExpectFlat("after closing");
    QuitAndCheck();
}

TEST_F(Hostile, LongTitlesAreShortenedInsideTheirItem) {
    // A 100,000-character title is drawn shortened in its item: the pixels
    // right of the title box stay the menu's, apart from the close glyph.
    App("huge", LongTitle(100000));
    Start();
    sim::MenuView menu = OpenMenu();
    ASSERT_GE(menu.items.size(), 2u);
    const RECT item = menu.items[1].rect;
    const sim::Surface& screen = dev().Screen();
    const COLORREF menu_back = screen.At(item.right - dev().ScaleX(19), item.top + 1);
    const COLORREF text = GetSysColor(COLOR_MENUTEXT) & 0xFFFFFF;
    int ink_in_box = 0;
    for (int y = item.top; y < item.bottom; ++y) {
        for (int x = item.left + dev().ScaleX(20); x < item.right - dev().ScaleX(20); ++x)
            if (screen.At(x, y) == text) ++ink_in_box;
        // Between the title box and the close glyph nothing is drawn.
        for (int x = item.right - dev().ScaleX(20); x < item.right - dev().ScaleX(18); ++x)
            EXPECT_EQ(screen.At(x, y), menu_back) << x << "," << y;
    }
    EXPECT_GT(ink_in_box, 0);
    Dismiss();
    ExpectFlat("after the long title was drawn");
    QuitAndCheck();
}

TEST_F(Hostile, WindowsDestroyedWhileTheMenuIsOpen) {
    HWND alpha = App("alpha", u"Alpha");
    HWND bravo = App("bravo", u"Bravo");
    HWND charlie = App("charlie", u"Charlie");
    Start();

    // Destroyed before its item is drawn again and before it is chosen:
    // choosing it brings nothing to the front and sends it nothing.
    sim::MenuView menu = OpenMenu();
    int pos = PositionOf(menu, kTaskFirst + 2);  // bravo: charlie, bravo, alpha
    ASSERT_EQ(pos, 2);
    dev().Destroy(bravo);
    POINT c = Centre(menu.items[size_t(pos)].rect);
    dev().PenDown(c.x, c.y);  // highlights it: vesk draws the item of a window that is gone
    ASSERT_TRUE(dev().OpenMenu());
    dev().PenUp(c.x, c.y);
    EXPECT_EQ(dev().Foreground(), charlie);
    ExpectFlat("after choosing a destroyed window");

    // Its close glyph: nothing to close.
    bravo = App("bravo2", u"Bravo again");
    menu = OpenMenu();
    dev().Destroy(bravo);
    dev().ClearReceived(bravo);
    TapItem(menu, 1, button_.right - dev().ScaleX(5));
    EXPECT_TRUE(dev().Received(bravo).empty());
    ExpectFlat("after the close glyph of a destroyed window");

    // "Close &All Tasks" with one listed window gone closes the others.
    menu = OpenMenu();
    dev().Destroy(charlie);
    int close_all = PositionOf(menu, IDM_CLOSE_ALL);
    TapItem(menu, close_all);
    EXPECT_TRUE(Received(alpha, WM_CLOSE));
    EXPECT_FALSE(dev().Find("alpha"));
    EXPECT_EQ(dev().Foreground(), dev().desktop());
    ExpectFlat("after closing all with one window gone");

    // The owner of every listed window destroyed: the desktop item still works.
    HWND delta = App("delta", u"Delta");
    menu = OpenMenu();
    dev().Destroy(delta);
    TapItem(menu, 0);
    EXPECT_EQ(dev().Foreground(), dev().desktop());
    ExpectFlat("after the desktop item");

    // The desktop brought to the front while the menu is open: "&Minimize"
    // leaves it there rather than sending it behind the window it covers.
    HWND echo = App("echo", u"Echo");
    menu = OpenMenu();
    dev().Activate(dev().desktop());
    ASSERT_TRUE(dev().OpenMenu());
    TapItem(menu, PositionOf(menu, IDM_MINIMIZE));
    EXPECT_EQ(dev().Foreground(), dev().desktop());
    EXPECT_TRUE(dev().Find("echo"));
    (void)echo;
    ExpectFlat("after minimizing with the desktop in front");
    QuitAndCheck();
}

TEST_F(Hostile, TitlesChangedWhileTheMenuIsOpenKeepTheirOldText) {
    HWND alpha = App("alpha", u"Alpha");
    App("bravo", u"Bravo");
    Start();
    sim::MenuView menu = OpenMenu();
    const RECT item = menu.items[2].rect;  // alpha, behind bravo
    auto pixels = [&] {
        std::vector<COLORREF> out;
        const sim::Surface& s = dev().Screen();
        for (int y = item.top; y < item.bottom; ++y)
            for (int x = item.left; x < item.right; ++x) out.push_back(s.At(x, y));
        return out;
    };
    POINT on = Centre(item);
    POINT off = Centre(menu.items[1].rect);
    dev().PenDown(on.x, on.y);
    const std::vector<COLORREF> before = pixels();
    dev().PenMove(off.x, off.y);
    dev().SetTitle(alpha, u"A title that is entirely different and much longer than before");
    dev().PenMove(on.x, on.y);  // drawn again, highlighted
    EXPECT_EQ(pixels(), before);
    dev().SetTitle(alpha, LongTitle(100000));
    dev().PenMove(off.x, off.y);
    dev().PenMove(on.x, on.y);
    EXPECT_EQ(pixels(), before);
    dev().SetTitle(alpha, u"");
    dev().PenMove(off.x, off.y);
    dev().PenMove(on.x, on.y);
    EXPECT_EQ(pixels(), before);
    dev().PenUp(on.x, on.y);
    EXPECT_EQ(dev().Foreground(), alpha);
    ExpectFlat("after the retitled window was chosen");

    // The next showing reads the titles afresh: the empty title is not listed.
    menu = OpenMenu();
    EXPECT_EQ(menu.items.size(), 1u + 1u + 1u + 5u);
    Dismiss();
    QuitAndCheck();
}

TEST_F(Hostile, AnApplicationThatNeverAnswersIsWaitedFor) {
    HWND stuck = App("stuck", u"Stuck", sim::OnClose::Hang);
    Start();
    // A tap on the close zone: vesk sends WM_CLOSE and waits.
    dev().Tap(button_.right - 5, button_.top + 10);
    EXPECT_TRUE(dev().IsHung());
    // Meanwhile the clock runs and the shell keeps notifying: vesk does not
    // answer, and nothing piles up in it.
    dev().Wait(5000);
    for (int i = 0; i < 5; ++i) dev().Notify();
    EXPECT_TRUE(dev().IsHung());
    EXPECT_TRUE(dev().Find("stuck"));
    dev().Release(stuck);
    EXPECT_FALSE(dev().IsHung());
    EXPECT_FALSE(dev().Find("stuck"));
    ExpectFlat("after the hung application was released");

    // The same from the task menu's "Close &All Tasks", with an application
    // after the hung one that is closed once it answers.
    HWND other = App("other", u"Other");
    HWND stuck2 = App("stuck2", u"Stuck again", sim::OnClose::Hang);
    sim::MenuView menu = OpenMenu();
    TapItem(menu, PositionOf(menu, IDM_CLOSE_ALL));
    EXPECT_TRUE(dev().IsHung());
    EXPECT_FALSE(Received(other, WM_CLOSE));
    // A quit request waits too: vesk ends only once it can read it.
    dev().Close(vesk_, u"VeskClass");
    EXPECT_TRUE(dev().Running(vesk_));
    dev().Release(stuck2);
    EXPECT_TRUE(Received(other, WM_CLOSE));
    EXPECT_FALSE(dev().Running(vesk_));
    EXPECT_EQ(dev().ExitCode(vesk_), 0);
    EXPECT_EQ(dev().Reclaimed(vesk_).heap, 0);
    EXPECT_EQ(dev().Reclaimed(vesk_).menus, 0);
}

TEST_F(Hostile, HundredsOfWindowsInAPopupTallerThanTheScreen) {
    const int kWindows = 300;
    std::vector<HWND> windows;
    for (int i = 0; i < kWindows; ++i) {
        sim::AppConfig app;
        app.name = "app" + std::to_string(i);
        app.exe = u"proc" + sim::Widen(std::to_string(i % 25)) + u".exe";
        app.title = u"Application " + sim::Widen(std::to_string(i));
        windows.push_back(dev().Launch(app));
    }
    Start();
    sim::MenuView menu = OpenMenu();
    ASSERT_EQ(menu.items.size(), size_t(1 + kWindows + 1 + 5));
    // Taller than the screen: as tall as the screen, and it scrolls (the
    // reach of every item is tested with the scrolled task menu's own tests).
    EXPECT_TRUE(menu.scrolls);
    EXPECT_EQ(menu.rect.top, 0);
    EXPECT_EQ(menu.rect.bottom, dev().config().height);
    EXPECT_EQ(menu.rect.right, button_.right);
    // Ids go up by one from 0x8000, the last task item's included.
    EXPECT_EQ(menu.items[size_t(kWindows)].id, kTaskFirst + UINT(kWindows));
    EXPECT_TRUE(menu.items[size_t(kWindows) + 1].separator);
    // An item on the screen can be chosen: the third from the top is the
    // window second in front.
    TapItem(menu, 2, menu.rect.left + 20);
    EXPECT_EQ(dev().Foreground(), windows[size_t(kWindows - 2)]);
    ExpectFlat("after a choice from a popup taller than the screen");
    menu = OpenMenu();
    Dismiss();
    ExpectFlat("after dismissing it");
    QuitAndCheck();
}

TEST_F(Hostile, WithoutADesktopVeskRunsAndItsMenuWorks) {
    Boot({.desktop = false});
    Start();
    EXPECT_EQ(g_hwndDesktop, nullptr);
    // Nothing in front: the face has no disc, taps on the close zone and
    // strokes down do nothing.
    dev().Tap(button_.right - 5, button_.top + 10);
    dev().PenDown(button_.right - 5, button_.top + 10);
    dev().PenUp(button_.right - 5, button_.bottom + 40);
    HWND alpha = App("alpha", u"Alpha");
    sim::MenuView menu = OpenMenu();
    ASSERT_EQ(menu.items.size(), 1u + 1u + 1u + 5u);
    TapItem(menu, 0);  // "Desktop": alpha, the only window, is minimized and stays in front
    EXPECT_EQ(dev().Foreground(), alpha);
    EXPECT_TRUE(dev().Find("alpha"));
    // Close &All Tasks still closes the listed windows.
    menu = OpenMenu();
    TapItem(menu, PositionOf(menu, IDM_CLOSE_ALL));
    EXPECT_TRUE(Received(alpha, WM_CLOSE));
    // Nothing in front is taken for the desktop: "&Minimize" is grayed.
    menu = OpenMenu();
    EXPECT_EQ(dev().Foreground(), nullptr);
    int minimize = PositionOf(menu, IDM_MINIMIZE);
    ASSERT_GE(minimize, 0);
    EXPECT_TRUE(menu.items[size_t(minimize)].grayed);
    TapItem(menu, minimize);
    ASSERT_TRUE(dev().OpenMenu()) << "a grayed item cannot be chosen";
    Dismiss();
    ExpectFlat("without a desktop");
    QuitAndCheck();
}

TEST_F(Hostile, WithoutATaskbarVeskEndsQuietly) {
    for (bool desktop : {true, false}) {
        Boot({.taskbar = false, .desktop = desktop});
        App("alpha", u"Alpha");
        DWORD pid = vesk_host::StartVesk(dev());
        EXPECT_FALSE(dev().Running(pid));
        EXPECT_EQ(dev().ExitCode(pid), 0);
        sim::Counts left = dev().Reclaimed(pid);
        EXPECT_EQ(left.windows, 0);
        EXPECT_EQ(left.heap, 0);
        EXPECT_EQ(left.icons, 0);
        EXPECT_LE(left.gdi, 1);     // the class brush
        EXPECT_LE(left.handles, 1); // the mutex
        // The next start on a device with a taskbar is not blocked by it.
    }
}

// A close-zone tap leaves the press timer running; when it fires while the
// pen is down again, it takes away the capture of whatever holds it on
// vesk's thread. Here that is the popup of a task menu just dismissed by
// that pen-down, which stays hidden to swallow the rest of the stroke: the
// stroke's pen-up then reaches another window, and the popup must still go.
TEST_F(Hostile, AStrayPressTimerTakingThePopupsCaptureLeavesNoWindowBehind) {
    App("alpha", u"Alpha", sim::OnClose::Ignore);
    Start();
    dev().Tap(button_.right - dev().ScaleX(6), button_.top + dev().ScaleY(8));
    OpenMenu();
    dev().PenDown(0, dev().config().height - 1);
    EXPECT_FALSE(dev().OpenMenu());
    dev().Wait(300);  // the press timer fires: vesk releases the capture
    dev().PenUp(1, dev().config().height - 1);
    ExpectFlat("after the stroke that dismissed the menu");
    for (const sim::WindowInfo& w : dev().Windows()) EXPECT_NE(w.class_name, u"#32768");
    OpenMenu();
    Dismiss();
    ExpectFlat("after one more showing");
    QuitAndCheck();
}

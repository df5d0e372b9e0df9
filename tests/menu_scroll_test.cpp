// vesk's task menu over more applications than the screen can list: the
// platform scrolls it, and every command stays within reach of the pen at
// both resolutions: the tasks at the bottom of the list and their close
// glyphs, "Close &All Tasks" and "E&xit". Nothing is highlighted while the
// menu scrolls, and showings scrolled to the end leave vesk's counts flat.
#include <gtest/gtest.h>
#include <sim/device.h>

#include <string>
#include <vector>

#include "resource.h"
#include "vesk_image.h"

namespace {

struct Case {
    int windows;
    int dpi;
};

std::string Name(const ::testing::TestParamInfo<Case>& info) {
    return std::to_string(info.param.windows) + "Windows" + std::to_string(info.param.dpi) + "Dpi";
}

POINT Centre(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

class ScrolledTaskMenu : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const int scale = GetParam().dpi / 96;
        device_ = std::make_unique<sim::Device>(sim::DeviceConfig{240 * scale, 320 * scale, GetParam().dpi});
        for (int i = 0; i < GetParam().windows; ++i) {
            sim::AppConfig app;
            app.name = "app" + std::to_string(i);
            app.exe = u"proc" + sim::Widen(std::to_string(i % 25)) + u".exe";
            app.title = u"Task " + sim::Widen(std::to_string(i));
            ASSERT_TRUE(dev().Launch(app)) << app.name;
        }
    }

    sim::Device& dev() { return *device_; }

    void Start() {
        vesk_ = vesk_host::StartVesk(dev());
        ASSERT_TRUE(dev().Running(vesk_));
        baseline_ = dev().CountsOf(vesk_);
        for (const sim::WindowInfo& w : dev().Windows())
            if (w.class_name == u"VeskClass") button_ = w.rect;
    }

    // A tap on the menu strip: the popup must open, taller than the screen.
    sim::MenuView Open() {
        dev().Tap(button_.left + dev().ScaleX(2), button_.top + dev().ScaleY(8));
        std::optional<sim::MenuView> menu = dev().OpenMenu();
        EXPECT_TRUE(menu && menu->scrolls) << "the task menu opens and scrolls";
        return menu.value_or(sim::MenuView{});
    }

    static int PositionOf(const sim::MenuView& menu, UINT id) {
        for (const sim::MenuItemView& item : menu.items)
            if (item.id == id) return item.position;
        return -1;
    }

    // Scrolls the item into view with the arrows; it must be whole and clear of them.
    sim::MenuItemView Reach(int position) {
        EXPECT_TRUE(dev().ShowMenuItem(position)) << "item " << position;
        sim::MenuView menu = dev().OpenMenu().value_or(sim::MenuView{});
        if (position < 0 || size_t(position) >= menu.items.size()) {
            ADD_FAILURE() << "no item " << position;
            return sim::MenuItemView{};
        }
        sim::MenuItemView item = menu.items[size_t(position)];
        EXPECT_TRUE(item.in_view) << "item " << position;
        EXPECT_GE(item.rect.top, menu.up.bottom) << "item " << position;
        EXPECT_LE(item.rect.bottom, menu.down.top) << "item " << position;
        return item;
    }

    void ExpectFlat(const std::string& when) {
        ASSERT_FALSE(dev().OpenMenu()) << when;
        sim::Counts now = dev().CountsOf(vesk_);
        EXPECT_EQ(now, baseline_) << when << ": gdi=" << now.gdi << " icons=" << now.icons << " menus=" << now.menus
                                  << " handles=" << now.handles << " heap=" << now.heap;
    }

    size_t Scrolls() const {
        size_t n = 0;
        for (const std::string& line : device_->Log())
            if (line.find(" menu scroll first=") != std::string::npos) ++n;
        return n;
    }

    std::unique_ptr<sim::Device> device_;
    DWORD vesk_ = 0;
    sim::Counts baseline_{};
    RECT button_{};
};

}  // namespace

TEST_P(ScrolledTaskMenu, EveryCommandIsReachableAndNothingIsHighlightedWhileItScrolls) {
    const int n = GetParam().windows;
    Start();
    const int height = dev().config().height;

    // As tall as the screen, hanging from the button's right edge, the items
    // from the top of the list between the arrows; the up arrow is gray.
    sim::MenuView menu = Open();
    ASSERT_EQ(menu.items.size(), size_t(1 + n + 1 + 5));
    EXPECT_EQ(menu.rect.top, 0);
    EXPECT_EQ(menu.rect.bottom, height);
    EXPECT_EQ(menu.rect.right, button_.right);
    EXPECT_GT(menu.up.bottom, menu.up.top);
    EXPECT_EQ(menu.up.bottom - menu.up.top, menu.down.bottom - menu.down.top);
    EXPECT_FALSE(menu.can_scroll_up);
    EXPECT_TRUE(menu.can_scroll_down);
    EXPECT_EQ(menu.items[0].rect.top, menu.up.bottom);
    int last = -1;
    for (const sim::MenuItemView& item : menu.items)
        if (item.in_view) last = item.position;
    ASSERT_GT(last, 1);
    for (int i = 0; i <= last; ++i) EXPECT_TRUE(menu.items[size_t(i)].in_view) << i;
    EXPECT_LE(menu.items[size_t(last)].rect.bottom, menu.down.top);
    EXPECT_GT(menu.items[size_t(last) + 1].rect.bottom, menu.down.top);

    // The pen on the lowest task in view highlights it; moved onto the down
    // arrow and held there, it scrolls the menu (at once, then at 400 and
    // 500 ms) with that task still in view, and no item is highlighted;
    // lifted there, it chooses nothing.
    ASSERT_LE(last, n);
    const RECT task = menu.items[size_t(last)].rect;
    const COLORREF plain = dev().PixelAt(task.left + 1, Centre(task).y);
    dev().PenDown(Centre(task).x, Centre(task).y);
    const COLORREF highlight = dev().PixelAt(task.left + 1, Centre(task).y);
    ASSERT_NE(highlight, plain);
    const size_t scrolls = Scrolls();
    const POINT down = Centre(menu.down);
    dev().PenMove(down.x, down.y);
    dev().Wait(500);
    EXPECT_EQ(Scrolls(), scrolls + 3);
    menu = dev().OpenMenu().value_or(sim::MenuView{});
    EXPECT_EQ(menu.first, 3);
    EXPECT_TRUE(menu.can_scroll_up);
    EXPECT_TRUE(menu.items[size_t(last)].in_view);
    for (const sim::MenuItemView& item : menu.items) {
        if (!item.in_view) continue;
        EXPECT_NE(dev().PixelAt(item.rect.left + 1, Centre(item.rect).y), highlight) << item.position;
    }
    dev().PenUp(down.x, down.y);
    ASSERT_TRUE(dev().OpenMenu()) << "a pen lifted on an arrow chooses nothing";
    dev().Tap(0, height - 1);
    ExpectFlat("after a showing scrolled with a held pen");

    // Showings scrolled to "E&xit" at the end and dismissed leave nothing behind.
    for (int round = 0; round < 3; ++round) {
        menu = Open();
        sim::MenuItemView exit = Reach(PositionOf(menu, IDM_EXIT));
        EXPECT_FALSE(exit.grayed);
        EXPECT_FALSE(dev().OpenMenu()->can_scroll_down) << "the down arrow is gray at the end";
        dev().Tap(0, height - 1);
        ExpectFlat("after showing " + std::to_string(round) + " scrolled to the end");
    }

    // The close glyph of the task at the bottom of the list, scrolled into
    // view: the window at the back (launched first) closes.
    menu = Open();
    sim::MenuItemView back = Reach(n);
    dev().Tap(back.rect.right - dev().ScaleX(4), Centre(back.rect).y);
    EXPECT_FALSE(dev().Find("app0")) << "the close glyph closed the back window";
    EXPECT_TRUE(dev().Find("app1"));
    ExpectFlat("after a close-glyph tap on a scrolled menu");

    // "Close &All Tasks", scrolled into view, closes every task.
    menu = Open();
    sim::MenuItemView all = Reach(PositionOf(menu, IDM_CLOSE_ALL));
    dev().Tap(Centre(all.rect).x, Centre(all.rect).y);
    for (int i = 0; i < n; ++i) EXPECT_FALSE(dev().Find("app" + std::to_string(i))) << i;
    ExpectFlat("after Close All Tasks");
}

TEST_P(ScrolledTaskMenu, ExitChosenOnAScrolledMenuEndsVesk) {
    Start();
    sim::MenuView menu = Open();
    sim::MenuItemView exit = Reach(PositionOf(menu, IDM_EXIT));
    dev().Tap(Centre(exit.rect).x, Centre(exit.rect).y);
    ASSERT_FALSE(dev().Running(vesk_));
    EXPECT_EQ(dev().ExitCode(vesk_), 0);
    EXPECT_EQ(dev().Reclaimed(vesk_).heap, 0);
    EXPECT_EQ(dev().Reclaimed(vesk_).menus, 0);
    for (int i = 0; i < GetParam().windows; ++i) EXPECT_TRUE(dev().Find("app" + std::to_string(i))) << i;
}

INSTANTIATE_TEST_SUITE_P(Windows, ScrolledTaskMenu,
                         ::testing::Values(Case{20, 96}, Case{50, 96}, Case{300, 96}, Case{20, 192}, Case{50, 192},
                                           Case{300, 192}),
                         Name);

// Soak: vesk paints its button 10,000 times and shows its task menu 1,000
// times, with applications whose items are drawn with their icons, and every
// count it holds stays where it was after start-up: GDI objects, icons,
// menus, process handles, snapshots, registry keys, windows and heap blocks.
#include <gtest/gtest.h>

#include <string>

#include "vesk.h"
#include "vesk_image.h"

namespace {

std::string Describe(const sim::Counts& c) {
    return "gdi=" + std::to_string(c.gdi) + " icons=" + std::to_string(c.icons) + " menus=" + std::to_string(c.menus) +
           " handles=" + std::to_string(c.handles) + " snapshots=" + std::to_string(c.snapshots) +
           " keys=" + std::to_string(c.keys) + " windows=" + std::to_string(c.windows) +
           " heap=" + std::to_string(c.heap);
}

long Calls(const sim::Device& device, const std::string& api) {
    auto it = device.CallCounts().find(api);
    return it == device.CallCounts().end() ? 0 : it->second;
}

long Count(const sim::Device& device, const std::string& text) {
    long n = 0;
    for (const std::string& line : device.Log())
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

}  // namespace

TEST(Soak, TenThousandPaintsAndAThousandMenusLeaveEveryCountFlat) {
    sim::Device device;
    // Applications of several processes; two take their icon from a
    // shortcut file, one shows "ok" in its caption, so the button's face
    // alternates between the cross and "ok" as they come to the front.
    const char* names[] = {"alpha", "bravo", "calendar", "contacts", "word"};
    std::vector<HWND> apps;
    for (const char* name : names) {
        sim::AppConfig app;
        app.name = name;
        app.title = sim::WString(u"Title of ") + sim::Widen(name);
        if (std::string(name) == "calendar") app.class_name = u"Calendar";
        if (std::string(name) == "contacts") app.class_name = u"Contacts";
        if (std::string(name) == "word") app.exstyle = WS_EX_CAPTIONOKBTN;
        app.on_close = sim::OnClose::Ignore;
        app.on_ok = sim::OnOk::Ignore;
        apps.push_back(device.Launch(app));
    }
    const DWORD vesk = vesk_host::StartVesk(device);
    ASSERT_TRUE(device.Running(vesk));
    const sim::Counts baseline = device.CountsOf(vesk);
    EXPECT_EQ(baseline.heap, 0);

    RECT button{};
    for (const sim::WindowInfo& w : device.Windows())
        if (w.class_name == u"VeskClass") button = w.rect;
    const int strip_x = button.left + device.ScaleX(2);
    const int y = button.top + device.ScaleY(8);

    auto expect_flat = [&](const char* what, int i) {
        sim::Counts now = device.CountsOf(vesk);
        ASSERT_EQ(now, baseline) << what << " " << i << ": " << Describe(now) << ", after start-up "
                                 << Describe(baseline);
    };

    // 10,000 paints: the shell tells the taskbar that the window in front
    // changed, and the hooked taskbar has the button repainted.
    const long paints_before = Calls(device, "BeginPaint");
    for (int i = 0; i < 10000; ++i) {
        if (i % 1000 == 0) device.Activate(apps[size_t(i / 1000) % apps.size()]);
        device.Notify();
        if (i % 500 == 499) expect_flat("paint", i);
    }
    EXPECT_GE(Calls(device, "BeginPaint") - paints_before, 10000);

    // 1,000 showings of the task menu: each item is measured and drawn, and
    // drawn again as the pen moves over it, opening its process and
    // fetching its icon every time. The showings end in turn with a tap
    // outside, a task brought to the front, and "&Minimize".
    const long opens_before = Count(device, "menu open");
    const long draws_before = Calls(device, "DrawIconEx");
    for (int i = 0; i < 1000; ++i) {
        device.Tap(strip_x, y);
        std::optional<sim::MenuView> menu = device.OpenMenu();
        ASSERT_TRUE(menu) << "showing " << i;
        ASSERT_EQ(menu->items.size(), 1 + apps.size() + 1 + 5);
        const RECT& a = menu->items[1].rect;
        const RECT& b = menu->items[2].rect;
        device.PenDown(b.left + 30, (b.top + b.bottom) / 2);
        device.PenMove(a.left + 30, (a.top + a.bottom) / 2);
        switch (i % 3) {
        case 0: device.PenUp(0, device.config().height - 1); break;  // outside: dismissed
        case 1: device.PenUp(a.left + 30, (a.top + a.bottom) / 2); break;
        case 2: {
            const RECT& m = menu->items[1 + apps.size() + 1].rect;  // "&Minimize"
            device.PenUp(m.left + 30, (m.top + m.bottom) / 2);
            break;
        }
        }
        ASSERT_FALSE(device.OpenMenu()) << "showing " << i;
        if (i % 50 == 49) expect_flat("menu", i);
    }
    EXPECT_EQ(Count(device, "menu open") - opens_before, 1000);
    // Every showing drew every task item's icon and close glyph, several times.
    EXPECT_GE(Calls(device, "DrawIconEx") - draws_before, 1000L * 2 * long(apps.size()));
    EXPECT_EQ(Count(device, "delete-selected"), 0);
    EXPECT_EQ(Count(device, "invalid-free"), 0);

    device.Close(vesk, u"VeskClass");
    ASSERT_FALSE(device.Running(vesk));
    const sim::Counts left = device.Reclaimed(vesk);
    EXPECT_EQ(left.heap, 0);
    EXPECT_EQ(left.icons, 0);
    EXPECT_EQ(left.menus, 0);
    EXPECT_EQ(left.snapshots, 0);
    EXPECT_EQ(left.gdi, 1);      // the class brush
    EXPECT_EQ(left.handles, 1);  // the mutex
}

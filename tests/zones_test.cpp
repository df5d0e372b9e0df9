// Where the pen acts on the button, column by column and row by row, at
// resolutions where rounding design units to pixels matters, and what
// other programs on the device see of vesk.
#include <gtest/gtest.h>

#include "program.h"
#include "vesk.h"

using testing_support::LogLines;
using testing_support::RunProgram;

namespace {

// Sizes in pixels, rounded to the nearest (halves up) from the design sizes at
// 96 dpi: the button 28 wide, the menu strip's last column 6, the taskbar 26
// high, a stroke down 30 below it.
struct Case {
    int dpi, width, height;
    int button, strip, bar, drag;
};
constexpr Case kCases[] = {
    {96, 240, 320, 28, 6, 26, 30},  {120, 240, 320, 35, 8, 33, 38},  {131, 240, 320, 38, 8, 35, 41},
    {132, 240, 320, 39, 8, 36, 41}, {143, 240, 320, 42, 9, 39, 45},  {163, 240, 320, 48, 10, 44, 51},
    {192, 480, 640, 56, 12, 52, 60},
};

}  // namespace

TEST(Zones, EveryZoneEndsOnItsOwnColumnAndRowAtEveryResolution) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.dpi);
        sim::Device device({.width = c.width, .height = c.height, .dpi = c.dpi});
        vesk_host::StartVesk(device);
        HWND notes = device.Launch({.name = "notes", .on_close = sim::OnClose::Ignore});
        int left = c.width - c.button;
        for (const auto& w : device.Windows())
            if (w.class_name == u"VeskClass") {
                EXPECT_EQ(w.rect.left, left);
                EXPECT_EQ(w.rect.bottom, c.bar);
            }
        auto closes = [&] {
            int n = 0;
            for (const auto& m : device.Received(notes)) n += m.message == WM_CLOSE;
            return n;
        };
        // A stroke: down on the button at x0, lifted at (x1, y1).
        auto menu_after = [&](int x0, int x1, int y1) {
            device.PenDown(x0, 5);
            device.PenUp(x1, y1);
            bool open = device.OpenMenu().has_value();
            if (open) device.Tap(0, c.height - 1);
            EXPECT_FALSE(device.OpenMenu().has_value());
            return open;
        };
        int right = c.width - 1;
        // The strip: from the button's first column to its own last one, down
        // to the button's bottom edge (the row below its last) while it holds the pen.
        EXPECT_TRUE(menu_after(left, left, 5));
        EXPECT_TRUE(menu_after(left, left, 0));  // its top row
        EXPECT_TRUE(menu_after(left + c.strip, left + c.strip, 5));
        EXPECT_TRUE(menu_after(left + c.strip, left + c.strip, c.bar));
        EXPECT_FALSE(menu_after(left + c.strip, left + c.strip, c.bar + 1));
        EXPECT_EQ(closes(), 0);
        // The close zone: from the column after the strip to the screen's edge.
        EXPECT_FALSE(menu_after(left + c.strip + 1, left + c.strip + 1, 5));
        EXPECT_EQ(closes(), 1);
        EXPECT_FALSE(menu_after(right, right, c.bar));
        EXPECT_EQ(closes(), 2);
        EXPECT_FALSE(menu_after(right, right, 0));  // its top row
        EXPECT_EQ(closes(), 3);
        EXPECT_FALSE(menu_after(right, right, c.bar + 1));
        EXPECT_EQ(closes(), 3);
        // A press of the close zone lifted on the strip's last column: nothing.
        EXPECT_FALSE(menu_after(left + c.strip + 1, left + c.strip, 5));
        EXPECT_EQ(closes(), 3);
        // A stroke down: lifted `drag` rows below the button or further.
        size_t mark = device.Log().size();
        menu_after(left + c.strip + 1, left + c.strip + 1, c.bar + c.drag - 1);
        EXPECT_TRUE(LogLines(device, "minimized", mark).empty());
        menu_after(left + c.strip + 1, left + c.strip + 1, c.bar + c.drag);
        EXPECT_EQ(LogLines(device, "minimized notes", mark).size(), 1u);
        EXPECT_EQ(closes(), 3);
    }
}

// A second program finds vesk's single-instance mutex by its name, held by
// vesk, while vesk runs, and vesk's thread runs above normal priority.
TEST(Zones, OtherProgramsSeeTheMutexAndTheRaisedPriorityOfVesk) {
    sim::Device device;
    struct Seen {
        bool exists;
        DWORD wait;  // a wait of no time for it
    };
    auto mutex = [&] {
        Seen seen{false, WAIT_FAILED};
        RunProgram(device, [&] {
            HANDLE h = CreateMutexW(nullptr, FALSE, u"VeskClassVeskWindow");
            seen.exists = GetLastError() == ERROR_ALREADY_EXISTS;
            seen.wait = WaitForSingleObject(h, 0);
            if (seen.wait == WAIT_OBJECT_0) ReleaseMutex(h);
            CloseHandle(h);
            return 0;
        });
        return seen;
    };
    Seen before = mutex();
    EXPECT_FALSE(before.exists);
    EXPECT_EQ(before.wait, DWORD(WAIT_OBJECT_0));
    DWORD vesk = vesk_host::StartVesk(device);
    Seen running = mutex();
    EXPECT_TRUE(running.exists);
    EXPECT_EQ(running.wait, DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(device.ThreadPriority(vesk), THREAD_PRIORITY_ABOVE_NORMAL);
    device.Close(vesk, u"VeskClass");
    EXPECT_FALSE(device.Running(vesk));
    EXPECT_FALSE(mutex().exists);
}

// The key state of a pen message is not looked at: whatever it holds, a
// pen-down on the menu strip begins a stroke there and presses nothing.
TEST(Zones, TheKeyStateOfAPenMessageIsNotLookedAt) {
    for (WPARAM keys : {WPARAM(0), WPARAM(MK_LBUTTON), WPARAM(0xFFFF)}) {
        sim::Device device;
        vesk_host::StartVesk(device);
        RunProgram(device, [&] {
            for (HWND w = GetWindow(device.taskbar(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
                WCHAR name[16] = {0};
                GetClassNameW(w, name, 16);
                if (sim::WString(name) == u"VeskClass") PostMessageW(w, WM_LBUTTONDOWN, keys, MAKELPARAM(2, 5));
            }
            return 0;
        });
        EXPECT_EQ(g_bMenuZone, 1) << keys;
        EXPECT_EQ(g_bPressed, 0) << keys;
    }
}

// A press of the close zone lifted where it acts on nothing, below the
// button but short of a stroke down: at once, before the press timer could
// end the press, the face is drawn released and the pen is free again.
TEST(Zones, APressThatActsOnNothingEndsAtThePenUp) {
    sim::Device device;
    vesk_host::StartVesk(device);
    HWND notes = device.Launch({.name = "notes"});
    auto face = [&] {
        std::vector<COLORREF> out;
        const sim::Surface& s = device.Screen();
        for (int y = 0; y < 26; ++y)
            for (int x = 212; x < 240; ++x) out.push_back(s.At(x, y));
        return out;
    };
    const std::vector<COLORREF> released = face();
    device.PenDown(235, 10);
    EXPECT_NE(face(), released) << "the pressed face differs";
    device.PenUp(235, 40);
    EXPECT_EQ(face(), released);
    EXPECT_TRUE(device.Find("notes"));
    device.ClearReceived(notes);
    device.Tap(100, 200);
    bool reached = false;
    for (const sim::ReceivedMessage& m : device.Received(notes)) reached |= m.message == WM_LBUTTONDOWN;
    EXPECT_TRUE(reached) << "the next tap on the application reaches it";
}

// Without the button's client rectangle its zones are unknown: no stroke
// opens the menu, closes or minimizes anything, the button's top-left
// corner included.
TEST(Zones, WithoutItsClientRectangleTheButtonActsOnNothing) {
    sim::Device device;
    vesk_host::StartVesk(device);
    HWND notes = device.Launch({.name = "notes", .on_close = sim::OnClose::Ignore});
    const struct {
        int x0, y0, x1, y1;
    } strokes[] = {{212, 0, 212, 0}, {214, 8, 214, 8}, {235, 10, 235, 10}, {239, 25, 239, 25}, {235, 10, 235, 100}};
    size_t mark = device.Log().size();
    device.FailCall("GetClientRect", 1, -1);
    for (const auto& s : strokes) {
        device.PenDown(s.x0, s.y0);
        device.PenUp(s.x1, s.y1);
        EXPECT_FALSE(device.OpenMenu()) << s.x0 << "," << s.y0;
    }
    device.ClearFaults();
    for (const sim::ReceivedMessage& m : device.Received(notes)) EXPECT_NE(m.message, UINT(WM_CLOSE));
    EXPECT_TRUE(LogLines(device, "minimized", mark).empty());
    device.Tap(235, 10);
    EXPECT_EQ(device.Received(notes).back().message, UINT(WM_CLOSE)) << "once it can be read the zones are back";
}

// vesk's start-up, single instance, taskbar attachment, theme and the end of
// its message loop, on the simulated device.
#include <gtest/gtest.h>

#include "program.h"
#include "vesk.h"

using testing_support::LogLines;
using testing_support::RunProgram;

namespace {

const WCHAR kColorKey[] = u"Software\\Microsoft\\Color";

const sim::WindowInfo* FindClass(const std::vector<sim::WindowInfo>& windows, const sim::WString& cls) {
    for (const auto& w : windows)
        if (w.class_name == cls) return &w;
    return nullptr;
}

std::vector<uint8_t> ColourTable(size_t entries, COLORREF entry8, COLORREF entry9) {
    std::vector<uint8_t> bytes(entries * 4, 0x11);
    auto put = [&](size_t i, COLORREF c) {
        if (i >= entries) return;
        for (int b = 0; b < 4; ++b) bytes[i * 4 + b] = static_cast<uint8_t>(c >> (8 * b));
    };
    put(8, entry8);
    put(9, entry9);
    return bytes;
}

struct Theme {
    COLORREF back, fore;
};

// Starts vesk on a device prepared by `setup` and reads the theme it loaded.
Theme ThemeAfterStart(const std::function<void(sim::Device&)>& setup) {
    sim::Device device;
    setup(device);
    DWORD pid = vesk_host::StartVesk(device);
    EXPECT_TRUE(device.Running(pid));
    Theme t{g_crThemeBack, g_crThemeFore};
    device.Close(pid, u"VeskClass");
    return t;
}

}  // namespace

TEST(Frame, ButtonSitsAtTheRightEndOfTheTaskbar) {
    struct Case {
        int width, height, dpi, dpi_y;
        RECT expected;
    } cases[] = {{240, 320, 96, 96, {212, 0, 240, 26}},
                 {480, 640, 192, 192, {424, 0, 480, 52}},
                 {240, 320, 131, 131, {202, 0, 240, 35}},
                 // Horizontal and vertical resolutions apart, both ways round.
                 {240, 640, 96, 192, {212, 0, 240, 52}},
                 {480, 320, 192, 96, {424, 0, 480, 26}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + "x" + std::to_string(c.dpi_y));
        sim::Device device({.width = c.width, .height = c.height, .dpi = c.dpi, .dpi_y = c.dpi_y});
        DWORD pid = vesk_host::StartVesk(device);
        ASSERT_TRUE(device.Running(pid));
        auto windows = device.Windows();
        const sim::WindowInfo* button = FindClass(windows, u"VeskClass");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->title, u"VeskWindow");
        EXPECT_EQ(button->parent, device.taskbar());
        EXPECT_EQ(button->style, DWORD(WS_CHILD | WS_VISIBLE));
        EXPECT_EQ(button->rect.left, c.expected.left) << c.dpi;
        EXPECT_EQ(button->rect.top, c.expected.top);
        EXPECT_EQ(button->rect.right, c.expected.right);
        EXPECT_EQ(button->rect.bottom, c.expected.bottom);
        // The button's font and close glyph are alive while it runs.
        sim::Counts counts = device.CountsOf(pid);
        EXPECT_EQ(counts.icons, 1);
        EXPECT_GE(counts.gdi, 2);  // the class brush and the bold font
        EXPECT_EQ(g_nLogPixelsX, c.dpi);
        EXPECT_EQ(g_nLogPixelsY, c.dpi_y);
    }
}

// A display that answers 0 for either resolution, or one below 48 dpi where
// a design unit rounds to no pixel, is taken at 96 dpi both ways, so that
// nothing is laid out zero pixels wide or high.
TEST(Frame, AResolutionTheDisplayCannotGiveIsTakenAt96Dpi) {
    const struct {
        int dpi, dpi_y, x, y;
    } low[] = {{47, 96, 96, 96}, {96, 47, 96, 96}, {1, 1, 96, 96}, {48, 48, 48, 48}, {48, 96, 48, 96}};
    for (const auto& c : low) {
        sim::Device device({.width = 240, .height = 320, .dpi = c.dpi, .dpi_y = c.dpi_y});
        DWORD pid = vesk_host::StartVesk(device);
        EXPECT_EQ(g_nLogPixelsX, c.x) << c.dpi << "x" << c.dpi_y;
        EXPECT_EQ(g_nLogPixelsY, c.y) << c.dpi << "x" << c.dpi_y;
        device.Close(pid, u"VeskClass");
    }
    for (int nth : {1, 2}) {  // LOGPIXELSX, then LOGPIXELSY
        SCOPED_TRACE(nth);
        sim::Device device({.width = 480, .height = 640, .dpi = 192});
        device.FailCall("GetDeviceCaps", nth);
        DWORD pid = vesk_host::StartVesk(device);
        ASSERT_TRUE(device.Running(pid));
        EXPECT_EQ(device.FaultsMade(), 1);
        EXPECT_EQ(g_nLogPixelsX, 96);
        EXPECT_EQ(g_nLogPixelsY, 96);
        auto windows = device.Windows();
        const sim::WindowInfo* button = FindClass(windows, u"VeskClass");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->rect.right - button->rect.left, 28);
        device.Close(pid, u"VeskClass");
    }
}

TEST(Frame, ScalingRoundsToTheNearestPixel) {
    {
        sim::Device device({.dpi = 131});
        DWORD pid = vesk_host::StartVesk(device);
        EXPECT_EQ(ScaleX(28), 38);
        EXPECT_EQ(ScaleY(26), 35);
        EXPECT_EQ(ScaleX(0), 0);
        device.Close(pid, u"VeskClass");
    }
    sim::Device hi({.width = 480, .height = 640, .dpi = 192});
    DWORD pid = vesk_host::StartVesk(hi);
    for (int n : {1, 2, 6, 16, 18, 28, 30}) {
        EXPECT_EQ(ScaleX(n), 2 * n);
        EXPECT_EQ(ScaleY(n), 2 * n);
    }
    hi.Close(pid, u"VeskClass");
}

// The system font in bold; when the system font cannot be read, a plain
// bold font of the platform's default face: upright, neither underlined nor
// struck out.
TEST(Frame, BoldFontIsElevenUnitsHighAndBold) {
    for (int dpi : {96, 192}) {
        for (bool unreadable : {false, true}) {
            SCOPED_TRACE(testing::Message() << dpi << " dpi, system font unreadable: " << unreadable);
            sim::Device device({.width = dpi * 5 / 2, .height = dpi * 10 / 3, .dpi = dpi});
            if (unreadable) device.FailCall("GetObjectW", 1, 1);
            DWORD pid = vesk_host::StartVesk(device);
            EXPECT_EQ(device.FaultsMade(), unreadable ? 1 : 0);
            LOGFONTW lf{};
            int got = RunProgram(device, [&] { return GetObjectW(g_hBoldFont, sizeof lf, &lf); });
            EXPECT_EQ(got, int(sizeof lf));
            EXPECT_EQ(lf.lfHeight, dpi == 96 ? -11 : -22);
            EXPECT_EQ(lf.lfWidth, 0);
            EXPECT_EQ(lf.lfWeight, 700);
            EXPECT_EQ(lf.lfItalic | lf.lfUnderline | lf.lfStrikeOut, 0);
            EXPECT_EQ(sim::WString(lf.lfFaceName), unreadable ? u"" : u"Tahoma");
            device.Close(pid, u"VeskClass");
        }
    }
}

TEST(Frame, SecondInstanceEndsAtOnceAndLeavesTheFirstAlone) {
    sim::Device device;
    DWORD first = vesk_host::StartVesk(device);
    HWND button = FindClass(device.Windows(), u"VeskClass")->hwnd;
    size_t mark = device.Log().size();
    DWORD second = vesk_host::StartVesk(device);
    EXPECT_FALSE(device.Running(second));
    EXPECT_EQ(device.ExitCode(second), 0);
    EXPECT_TRUE(device.Running(first));
    EXPECT_EQ(g_hwndButton, button);
    // Nothing was created and the hook was not touched.
    EXPECT_TRUE(LogLines(device, "hook", mark).empty());
    EXPECT_EQ(device.Reclaimed(second), sim::Counts{});
    int buttons = 0;
    for (const auto& w : device.Windows()) buttons += w.class_name == u"VeskClass";
    EXPECT_EQ(buttons, 1);
    device.Close(first, u"VeskClass");
    EXPECT_EQ(device.ExitCode(first), 0);
}

TEST(Frame, CloseRestoresTheTaskbarProcedureAndFreesTheButtonsObjects) {
    sim::Device device;
    WNDPROC original = device.Info(device.taskbar())->proc;
    DWORD pid = vesk_host::StartVesk(device);
    EXPECT_NE(device.Info(device.taskbar())->proc, original);
    EXPECT_EQ(device.Info(device.taskbar())->proc, &TaskBarHookProc);
    device.Close(pid, u"VeskClass");
    EXPECT_FALSE(device.Running(pid));
    EXPECT_EQ(device.ExitCode(pid), 0);
    EXPECT_EQ(device.Info(device.taskbar())->proc, original);
    EXPECT_EQ(LogLines(device, "hook removed").size(), 1u);
    EXPECT_EQ(LogLines(device, "hook dangling").size(), 0u);
    // WM_DESTROY gave back the icon and the font; what is left at the end is
    // the mutex, held for the process's life, and the class brush.
    sim::Counts left = device.Reclaimed(pid);
    EXPECT_EQ(left.icons, 0);
    EXPECT_EQ(left.gdi, 1);
    EXPECT_EQ(left.handles, 1);
    EXPECT_EQ(left.heap, 0);
    EXPECT_EQ(left.windows, 0);
    EXPECT_EQ(g_pfnTaskBarProc, nullptr);
}

TEST(Frame, WithoutATaskbarNothingIsHookedOrCreated) {
    sim::Device device({.taskbar = false});
    DWORD pid = vesk_host::StartVesk(device);
    EXPECT_FALSE(device.Running(pid));
    EXPECT_EQ(device.ExitCode(pid), 0);
    EXPECT_TRUE(LogLines(device, "hook").empty());
    EXPECT_EQ(device.Reclaimed(pid).windows, 0);
    EXPECT_EQ(device.Reclaimed(pid).icons, 0);
}

TEST(Frame, FailedStartUpStepsEndQuietlyWithZero) {
    for (const char* api : {"CreateMutexW", "RegisterClassW", "CreateWindowExW", "GetWindowLongPtrW"}) {
        sim::Device device;
        WNDPROC original = device.Info(device.taskbar())->proc;
        device.FailCall(api);
        DWORD pid = vesk_host::StartVesk(device);
        EXPECT_FALSE(device.Running(pid)) << api;
        EXPECT_EQ(device.ExitCode(pid), 0) << api;
        // The taskbar keeps working with its own procedure.
        EXPECT_EQ(device.Info(device.taskbar())->proc, original) << api;
    }
}

TEST(Frame, GetMessageFailureEndsTheLoopInsteadOfSpinning) {
    sim::Device device;
    device.FailCall("GetMessageW", 1, -1);
    DWORD pid = vesk_host::StartVesk(device);
    EXPECT_FALSE(device.Running(pid));
    EXPECT_EQ(LogLines(device, "hook removed").size(), 1u);
}

TEST(Frame, ThemeFromValuesEightAndNine) {
    Theme t = ThemeAfterStart([](sim::Device& d) {
        d.SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"8", 0x00112233);
        d.SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"9", 0x00445566);
        // A table is there too and is not read.
        d.SetBinary(HKEY_LOCAL_MACHINE, kColorKey, u"SHColor", ColourTable(41, 0xAAAAAA, 0xBBBBBB));
    });
    EXPECT_EQ(t.back, 0x00112233u);
    EXPECT_EQ(t.fore, 0x00445566u);
}

TEST(Frame, ThemeFromTheColourTableWhenEitherValueIsMissing) {
    Theme t = ThemeAfterStart([](sim::Device& d) {
        d.SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"8", 0x00112233);
        d.SetBinary(HKEY_LOCAL_MACHINE, kColorKey, u"SHColor", ColourTable(41, 0x00ABCDEF, 0x00FEDCBA));
    });
    EXPECT_EQ(t.back, 0x00ABCDEFu);
    EXPECT_EQ(t.fore, 0x00FEDCBAu);
    // A value of the wrong size counts as missing: no byte is used that was never read.
    t = ThemeAfterStart([](sim::Device& d) {
        d.SetBinary(HKEY_LOCAL_MACHINE, kColorKey, u"8", {0x01, 0x02});
        d.SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"9", 0x00445566);
        d.SetBinary(HKEY_LOCAL_MACHINE, kColorKey, u"SHColor", ColourTable(41, 0x00ABCDEF, 0x00FEDCBA));
    });
    EXPECT_EQ(t.back, 0x00ABCDEFu);
    // Exactly ten entries is enough.
    t = ThemeAfterStart([](sim::Device& d) {
        d.SetBinary(HKEY_LOCAL_MACHINE, kColorKey, u"SHColor", ColourTable(10, 0x00123456, 0x00654321));
    });
    EXPECT_EQ(t.back, 0x00123456u);
    EXPECT_EQ(t.fore, 0x00654321u);
}

TEST(Frame, ThemeFallsBackToSystemColours) {
    DWORD highlight = 0, highlight_text = 0;
    auto system = [&](sim::Device& d) {
        RunProgram(d, [&] {
            highlight = GetSysColor(COLOR_HIGHLIGHT);
            highlight_text = GetSysColor(COLOR_HIGHLIGHTTEXT);
            return 0;
        });
    };
    // A table too short for entries 8 and 9.
    Theme t = ThemeAfterStart([&](sim::Device& d) {
        system(d);
        d.SetBinary(HKEY_LOCAL_MACHINE, kColorKey, u"SHColor", ColourTable(9, 0x00123456, 0x00654321));
    });
    EXPECT_EQ(t.back, highlight);
    EXPECT_EQ(t.fore, highlight_text);
    // A table longer than 41 entries fails to read.
    t = ThemeAfterStart([&](sim::Device& d) {
        system(d);
        d.SetBinary(HKEY_LOCAL_MACHINE, kColorKey, u"SHColor", ColourTable(42, 0x00123456, 0x00654321));
    });
    EXPECT_EQ(t.back, highlight);
    // No values at all: the key is left existing, and empty.
    {
        sim::Device device;
        system(device);
        device.DeleteKey(HKEY_LOCAL_MACHINE, kColorKey);
        ASSERT_FALSE(device.KeyExists(HKEY_LOCAL_MACHINE, kColorKey));
        DWORD pid = vesk_host::StartVesk(device);
        EXPECT_EQ(g_crThemeBack, highlight);
        EXPECT_EQ(g_crThemeFore, highlight_text);
        EXPECT_TRUE(device.KeyExists(HKEY_LOCAL_MACHINE, kColorKey));
        EXPECT_FALSE(device.ValueExists(HKEY_LOCAL_MACHINE, kColorKey, u"SHColor"));
        device.Close(pid, u"VeskClass");
        EXPECT_EQ(device.Reclaimed(pid).keys, 0);
    }
    // The key cannot be opened or made.
    {
        sim::Device device;
        system(device);
        device.FailCall("RegCreateKeyExW", 1, -1);
        DWORD pid = vesk_host::StartVesk(device);
        EXPECT_EQ(g_crThemeBack, highlight);
        device.Close(pid, u"VeskClass");
        EXPECT_EQ(device.Reclaimed(pid).keys, 0);
    }
}

TEST(Frame, WindowProcedureAnswers) {
    sim::Device device;
    DWORD pid = vesk_host::StartVesk(device);
    LRESULT erase = -1, draw = -1, measure = -1, move = -1;
    RunProgram(device, [&] {
        erase = SendMessageW(g_hwndButton, WM_ERASEBKGND, 0, 0);
        move = SendMessageW(g_hwndButton, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
        MEASUREITEMSTRUCT mis{};
        TaskEntry entry(u"Probe", 0, g_hwndDesktop);
        mis.itemData = reinterpret_cast<ULONG_PTR>(&entry);
        measure = SendMessageW(g_hwndButton, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&mis));
        DRAWITEMSTRUCT dis{};
        dis.itemData = reinterpret_cast<ULONG_PTR>(&entry);
        dis.hDC = GetDC(g_hwndButton);
        dis.rcItem = RECT{0, 0, 10, 10};
        draw = SendMessageW(g_hwndButton, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
        ReleaseDC(g_hwndButton, dis.hDC);
        return 0;
    });
    EXPECT_EQ(erase, 0);
    EXPECT_EQ(move, 0);
    EXPECT_EQ(measure, 1);
    EXPECT_EQ(draw, 1);
    device.Close(pid, u"VeskClass");
}

// The hook passes every taskbar message on with its result unchanged, and
// only 1024 repaints the button.
TEST(Frame, TaskBarHookPassesEverythingOnAndRepaintsOn1024) {
    sim::Device device;
    DWORD pid = vesk_host::StartVesk(device);
    static std::vector<UINT> seen;
    seen.clear();
    static WNDPROC saved;
    saved = g_pfnTaskBarProc;
    g_pfnTaskBarProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        seen.push_back(m);
        if (m == WM_USER + 7) return 0x1234;
        return CallWindowProcW(saved, h, m, w, l);
    };
    HWND button = g_hwndButton;
    ValidateRect(button, nullptr);
    bool invalid_after = true;
    LRESULT r = RunProgram(device, [&] {
        LRESULT result = SendMessageW(device.taskbar(), WM_USER + 7, 0, 0);
        invalid_after = device.Info(button)->needs_paint;
        return static_cast<int>(result);
    });
    EXPECT_EQ(r, 0x1234);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), WM_USER + 7u);
    seen.clear();
    EXPECT_FALSE(invalid_after);
    RunProgram(device, [&] {
        SendMessageW(device.taskbar(), WM_USER, 0, 0);
        invalid_after = device.Info(button)->needs_paint;
        return 0;
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), UINT(WM_USER));
    EXPECT_TRUE(invalid_after);
    g_pfnTaskBarProc = saved;
    device.Close(pid, u"VeskClass");
}

TEST(Frame, MessageToTheHookBeforeTheButtonExistsRepaintsNothing) {
    sim::Device device;
    DWORD pid = vesk_host::StartVesk(device);
    HWND button = g_hwndButton;
    g_hwndButton = nullptr;
    for (const auto& w : device.Windows()) ValidateRect(w.hwnd, nullptr);
    RunProgram(device, [&] { return static_cast<int>(SendMessageW(device.taskbar(), WM_USER, 0, 0)); });
    for (const auto& w : device.Windows()) {
        if (w.hwnd == device.taskbar()) continue;  // the shell redraws its own title
        EXPECT_FALSE(device.Info(w.hwnd)->needs_paint) << w.name;
    }
    g_hwndButton = button;
    device.Close(pid, u"VeskClass");
}

// Owner-drawn task items: their size, their icon, the title fitted with
// "..." in the bold font, the close glyph and the colours of the state.
#include <gtest/gtest.h>

#include <shellapi.h>

#include "program.h"
#include "vesk.h"

using testing_support::RunProgram;

namespace {

constexpr int kCanvasW = 240;
constexpr int kCanvasH = 60;

LRESULT CALLBACK CanvasProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_ERASEBKGND) return 1;
    return DefWindowProcW(h, m, w, l);
}

// vesk runs on the device; a probe program owns a plain window and has
// vesk's routines draw into it.
class Items : public ::testing::Test {
protected:
    void SetUp() override { Boot(240, 320, 96); }

    void Boot(int width, int height, int dpi) {
        device_.reset();
        device_ = std::make_unique<sim::Device>(sim::DeviceConfig{.width = width, .height = height, .dpi = dpi});
        vesk_ = vesk_host::StartVesk(*device_);
    }

    sim::Device& device() { return *device_; }

    // Runs fn on the probe's thread with a DC on a fresh white canvas.
    void WithCanvas(const std::function<void(HWND, HDC)>& fn) {
        RunProgram(*device_, [&] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = CanvasProc;
            wc.lpszClassName = u"Canvas";
            RegisterClassW(&wc);
            HWND hwnd = CreateWindowExW(0, u"Canvas", u"", WS_POPUP | WS_VISIBLE, 0, 100, kCanvasW, kCanvasH,
                                        nullptr, nullptr, nullptr, nullptr);
            HDC dc = GetDC(hwnd);
            RECT all{0, 0, kCanvasW, kCanvasH};
            HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
            FillRect(dc, &all, white);
            DeleteObject(white);
            fn(hwnd, dc);
            ReleaseDC(hwnd, dc);
            canvas_ = device_->Pixels(hwnd);
            DestroyWindow(hwnd);
            return 0;
        });
    }

    COLORREF At(int x, int y) const { return canvas_.At(x, y); }

    void Draw(TaskEntry* entry, UINT state, RECT rc = RECT{0, 0, 200, 18}) {
        WithCanvas([&](HWND, HDC dc) {
            DRAWITEMSTRUCT dis{};
            dis.CtlType = ODT_MENU;
            dis.itemState = state;
            dis.hDC = dc;
            dis.rcItem = rc;
            dis.itemData = reinterpret_cast<ULONG_PTR>(entry);
            DrawTaskItem(0, reinterpret_cast<LPARAM>(&dis));
        });
    }

    // True when the canvas has any pixel other than `background` in the area.
    bool Inked(RECT area, COLORREF background) const {
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (At(x, y) != background) return true;
        return false;
    }

    std::unique_ptr<sim::Device> device_;
    DWORD vesk_ = 0;
    sim::Surface canvas_;
};

int MeasureWidth(const WCHAR* text, HFONT font) {
    HDC dc = GetDC(nullptr);
    if (font) SelectObject(dc, font);
    RECT rc{0, 0, 0, 0};
    DrawTextW(dc, text, static_cast<int>(wcslen(text)), &rc, DT_CALCRECT);
    ReleaseDC(nullptr, dc);
    return rc.right - rc.left;
}

}  // namespace

TEST_F(Items, SizeIsTheTitlePlusTwoFixedTermsEachScaledByItself) {
    struct Case {
        int dpi, fixed, height;
    } cases[] = {{96, 46, 18}, {130, 63, 24}, {192, 92, 36}};
    for (const auto& c : cases) {
        Boot(c.dpi * 5 / 2, c.dpi * 10 / 3, c.dpi);
        for (const WCHAR* title : {u"Desktop", u"", u"Pocket Word - a longer title"}) {
            int measured = 0;
            MEASUREITEMSTRUCT mis{};
            TaskEntry entry(title, 0, device().desktop());
            RunProgram(device(), [&] {
                // The screen's default font, not the bold one.
                measured = MeasureWidth(title, nullptr);
                mis.itemData = reinterpret_cast<ULONG_PTR>(&entry);
                MeasureTaskItem(0, reinterpret_cast<LPARAM>(&mis));
                return 0;
            });
            EXPECT_EQ(int(mis.itemWidth), c.fixed + measured) << c.dpi;
            EXPECT_EQ(int(mis.itemHeight), c.height) << c.dpi;
        }
    }
    // A title that cannot be measured adds nothing to the fixed part.
    TaskEntry entry(u"Pocket Word", 0, device().desktop());
    MEASUREITEMSTRUCT mis{};
    mis.itemData = reinterpret_cast<ULONG_PTR>(&entry);
    device().FailCall("DrawTextW", 1, -1);
    RunProgram(device(), [&] {
        MeasureTaskItem(0, reinterpret_cast<LPARAM>(&mis));
        return 0;
    });
    device().ClearFaults();
    EXPECT_EQ(int(mis.itemWidth), 92);
}

TEST_F(Items, AnItemWithoutAnEntryMeasuresAsAnEmptyTitleAndDrawsItsBackgroundOnly) {
    MEASUREITEMSTRUCT mis{};
    RunProgram(device(), [&] {
        MeasureTaskItem(0, reinterpret_cast<LPARAM>(&mis));
        return 0;
    });
    EXPECT_EQ(mis.itemWidth, 46u);
    Draw(nullptr, ODS_SELECTED);
    COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    // A null-pen rectangle: all of the item but its last column and row.
    for (int x = 0; x < 199; ++x) EXPECT_EQ(At(x, 9), highlight) << x;
    EXPECT_EQ(At(199, 9), RGB(255, 255, 255));
    EXPECT_EQ(At(5, 17), RGB(255, 255, 255));
}

TEST_F(Items, OnlyExactlySelectedIsHighlighted) {
    HWND app = device().Launch({.name = "notes", .title = u"Notes"});
    DWORD pid = 0;
    GetWindowThreadProcessId(app, &pid);
    TaskEntry entry(u"Notes", pid, app);
    COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    COLORREF menu = GetSysColor(COLOR_MENU);
    ASSERT_NE(highlight, menu);
    for (UINT state : {0u, 1u, 17u, 3u}) {
        Draw(&entry, state);
        // Between the title and the close glyph the background shows.
        EXPECT_EQ(At(170, 1), state == ODS_SELECTED ? highlight : menu) << state;
        EXPECT_EQ(At(198, 16), state == ODS_SELECTED ? highlight : menu) << state;
        // Nothing outside the item.
        EXPECT_EQ(At(200, 5), RGB(255, 255, 255));
        EXPECT_EQ(At(5, 18), RGB(255, 255, 255));
    }
    // The title is in the menu text colour on the menu colour, in the bold
    // font; selected, in the highlight's text colour and not the menu's (the
    // menu's background is the highlight's text colour).
    for (UINT state : {0u, UINT(ODS_SELECTED)}) {
        Draw(&entry, state);
        const COLORREF want = GetSysColor(state ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
        const COLORREF other = GetSysColor(state ? COLOR_MENUTEXT : COLOR_HIGHLIGHTTEXT);
        int text = 0, wrong = 0;
        for (int x = 20; x < 180; ++x)
            for (int y = 0; y < 18; ++y) {
                text += At(x, y) == want;
                wrong += At(x, y) == other;
            }
        EXPECT_GT(text, 0) << state;
        EXPECT_TRUE(!state || wrong == 0) << wrong;
    }
}

TEST_F(Items, TaskItemsShowTheIconTitleAndCloseGlyphAndTheDesktopOnlyItsTitle) {
    HWND app = device().Launch({.name = "notes", .title = u"Notes"});
    DWORD pid = 0;
    GetWindowThreadProcessId(app, &pid);
    COLORREF menu = GetSysColor(COLOR_MENU);

    TaskEntry task(u"Notes", pid, app);
    Draw(&task, 0);
    EXPECT_TRUE(Inked(RECT{2, 1, 18, 17}, menu)) << "application icon";
    EXPECT_TRUE(Inked(RECT{182, 0, 198, 16}, menu)) << "close glyph";
    EXPECT_EQ(At(182 + 8, 17), menu) << "the glyph is 16 high from the item's top";
    // The close glyph is vesk's own: its blue.
    bool blue = false;
    for (int y = 0; y < 16; ++y)
        for (int x = 182; x < 198; ++x) blue |= At(x, y) == RGB(0, 102, 153);
    EXPECT_TRUE(blue);

    TaskEntry desktop(u"Desktop", device().shell_pid(), device().desktop());
    Draw(&desktop, 0);
    EXPECT_FALSE(Inked(RECT{0, 0, 20, 18}, menu)) << "no icon";
    EXPECT_FALSE(Inked(RECT{180, 0, 200, 18}, menu)) << "no close glyph";
    EXPECT_TRUE(Inked(RECT{20, 0, 180, 18}, menu)) << "title from L + 20";

    // The title is fitted into the item less 20 units at either end.
    TaskEntry long_title(u"Desktop with a title far too long for the item", device().shell_pid(), device().desktop());
    Draw(&long_title, 0);
    sim::Surface item = canvas_;
    WithCanvas([&](HWND, HDC dc) {
        HBRUSH brush = CreateSolidBrush(menu);
        HGDIOBJ old_brush = SelectObject(dc, brush), old_pen = SelectObject(dc, GetStockObject(NULL_PEN));
        Rectangle(dc, 0, 0, 200, 18);
        SelectObject(dc, g_hBoldFont);
        SetTextColor(dc, GetSysColor(COLOR_MENUTEXT));
        RECT box{20, 0, 180, 18};
        DrawTextFit(dc, long_title.m_pszTitle, int(wcslen(long_title.m_pszTitle)), &box, DT_SINGLELINE | DT_VCENTER);
        SelectObject(dc, old_brush);
        SelectObject(dc, old_pen);
        DeleteObject(brush);
    });
    EXPECT_EQ(item.pixels, canvas_.pixels);
}

TEST_F(Items, IconComesFromTheShortcutForItsExactClassElseFromTheExecutable) {
    struct Case {
        const WCHAR* cls;
        const WCHAR* file;  // null: the executable
    } cases[] = {{u"Calendar", u"\\windows\\calendar.lnk"}, {u"Tasks Application", u"\\windows\\tasks.lnk"},
                 {u"Contacts", u"\\windows\\addrbook.lnk"},  {u"shfind", u"\\windows\\find.lnk"},
                 {u"calendar", nullptr},                      {u"Contacts2", nullptr}};
    for (const auto& c : cases) {
        Boot(240, 320, 96);
        HWND app = device().Launch({.name = "app", .exe = u"pword.exe", .class_name = c.cls, .title = u"App"});
        DWORD pid = 0;
        GetWindowThreadProcessId(app, &pid);
        TaskEntry entry(u"App", pid, app);
        Draw(&entry, 0);
        sim::Surface item = canvas_;
        // The same file's icon, drawn directly at the same place and size.
        const WCHAR* file = c.file ? c.file : u"\\Windows\\pword.exe";
        WithCanvas([&](HWND, HDC dc) {
            RECT rc{0, 0, 200, 18};
            HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_MENU));
            FillRect(dc, &rc, brush);
            DeleteObject(brush);
            SHFILEINFOW sfi{};
            ASSERT_NE(SHGetFileInfo(file, 0, &sfi, sizeof sfi, SHGFI_ICON), 0u);
            DrawIconEx(dc, 2, 1, sfi.hIcon, 16, 16, 0, nullptr, DI_NORMAL);
            DestroyIcon(sfi.hIcon);
        });
        for (int y = 1; y < 17; ++y)
            for (int x = 2; x < 18; ++x) ASSERT_EQ(item.At(x, y), At(x, y)) << sim::Narrow(c.cls) << " " << x << "," << y;
    }
}

TEST_F(Items, MissingProcessOrPathLeavesOnlyTheIconOut) {
    HWND app = device().Launch({.name = "notes", .title = u"Notes"});
    HWND contacts = device().Launch({.name = "contacts", .class_name = u"Contacts", .title = u"Contacts"});
    DWORD pid = 0, contacts_pid = 0;
    GetWindowThreadProcessId(app, &pid);
    GetWindowThreadProcessId(contacts, &contacts_pid);
    COLORREF menu = GetSysColor(COLOR_MENU);
    TaskEntry entry(u"Notes", pid, app);

    device().FailCall("OpenProcess", 1, -1);
    Draw(&entry, 0);
    EXPECT_FALSE(Inked(RECT{0, 0, 20, 18}, menu));
    EXPECT_TRUE(Inked(RECT{20, 0, 180, 18}, menu));
    EXPECT_TRUE(Inked(RECT{182, 0, 198, 16}, menu));
    device().ClearFaults();

    // Without the executable's path there is nothing to look up...
    auto lookups = [&] {
        auto it = device().CallCounts().find("SHGetFileInfo");
        return it == device().CallCounts().end() ? 0L : it->second;
    };
    long before = lookups();
    device().FailCall("GetModuleFileNameW", 1, -1);
    Draw(&entry, 0);
    EXPECT_EQ(lookups(), before);
    EXPECT_FALSE(Inked(RECT{0, 0, 20, 18}, menu));
    EXPECT_TRUE(Inked(RECT{182, 0, 198, 16}, menu));
    // ...but a class with a shortcut of its own still shows that icon.
    TaskEntry contacts_entry(u"Contacts", contacts_pid, contacts);
    Draw(&contacts_entry, 0);
    EXPECT_TRUE(Inked(RECT{2, 1, 18, 17}, menu));
    device().ClearFaults();

    // A process that has ended cannot be opened either.
    device().Destroy(app);
    DWORD vanished_pid = pid;
    TaskEntry gone(u"Gone", vanished_pid + 1000, app);
    Draw(&gone, 0);
    EXPECT_FALSE(Inked(RECT{0, 0, 20, 18}, menu));
}

TEST_F(Items, DrawingLeavesTheContextAsItCameAndGivesEverythingBack) {
    HWND app = device().Launch({.name = "notes", .title = u"Notes"});
    DWORD pid = 0;
    GetWindowThreadProcessId(app, &pid);
    TaskEntry entry(u"Notes with a rather long title that is cut", pid, app);
    sim::Counts before_probe{}, after_probe{};
    sim::Counts vesk_before = device().CountsOf(vesk_);
    bool same_state = true;
    WithCanvas([&](HWND, HDC dc) {
        DWORD probe = GetCurrentProcessId();
        HGDIOBJ pen = GetCurrentObject(dc, OBJ_PEN), brush = GetCurrentObject(dc, OBJ_BRUSH),
                font = GetCurrentObject(dc, OBJ_FONT);
        COLORREF text = GetTextColor(dc);
        int mode = GetBkMode(dc);
        before_probe = device().CountsOf(probe);
        for (int i = 0; i < 10000; ++i) {
            DRAWITEMSTRUCT dis{};
            dis.itemState = i % 2;
            dis.hDC = dc;
            dis.rcItem = RECT{0, 0, 200, 18};
            dis.itemData = reinterpret_cast<ULONG_PTR>(&entry);
            DrawTaskItem(0, reinterpret_cast<LPARAM>(&dis));
        }
        after_probe = device().CountsOf(probe);
        same_state = pen == GetCurrentObject(dc, OBJ_PEN) && brush == GetCurrentObject(dc, OBJ_BRUSH) &&
                     font == GetCurrentObject(dc, OBJ_FONT) && text == GetTextColor(dc) && mode == GetBkMode(dc);
    });
    EXPECT_TRUE(same_state);
    EXPECT_EQ(after_probe.gdi, before_probe.gdi);
    EXPECT_EQ(after_probe.icons, before_probe.icons);
    EXPECT_EQ(after_probe.handles, before_probe.handles);
    EXPECT_EQ(after_probe.heap, before_probe.heap);
    EXPECT_EQ(device().CountsOf(vesk_), vesk_before);
    EXPECT_TRUE(testing_support::LogLines(device(), "delete-selected").empty());

    // A context whose state cannot be saved is not drawn on at all.
    device().FailCall("SaveDC", 1, -1);
    Draw(&entry, ODS_SELECTED);
    device().ClearFaults();
    EXPECT_FALSE(Inked(RECT{0, 0, kCanvasW, kCanvasH}, RGB(255, 255, 255)));
}

// ---------------------------------------------------------------------------
// Fitting a title

namespace {

// Calls of DrawTextW that measure (DT_CALCRECT) made outside the platform's
// own text code, counted by the wrapper further down.
long g_measurements = 0;

// What vesk's fitting rule gives, with widths measured by the platform.
sim::WString Fitted(HDC dc, const sim::WString& text, int box, UINT format = DT_SINGLELINE | DT_VCENTER) {
    auto width = [&](const sim::WString& s) {
        RECT rc{0, 0, box, 18};
        DrawTextW(dc, s.c_str(), static_cast<int>(s.size()), &rc, format | DT_CALCRECT);
        return rc.right - rc.left;
    };
    if (width(text) <= box) return text;
    for (size_t k = text.size() + 1; k-- > 0;) {
        sim::WString candidate = text.substr(0, k) + u"...";
        if (width(candidate) < box) return candidate;
    }
    return u"...";
}

}  // namespace

class Fit : public Items {
protected:
    // Draws with DrawTextFit and with DrawTextW of `expected`; true when the pixels agree.
    bool DrawsAs(const sim::WString& text, int box, const sim::WString& expected,
                 UINT format = DT_SINGLELINE | DT_VCENTER) {
        sim::Surface fitted, reference;
        int results[2] = {0, 0};
        for (int pass = 0; pass < 2; ++pass) {
            WithCanvas([&](HWND, HDC dc) {
                SelectObject(dc, g_hBoldFont);
                SetBkMode(dc, TRANSPARENT);
                RECT rc{10, 0, 10 + box, 18};
                if (pass == 0)
                    results[0] = DrawTextFit(dc, text.c_str(), static_cast<int>(text.size()), &rc, format);
                else
                    results[1] = DrawTextW(dc, expected.c_str(), static_cast<int>(expected.size()), &rc, format);
            });
            (pass == 0 ? fitted : reference) = canvas_;
        }
        EXPECT_EQ(results[0], results[1]);
        return fitted.pixels == reference.pixels;
    }

    // What the rule gives for the text in a box of the width, in the bold font.
    sim::WString RuleGives(const sim::WString& text, int box, UINT format = DT_SINGLELINE | DT_VCENTER) {
        sim::WString expected;
        RunProgram(device(), [&] {
            HDC dc = GetDC(nullptr);
            SelectObject(dc, g_hBoldFont);
            expected = Fitted(dc, text, box, format);
            ReleaseDC(nullptr, dc);
            return 0;
        });
        return expected;
    }

    int BoldWidth(const sim::WString& s) {
        int w = 0;
        RunProgram(device(), [&] {
            w = MeasureWidth(s.c_str(), g_hBoldFont);
            return 0;
        });
        return w;
    }
};

TEST_F(Fit, WholeTextFitsWhenNoWiderThanTheBox) {
    sim::WString title = u"Pocket Word";
    int w = BoldWidth(title);
    EXPECT_TRUE(DrawsAs(title, w, title));
    EXPECT_TRUE(DrawsAs(title, w + 20, title));
    // One pixel narrower: shortened.
    const sim::WString expected = RuleGives(title, w - 1);
    EXPECT_NE(expected, title);
    EXPECT_EQ(expected.substr(expected.size() - 3), u"...");
    EXPECT_TRUE(DrawsAs(title, w - 1, expected));
}

TEST_F(Fit, AShortenedCandidateMustBeStrictlyNarrower) {
    sim::WString title = u"Calendar appointments";
    // A box exactly as wide as "Calendar..." rejects it; "Calenda..." is drawn.
    int exact = BoldWidth(u"Calendar...");
    ASSERT_LT(exact, BoldWidth(title));
    EXPECT_TRUE(DrawsAs(title, exact, u"Calenda..."));
    EXPECT_TRUE(DrawsAs(title, exact + 1, u"Calendar..."));
}

TEST_F(Fit, NothingNarrowerThanTheBoxLeavesTheDotsAlone) {
    int dots = BoldWidth(u"...");
    EXPECT_TRUE(DrawsAs(u"Inbox", dots, u"..."));
    EXPECT_TRUE(DrawsAs(u"Inbox", 1, u"..."));
    EXPECT_TRUE(DrawsAs(u"Inbox", 0, u"..."));
    EXPECT_TRUE(DrawsAs(u"Inbox", dots + 1, u"..."));  // "..." narrower, "I..." not
}

TEST_F(Fit, AnEmptyTitleIsDrawnUnchanged) {
    EXPECT_TRUE(DrawsAs(u"", 0, u""));
    EXPECT_TRUE(DrawsAs(u"", 50, u""));
    // A negative length is an empty title too.
    WithCanvas([&](HWND, HDC dc) {
        RECT rc{10, 0, 200, 18};
        DrawTextFit(dc, u"Inbox", -5, &rc, DT_SINGLELINE | DT_VCENTER);
    });
    EXPECT_FALSE(Inked(RECT{0, 0, kCanvasW, kCanvasH}, RGB(255, 255, 255)));
}

TEST_F(Fit, FitsLikeTheRuleForManyWidths) {
    // On one line a line break is a character like any other.
    sim::WString title = u"Tasks & Notes:\r\nMi\tWWW iii ...";
    for (int box = 0; box < BoldWidth(title) + 3; box += 3) {
        const sim::WString expected = RuleGives(title, box);
        EXPECT_TRUE(DrawsAs(title, box, expected)) << box;
    }
}

// Units that make no pair, a lone half or neighbours just outside the two
// ranges of halves, are cut like any other character. A text that begins
// with a low half is not joined to the high half before it in memory.
TEST_F(Fit, UnitsThatMakeNoPairAreCutLikeAnyOther) {
    const WCHAR neighbours[][2] = {{0xD7FF, 0xDC00}, {0xDC00, 0xDC00}, {0xD800, 0xDBFF}, {0xD800, 0xE000}, {u'M', 0xDFFF}};
    for (const auto& n : neighbours) {
        const sim::WString title = sim::WString(u"Mi") + n[0] + n[1] + u"Mi";
        for (int box = 0; box <= BoldWidth(title); ++box) {
            const sim::WString expected = RuleGives(title, box);
            EXPECT_TRUE(DrawsAs(title, box, expected)) << std::hex << int(n[0]) << " " << int(n[1]) << std::dec << ", box " << box;
        }
    }
    const WCHAR memory[] = {0xD800, 0xDC00, u'W', u'W', u'W', 0};
    sim::Surface dots;
    for (int pass = 0; pass < 2; ++pass) {
        WithCanvas([&](HWND, HDC dc) {
            SelectObject(dc, g_hBoldFont);
            RECT rc{10, 0, 12, 18};
            if (pass == 0) DrawTextFit(dc, memory + 1, 4, &rc, DT_SINGLELINE | DT_VCENTER);
            else DrawTextW(dc, u"...", 3, &rc, DT_SINGLELINE | DT_VCENTER);
        });
        if (pass == 0) dots = canvas_;
    }
    EXPECT_EQ(dots.pixels, canvas_.pixels);
}

// Over several lines a prefix that ends a line is narrower than a shorter
// one cut inside that line with the dots after it: the rule still gives the
// longest prefix that fits.
TEST_F(Fit, OverSeveralLinesTheLongestFittingPrefixIsFound) {
    // Boxes wider than "Wi" but not than "W...": only prefixes that end a
    // line fit, and the text goes on past the last of them.
    const int line = BoldWidth(u"Wi"), cut = BoldWidth(u"W...");
    ASSERT_LT(line, cut);
    for (int lines = 1; lines <= 6; ++lines) {
        for (int tail = 1; tail <= 9; tail += 2) {
            sim::WString title;
            for (int i = 0; i < lines; ++i) title += u"Wi\r";
            title += sim::WString(size_t(tail), u'W');
            for (int box = line + 1; box <= cut; box += 2) {
                const sim::WString expected = RuleGives(title, box, 0);
                EXPECT_TRUE(DrawsAs(title, box, expected, 0)) << lines << " lines, " << tail << " after, box " << box;
            }
        }
    }
}

TEST_F(Fit, AHundredThousandCharactersGiveExactlyWhatTheRuleGives) {
    sim::WString title;
    for (int i = 0; i < 100000; ++i) title += static_cast<WCHAR>(u"Wil. m"[i % 6]);
    // The rule, with the prefix widths added up from each character's advance.
    sim::WString expected;
    int box = 150;
    RunProgram(device(), [&] {
        HDC dc = GetDC(nullptr);
        SelectObject(dc, g_hBoldFont);
        auto width = [&](const sim::WString& s) {
            SIZE sz{};
            GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &sz);
            return sz.cx;
        };
        int dots = width(u"...");
        int prefix = 0;
        size_t k = 0;
        while (k < title.size() && prefix + width(title.substr(k, 1)) + dots < box) prefix += width(title.substr(k++, 1));
        expected = title.substr(0, k) + u"...";
        ReleaseDC(nullptr, dc);
        return 0;
    });
    g_measurements = 0;
    EXPECT_TRUE(DrawsAs(title, box, expected));
    // In a number of measurements that grows with the logarithm of the
    // length: the whole text, then about one a halving of 100,001 lengths.
    EXPECT_LE(g_measurements, 40);
}

TEST_F(Fit, WithoutRoomForTheWorkBufferTheDotsAreDrawn) {
    sim::WString title = u"A title far too long for its box";
    sim::Surface fitted;
    WithCanvas([&](HWND, HDC dc) {
        DWORD probe = GetCurrentProcessId();
        SelectObject(dc, g_hBoldFont);
        RECT rc{10, 0, 60, 18};
        device().FailAllocation(1);
        DrawTextFit(dc, title.c_str(), static_cast<int>(title.size()), &rc, DT_SINGLELINE | DT_VCENTER);
        device().ClearFaults();
        EXPECT_EQ(device().CountsOf(probe).heap, 0);
    });
    fitted = canvas_;
    WithCanvas([&](HWND, HDC dc) {
        SelectObject(dc, g_hBoldFont);
        RECT rc{10, 0, 60, 18};
        DrawTextW(dc, u"...", 3, &rc, DT_SINGLELINE | DT_VCENTER);
    });
    EXPECT_EQ(fitted.pixels, canvas_.pixels);
}

// On the screen, in the task menu: the title in the bold font (wider than
// the plain font could draw it), the close glyph's square outline 16 design
// units from the item's right end.
TEST(ItemsOnScreen, TitleIsBoldAndTheCloseGlyphSitsAtTheRightEnd) {
    for (int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        sim::Device device({.width = dpi * 5 / 2, .height = dpi * 10 / 3, .dpi = dpi});
        vesk_host::StartVesk(device);
        const WCHAR kTitle[] = u"WWWWWWWW";
        device.Launch({.name = "wide", .title = kTitle});
        int plain = 0, bold = 0;
        COLORREF menu = 0;
        RunProgram(device, [&] {
            auto width = [&](LONG weight) {
                LOGFONTW lf{};
                GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
                lf.lfHeight = -device.ScaleY(11);
                lf.lfWeight = weight;
                HFONT font = CreateFontIndirectW(&lf);
                HDC dc = GetDC(nullptr);
                HGDIOBJ old = SelectObject(dc, font);
                SIZE size{};
                GetTextExtentPoint32W(dc, kTitle, 8, &size);
                SelectObject(dc, old);
                ReleaseDC(nullptr, dc);
                DeleteObject(font);
                return int(size.cx);
            };
            plain = width(FW_NORMAL);
            bold = width(FW_BOLD);
            menu = GetSysColor(COLOR_MENU);
            return 0;
        });
        ASSERT_GT(bold - plain, device.ScaleX(4));
        device.Tap(device.config().width - device.ScaleX(28) + 1, 5);
        auto view = device.OpenMenu();
        ASSERT_TRUE(view.has_value());
        ASSERT_GE(view->items.size(), 2u);
        const RECT item = view->items[1].rect;
        // The extent (inclusive) of the pixels in [x0, x1) of the item that pass.
        auto extent = [&](int x0, int x1, const std::function<bool(COLORREF)>& pass) {
            RECT r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
            for (int y = item.top; y < item.bottom; ++y)
                for (int x = x0; x < x1; ++x)
                    if (pass(device.PixelAt(x, y)))
                        r = RECT{std::min<LONG>(r.left, x), std::min<LONG>(r.top, y), std::max<LONG>(r.right, x),
                                 std::max<LONG>(r.bottom, y)};
            return r;
        };
        int x0 = item.right - device.ScaleX(18);
        // The outline is the icon's square from its pixel 1 to 14 (of 16), 2 to 29 (of 32).
        int first = dpi == 96 ? 1 : 2, last = dpi == 96 ? 14 : 29;
        RECT glyph = extent(x0 - 2, x0 + device.ScaleX(16) + 2, [](COLORREF c) { return c == RGB(0, 102, 153); });
        EXPECT_EQ(glyph.left, x0 + first);
        EXPECT_EQ(glyph.right, x0 + last);
        EXPECT_EQ(glyph.top, item.top + first);
        if (dpi == 96) {
            RECT ink = extent(item.left + 20, item.right - 20, [&](COLORREF c) { return c != menu; });
            EXPECT_GT(ink.right - ink.left + 1, plain);
            EXPECT_LE(ink.right - ink.left + 1, bold);
            // The text's cell centred vertically in the 18 rows: the capitals'
            // ink from row 6 to row 13.
            EXPECT_EQ(ink.top - item.top, 6);
            EXPECT_EQ(ink.bottom - item.top, 13);
        }
        device.Tap(0, device.config().height - 1);
    }
}

// ---------------------------------------------------------------------------
// Characters past U+FFFF

// On a device whose font has a character past U+FFFF, its pair of units is
// drawn wider than the box that a lone half gets. The simulator's Tahoma has
// no such character (a pair and a lone half are both its missing glyph), so
// while a test wants it, every pair measures kPairExtra pixels wider here:
// vesk_tests is linked with --wrap=DrawTextW, which sends the calls made
// outside the platform's own text code through this function.
namespace {

constexpr int kPairExtra = 8;
struct WidePairs {
    bool on = false;
    std::vector<sim::WString> drawn;
} g_wide_pairs;

bool HighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool LowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool HasLoneSurrogate(const sim::WString& s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (HighSurrogate(s[i]) && i + 1 < s.size() && LowSurrogate(s[i + 1])) ++i;
        else if (HighSurrogate(s[i]) || LowSurrogate(s[i])) return true;
    }
    return false;
}

}  // namespace

extern "C" int __real_DrawTextW(HDC hdc, LPCWSTR text, int length, LPRECT rc, UINT format);
extern "C" int __wrap_DrawTextW(HDC hdc, LPCWSTR text, int length, LPRECT rc, UINT format) {
    int result = __real_DrawTextW(hdc, text, length, rc, format);
    if (format & DT_CALCRECT) ++g_measurements;
    if (!g_wide_pairs.on || !text || !rc) return result;
    sim::WString s(text, length < 0 ? wcslen(text) : size_t(length));
    if (format & DT_CALCRECT) {
        for (size_t i = 0; i + 1 < s.size(); ++i)
            if (HighSurrogate(s[i]) && LowSurrogate(s[i + 1])) rc->right += kPairExtra, ++i;
    } else {
        g_wide_pairs.drawn.push_back(s);
    }
    return result;
}

// A title with characters past U+FFFF is cut before a pair, never between
// its halves, whatever the width of its item: the longest such prefix that
// fits with the dots.
TEST_F(Items, ATitleIsNeverCutBetweenTheHalvesOfAPair) {
    HWND app = device().Launch({.name = "notes", .title = u"Notes"});
    DWORD pid = 0;
    GetWindowThreadProcessId(app, &pid);
    // The second title begins with a pair, and has the first and the last
    // character past U+FFFF, whose halves lie at the ends of their ranges.
    int cut_before_a_pair = 0;
    g_wide_pairs.on = true;
    for (const sim::WString& title : {sim::WString(u"Mail \U0001F600\U0001F600 \U00020B9F\U0001F600\U0001F600\U0001F600 done"),
                                     sim::WString(u"\U00010000\U0010FFFF\U00010000\U0010FFFF \U0010FFFF\U00010000 end")}) {
        TaskEntry entry(title.c_str(), pid, app);
        for (int width = 40; width <= 200; ++width) {
            g_wide_pairs.drawn.clear();
            Draw(&entry, 0, RECT{0, 0, width, 18});
            ASSERT_FALSE(g_wide_pairs.drawn.empty()) << width;
            const sim::WString& drawn = g_wide_pairs.drawn.back();
            EXPECT_FALSE(HasLoneSurrogate(drawn)) << "item " << width << " wide drew \"" << sim::Narrow(drawn) << "\"";
            if (drawn.size() > 3 && drawn.ends_with(u"...") && HighSurrogate(title[drawn.size() - 3]))
                ++cut_before_a_pair;
        }
    }
    g_wide_pairs.on = false;
    EXPECT_GT(cut_before_a_pair, 0) << "no width cut the title just before a pair";
}

// The task list that vesk builds into its menu, and its actions on other
// applications' windows, against simulated applications.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program.h"
#include "vesk.h"

using testing_support::LogLines;
using testing_support::RunProgram;

namespace {

struct Item {
    UINT id = 0;
    UINT type = 0;
    sim::WString title;  // the entry's title, or the item's text
    HWND hwnd = nullptr;
    DWORD pid = 0;
    bool has_entry = false;
};

std::vector<Item> ReadMenu(HMENU popup) {
    std::vector<Item> items;
    for (int pos = 0; pos < GetMenuItemCount(popup); ++pos) {
        WCHAR text[64] = u"";
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_TYPE | MIIM_DATA | MIIM_ID;
        mii.dwTypeData = text;
        mii.cch = 64;
        if (!GetMenuItemInfoW(popup, pos, TRUE, &mii)) break;
        Item item;
        item.id = mii.wID;
        item.type = mii.fType;
        if (mii.fType & MFT_OWNERDRAW) {
            auto* entry = reinterpret_cast<TaskEntry*>(mii.dwItemData);
            item.has_entry = entry != nullptr;
            if (entry) {
                item.title = entry->m_pszTitle;
                item.hwnd = entry->m_hwnd;
                item.pid = entry->m_dwProcessId;
            }
        } else if (!(mii.fType & MFT_SEPARATOR)) {
            item.title = text;
        }
        items.push_back(item);
    }
    return items;
}

void FreeEntries(HMENU popup) {
    for (int pos = 0;; ++pos) {
        MENUITEMINFOW mii{};
        mii.cbSize = sizeof mii;
        mii.fMask = MIIM_TYPE | MIIM_DATA;
        if (!GetMenuItemInfoW(popup, pos, TRUE, &mii) || mii.fType == MFT_SEPARATOR) break;
        delete reinterpret_cast<TaskEntry*>(mii.dwItemData);
    }
}

// vesk runs on a device; a probe program loads the task menu from vesk's
// resources, builds it with vesk's BuildTaskMenu, and hands it to `use`.
class TaskList : public ::testing::Test {
protected:
    void SetUp() override { Boot({}); }

    void Boot(const sim::DeviceConfig& config) {
        device_.reset();
        device_ = std::make_unique<sim::Device>(config);
        vesk_ = vesk_host::StartVesk(*device_);
    }

    sim::Device& device() { return *device_; }

    HWND Launch(sim::AppConfig app) { return device_->Launch(app); }

    struct Built {
        std::vector<Item> items;
        int count = 0;
        sim::Counts during, after;
    };

    Built Build(const std::function<void(HMENU)>& use = nullptr) {
        Built b;
        DWORD probe = 0;
        RunProgram(*device_, [&] {
            probe = GetCurrentProcessId();
            HMENU menu = LoadMenuW(g_hInstance, MAKEINTRESOURCEW(IDR_TASKMENU));
            HMENU popup = GetSubMenu(menu, 0);
            BuildTaskMenu(popup);
            b.count = g_nMenuItems;
            {
                sim::Bookkeeping uncounted;  // the test's own bookkeeping is not vesk's heap
                b.items = ReadMenu(popup);
            }
            if (use) use(popup);
            b.during = device_->CountsOf(probe);
            FreeEntries(popup);
            DestroyMenu(menu);
            b.after = device_->CountsOf(probe);
            return 0;
        });
        return b;
    }

    std::unique_ptr<sim::Device> device_;
    DWORD vesk_ = 0;
};

void ExpectTemplateAfter(const std::vector<Item>& items, size_t at) {
    const std::pair<UINT, const WCHAR*> commands[] = {
        {IDM_MINIMIZE, u"&Minimize"}, {IDM_CLOSE_BACKGROUND, u"Close &Background Tasks"},
        {IDM_CLOSE_ALL, u"Close &All Tasks"}, {0, nullptr}, {IDM_EXIT, u"E&xit"}};
    ASSERT_EQ(items.size(), at + 5);
    for (size_t i = 0; i < 5; ++i) {
        const Item& item = items[at + i];
        if (!commands[i].second) {
            EXPECT_EQ(item.type, UINT(MFT_SEPARATOR));
            continue;
        }
        EXPECT_EQ(item.id, commands[i].first);
        EXPECT_EQ(item.title, commands[i].second);
    }
}

std::vector<sim::WString> Titles(const std::vector<Item>& items, int count) {
    std::vector<sim::WString> out;
    for (int i = 0; i < count; ++i) out.push_back(items[size_t(i)].title);
    return out;
}

}  // namespace

TEST_F(TaskList, WithNoTaskWindowOnlyTheDesktopEntryAndASeparator) {
    Built b = Build();
    EXPECT_EQ(b.count, 1);
    ASSERT_GE(b.items.size(), 2u);
    EXPECT_EQ(b.items[0].id, 0x8000u);
    EXPECT_EQ(b.items[0].type, UINT(MFT_OWNERDRAW));
    EXPECT_EQ(b.items[0].title, u"Desktop");
    EXPECT_EQ(b.items[0].hwnd, device().desktop());
    EXPECT_EQ(b.items[0].pid, device().shell_pid());
    EXPECT_EQ(b.items[1].type, UINT(MFT_SEPARATOR));
    EXPECT_EQ(b.items[1].id, 0u);
    ExpectTemplateAfter(b.items, 2);
    EXPECT_EQ(b.after.heap, 0);
    EXPECT_EQ(b.after.menus, 0);
}

TEST_F(TaskList, OneItemPerQualifyingWindowInEnumerationOrder) {
    HWND notes = Launch({.name = "notes", .title = u"Notes"});
    HWND word = Launch({.name = "word", .title = u"Pocket Word"});
    // Two windows of one process give two items, each with its own title.
    HWND inbox = Launch({.name = "inbox", .exe = u"mail.exe", .title = u"Inbox"});
    HWND outbox = Launch({.name = "outbox", .exe = u"mail.exe", .title = u"Outbox"});
    Built b = Build();
    ASSERT_EQ(b.count, 5);
    // The platform enumerates top-level windows front to back.
    EXPECT_EQ(Titles(b.items, 5),
              (std::vector<sim::WString>{u"Desktop", u"Outbox", u"Inbox", u"Pocket Word", u"Notes"}));
    EXPECT_EQ(b.items[1].hwnd, outbox);
    EXPECT_EQ(b.items[2].hwnd, inbox);
    EXPECT_EQ(b.items[3].hwnd, word);
    EXPECT_EQ(b.items[4].hwnd, notes);
    EXPECT_EQ(b.items[1].pid, b.items[2].pid);
    EXPECT_NE(b.items[1].pid, b.items[3].pid);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(b.items[size_t(k)].id, 0x8000u + k);
        EXPECT_TRUE(b.items[size_t(k)].has_entry);
    }
    EXPECT_EQ(b.items[5].type, UINT(MFT_SEPARATOR));
    ExpectTemplateAfter(b.items, 6);
    // Each entry and its title copy are two blocks; all go back.
    EXPECT_EQ(b.during.heap, 10);
    EXPECT_EQ(b.after.heap, 0);
    EXPECT_EQ(b.after.menus, 0);
    EXPECT_EQ(b.after.snapshots, 0);
}

TEST_F(TaskList, WhichWindowsQualify) {
    HWND owner = Launch({.name = "owner", .title = u"Owner app"});
    Launch({.name = "owned-dialog", .class_name = u"Dialog", .title = u"Owned dialog", .owner = "owner"});
    Launch({.name = "free-dialog", .class_name = u"Dialog", .title = u"Free dialog"});
    Launch({.name = "dialogue", .class_name = u"Dialogue", .title = u"Dialogue", .owner = "owner"});
    Launch({.name = "one", .title = u"X"});
    Launch({.name = "two", .title = u"XY"});
    // One character past U+FFFF is two units, as the device counts a title.
    Launch({.name = "pair", .title = u"\U0001F600"});
    Launch({.name = "empty", .title = u""});
    Launch({.name = "hidden", .title = u"Hidden window", .hidden = true});
    Launch({.name = "shellwin", .exe = u"shell32.exe", .title = u"Shell window"});
    Launch({.name = "shellcase", .exe = u"Shell32.exe", .title = u"Case differs"});
    (void)owner;
    Built b = Build();
    std::vector<sim::WString> titles = Titles(b.items, b.count);
    EXPECT_EQ(titles, (std::vector<sim::WString>{u"Desktop", u"Case differs", u"\U0001F600", u"XY", u"Dialogue", u"Free dialog",
                                                  u"Owner app"}));
}

TEST_F(TaskList, ASnapshotThatFailsCostsOnlyThatWindow) {
    Launch({.name = "a", .title = u"Alpha"});
    Launch({.name = "b", .title = u"Beta"});
    Launch({.name = "c", .title = u"Gamma"});
    // Windows are enumerated front to back: the second candidate is Beta.
    device().FailCall("CreateToolhelp32Snapshot", 2);
    Built b = Build();
    EXPECT_EQ(Titles(b.items, b.count), (std::vector<sim::WString>{u"Desktop", u"Gamma", u"Alpha"}));
    EXPECT_EQ(b.items[2].id, 0x8002u);
    EXPECT_EQ(b.after.snapshots, 0);
}

TEST_F(TaskList, AFailedInsertionLeavesIdsContiguousAndNothingBehind) {
    Launch({.name = "a", .title = u"Alpha"});
    Launch({.name = "b", .title = u"Beta"});
    device().FailCall("InsertMenuW", 2);  // the first task item after the Desktop entry
    Built b = Build();
    EXPECT_EQ(Titles(b.items, b.count), (std::vector<sim::WString>{u"Desktop", u"Alpha"}));
    EXPECT_EQ(b.items[1].id, 0x8001u);
    EXPECT_EQ(b.after.heap, 0);
}

TEST_F(TaskList, WhenTheDesktopEntryCannotBeInsertedNoSeparatorIsAdded) {
    device().FailCall("InsertMenuW", 1);
    Built b = Build();
    EXPECT_EQ(b.count, 0);
    ExpectTemplateAfter(b.items, 0);
    EXPECT_EQ(b.after.heap, 0);
}

TEST_F(TaskList, AllocationFailuresNeverLeaveAnItemWithoutItsEntry) {
    Launch({.name = "a", .title = u"Alpha"});
    Launch({.name = "b", .title = u"Beta"});
    // Every allocation of a build in turn: entries, title copies, title buffers.
    for (long n = 1; n <= 8; ++n) {
        device().FailAllocation(n);
        Built b = Build();
        for (int k = 0; k < b.count; ++k) {
            EXPECT_TRUE(b.items[size_t(k)].has_entry) << n;
            EXPECT_FALSE(b.items[size_t(k)].title.empty()) << n;
            EXPECT_EQ(b.items[size_t(k)].id, 0x8000u + k) << n;
        }
        EXPECT_LE(b.count, 3);
        EXPECT_EQ(b.after.heap, 0) << n;
        device().ClearFaults();
    }
}

TEST_F(TaskList, AVeryLongTitleIsCopiedWhole) {
    sim::WString title(100000, u'w');
    Launch({.name = "long", .title = title});
    Built b = Build();
    ASSERT_EQ(b.count, 2);
    EXPECT_EQ(b.items[1].title, title);
    EXPECT_EQ(b.after.heap, 0);
}

TEST_F(TaskList, TitlesAreCapturedAtTheBuild) {
    HWND app = Launch({.name = "a", .title = u"Before"});
    Build([&](HMENU popup) {
        SetWindowTextW(app, u"After");
        EXPECT_EQ(ReadMenu(popup)[1].title, u"Before");
    });
}

TEST(TaskEntryRecord, CopiesTheTitleAndFreesBothBlocks) {
    sim::Device device;
    RunProgram(device, [&] {
        DWORD pid = GetCurrentProcessId();
        WCHAR title[] = u"Calendar";
        auto* entry = new TaskEntry(title, 42, reinterpret_cast<HWND>(7));
        title[0] = u'X';
        EXPECT_EQ(sim::WString(entry->m_pszTitle), u"Calendar");
        EXPECT_EQ(entry->m_dwProcessId, 42u);
        EXPECT_EQ(device.CountsOf(pid).heap, 2);
        delete entry;
        EXPECT_EQ(device.CountsOf(pid).heap, 0);
        return 0;
    });
}

// ---------------------------------------------------------------------------
// Window actions

namespace {

long Calls(const sim::Device& device, const std::string& api) {
    auto it = device.CallCounts().find(api);
    return it == device.CallCounts().end() ? 0 : it->second;
}

std::vector<UINT> Messages(sim::Device& device, HWND hwnd) {
    std::vector<UINT> out;
    for (const auto& m : device.Received(hwnd)) out.push_back(m.message);
    return out;
}

class Actions : public TaskList {
protected:
    void Act(const std::function<void()>& fn) {
        RunProgram(device(), [&] {
            fn();
            return 0;
        });
    }
};

}  // namespace

TEST_F(Actions, CloseTaskWindowTreatsEachKindOfWindowItsWay) {
    HWND ok = Launch({.name = "ok", .exstyle = WS_EX_CAPTIONOKBTN, .on_ok = sim::OnOk::Ignore});
    HWND sheet = Launch({.name = "sheet", .style = 0x90000004, .exstyle = WS_EX_CAPTIONOKBTN,
                         .on_ok = sim::OnOk::Ignore});
    HWND almost = Launch({.name = "almost", .style = 0x90000000, .exstyle = WS_EX_CAPTIONOKBTN,
                          .on_ok = sim::OnOk::Ignore});
    HWND more = Launch({.name = "more", .style = 0x90C00004, .exstyle = WS_EX_CAPTIONOKBTN,
                        .on_ok = sim::OnOk::Ignore});
    HWND shell = Launch({.name = "shellwin", .exe = u"shell32.exe"});
    HWND shell_ok = Launch({.name = "shellok", .exe = u"shell32.exe", .exstyle = WS_EX_CAPTIONOKBTN,
                            .on_ok = sim::OnOk::Ignore});
    HWND plain = Launch({.name = "plain", .on_close = sim::OnClose::Ignore});
    HWND shell_case = Launch({.name = "shellcase", .exe = u"Shell32.exe", .on_close = sim::OnClose::Ignore});
    const HWND all[] = {ok, sheet, almost, more, shell, shell_ok, plain, shell_case};
    for (HWND h : all) device().ClearReceived(h);

    for (HWND h : all) Act([&] { CloseTaskWindow(h); });

    const auto& got_ok = device().Received(ok);
    ASSERT_EQ(got_ok.size(), 1u);
    EXPECT_EQ(got_ok[0].message, UINT(WM_COMMAND));
    EXPECT_EQ(got_ok[0].wparam, WPARAM(IDOK));
    EXPECT_EQ(got_ok[0].lparam, reinterpret_cast<LPARAM>(ok));
    EXPECT_TRUE(got_ok[0].sent);

    // The property sheet gets the OK command, then the posted OK press after it.
    const auto& got_sheet = device().Received(sheet);
    ASSERT_EQ(got_sheet.size(), 2u);
    EXPECT_EQ(got_sheet[0].message, UINT(WM_COMMAND));
    EXPECT_TRUE(got_sheet[0].sent);
    EXPECT_EQ(got_sheet[1].message, UINT(PSM_PRESSBUTTON));
    EXPECT_EQ(got_sheet[1].wparam, WPARAM(PSBTN_OK));
    EXPECT_EQ(got_sheet[1].lparam, 0);
    EXPECT_FALSE(got_sheet[1].sent);
    EXPECT_FALSE(device().Info(sheet));  // a property sheet closes on its OK press

    // Any other style, with a bit fewer or more, is no property sheet.
    EXPECT_EQ(Messages(device(), almost), (std::vector<UINT>{WM_COMMAND}));
    EXPECT_EQ(Messages(device(), more), (std::vector<UINT>{WM_COMMAND}));

    // The shell's window is hidden and put at the bottom, never closed.
    EXPECT_TRUE(Messages(device(), shell).empty());
    auto windows = device().Windows();
    const sim::WindowInfo* info = nullptr;
    for (const auto& w : windows)
        if (w.hwnd == shell) info = &w;
    ASSERT_NE(info, nullptr);
    EXPECT_FALSE(info->visible);
    EXPECT_EQ(windows.back().hwnd, shell);
    // ...unless it shows "ok": then it is pressed.
    EXPECT_EQ(Messages(device(), shell_ok), (std::vector<UINT>{WM_COMMAND}));

    const auto& got_plain = device().Received(plain);
    ASSERT_EQ(got_plain.size(), 1u);
    EXPECT_EQ(got_plain[0].message, UINT(WM_CLOSE));
    EXPECT_EQ(got_plain[0].wparam, 0u);
    EXPECT_EQ(got_plain[0].lparam, 0);
    // The shell's name is compared exactly: another case is another program.
    EXPECT_EQ(Messages(device(), shell_case), (std::vector<UINT>{WM_CLOSE}));
}

TEST_F(Actions, CloseTaskWindowLeavesAWindowAloneWhenItsProcessCannotBeFound) {
    HWND app = Launch({.name = "app"});
    device().ClearReceived(app);
    device().FailCall("CreateToolhelp32Snapshot");
    Act([&] { CloseTaskWindow(app); });
    EXPECT_TRUE(device().Received(app).empty());
    // A window that is already gone is left alone too.
    device().Destroy(app);
    Act([&] { CloseTaskWindow(app); });
    DWORD probe_snapshots = 0;
    RunProgram(device(), [&] {
        CloseTaskWindow(app);
        probe_snapshots = static_cast<DWORD>(device().CountsOf(GetCurrentProcessId()).snapshots);
        return 0;
    });
    EXPECT_EQ(probe_snapshots, 0u);
}

TEST_F(Actions, CloseAllTasksClosesTopToBottomOneAfterAnother) {
    HWND a = Launch({.name = "alpha"});
    HWND b = Launch({.name = "bravo", .on_close = sim::OnClose::Hang});
    HWND c = Launch({.name = "charlie"});
    size_t mark = device().Log().size();
    // The popup's order is front to back: c, b, a. b hangs: a waits for it.
    RunProgram(device(), [&] {
        HMENU menu = LoadMenuW(g_hInstance, MAKEINTRESOURCEW(IDR_TASKMENU));
        HMENU popup = GetSubMenu(menu, 0);
        BuildTaskMenu(popup);
        CloseAllTasks(popup);
        FreeEntries(popup);
        DestroyMenu(menu);
        return 0;
    });
    EXPECT_TRUE(device().IsHung());
    EXPECT_FALSE(device().Info(c));
    EXPECT_TRUE(device().Info(b));
    EXPECT_TRUE(device().Info(a));
    EXPECT_TRUE(device().Received(a).empty() || device().Received(a).back().message != WM_CLOSE);
    device().Release(b);
    EXPECT_FALSE(device().IsHung());
    EXPECT_FALSE(device().Info(b));
    EXPECT_FALSE(device().Info(a));
    auto closes = LogLines(device(), "WM_CLOSE", mark);
    ASSERT_EQ(closes.size(), 3u);
    EXPECT_NE(closes[0].find("msg charlie "), std::string::npos);
    EXPECT_NE(closes[1].find("msg bravo "), std::string::npos);
    EXPECT_NE(closes[2].find("msg alpha "), std::string::npos);
    // The desktop is never closed.
    EXPECT_TRUE(device().Info(device().desktop()));
}

TEST_F(Actions, CloseAllTasksOnADesktopOnlyMenuClosesNothing) {
    size_t mark = device().Log().size();
    Built b = Build([](HMENU popup) { CloseAllTasks(popup); });
    EXPECT_TRUE(LogLines(device(), "msg", mark).empty());
    EXPECT_TRUE(device().Info(device().desktop()));
}

TEST_F(Actions, CloseBackgroundTasksSparesTheWindowThatWasInFront) {
    HWND a = Launch({.name = "alpha"});
    HWND b = Launch({.name = "bravo"});
    HWND front = Launch({.name = "front"});
    Build([](HMENU popup) { CloseBackgroundTasks(popup); });
    EXPECT_TRUE(device().Info(front));
    EXPECT_FALSE(device().Info(a));
    EXPECT_FALSE(device().Info(b));
    EXPECT_TRUE(Messages(device(), front).empty() || Messages(device(), front).back() != WM_CLOSE);
}

TEST_F(Actions, CloseBackgroundTasksReadsTheFrontWindowOnce) {
    Launch({.name = "alpha"});
    Launch({.name = "bravo"});
    Launch({.name = "front"});
    long before = 0, after = 0;
    Build([&](HMENU popup) {
        before = Calls(device(), "GetForegroundWindow");
        CloseBackgroundTasks(popup);
        after = Calls(device(), "GetForegroundWindow");
    });
    EXPECT_EQ(after - before, 1);
}

TEST_F(Actions, ItemsWithoutAnEntryAreSkippedByTheWalks) {
    HWND a = Launch({.name = "alpha"});
    RunProgram(device(), [&] {
        HMENU menu = LoadMenuW(g_hInstance, MAKEINTRESOURCEW(IDR_TASKMENU));
        HMENU popup = GetSubMenu(menu, 0);
        BuildTaskMenu(popup);
        // As if the build had inserted it: the walks cover what it inserted.
        if (InsertMenuW(popup, 1, MF_BYPOSITION | MF_OWNERDRAW, 0x8100, nullptr)) ++g_nMenuItems;
        CloseAllTasks(popup);
        FreeEntries(popup);
        DestroyMenu(menu);
        return 0;
    });
    EXPECT_FALSE(device().Info(a));
}

TEST_F(Actions, ShowDesktopMinimizesFrontToBackUntilTheDesktopIsInFront) {
    Launch({.name = "alpha"});
    Launch({.name = "bravo"});
    Launch({.name = "charlie"});
    size_t mark = device().Log().size();
    Act([] { ShowDesktop(); });
    auto minimized = LogLines(device(), "minimized", mark);
    ASSERT_EQ(minimized.size(), 3u);
    EXPECT_NE(minimized[0].find("minimized charlie"), std::string::npos);
    EXPECT_NE(minimized[1].find("minimized bravo"), std::string::npos);
    EXPECT_NE(minimized[2].find("minimized alpha"), std::string::npos);
    EXPECT_EQ(device().Foreground(), device().desktop());
    // Minimized windows keep running and stay in the task list.
    Built b = Build();
    EXPECT_EQ(b.count, 4);
    // With the desktop already in front nothing is minimized.
    mark = device().Log().size();
    Act([] { ShowDesktop(); });
    EXPECT_TRUE(LogLines(device(), "minimized", mark).empty());
}

// A window that stays in front when it is minimized ends the loop: bravo is
// minimized, then every ShowWindow fails and alpha stays in front.
TEST_F(Actions, ShowDesktopEndsWhenMinimizingChangesNothing) {
    Launch({.name = "alpha"});
    HWND bravo = Launch({.name = "bravo"});
    long calls_before = Calls(device(), "ShowWindow");
    size_t mark = device().Log().size();
    device().FailCall("ShowWindow", 2, -1);
    Act([] { ShowDesktop(); });
    device().ClearFaults();
    EXPECT_EQ(Calls(device(), "ShowWindow") - calls_before, 2);
    auto minimized = LogLines(device(), "minimized", mark);
    ASSERT_EQ(minimized.size(), 1u);
    EXPECT_NE(minimized[0].find("minimized bravo"), std::string::npos);
    EXPECT_NE(device().Foreground(), bravo);
}

// Without a desktop each window is minimized once, front to back, and the
// loop ends when the first one minimized is in front again.
TEST_F(Actions, ShowDesktopWithoutADesktopMinimizesEveryWindowOnce) {
    Boot({.desktop = false});
    Launch({.name = "alpha"});
    Launch({.name = "bravo"});
    HWND charlie = Launch({.name = "charlie"});
    size_t mark = device().Log().size();
    Act([] { ShowDesktop(); });
    auto minimized = LogLines(device(), "minimized", mark);
    ASSERT_EQ(minimized.size(), 3u);
    EXPECT_NE(minimized[0].find("minimized charlie"), std::string::npos);
    EXPECT_NE(minimized[1].find("minimized bravo"), std::string::npos);
    EXPECT_NE(minimized[2].find("minimized alpha"), std::string::npos);
    EXPECT_EQ(device().Foreground(), charlie);
}

// More windows than its bound of passes: exactly 1024 are minimized, front to
// back, and the 1025th from the front is left there.
TEST_F(Actions, ShowDesktopMinimizesAtMost1024Windows) {
    const int kWindows = 1026;
    std::vector<HWND> windows;
    for (int i = 0; i < kWindows; ++i)
        windows.push_back(Launch({.name = "w" + std::to_string(i), .exe = u"proc" + sim::Widen(std::to_string(i % 25)) + u".exe"}));
    size_t mark = device().Log().size();
    Act([] { ShowDesktop(); });
    auto minimized = LogLines(device(), "minimized", mark);
    ASSERT_EQ(minimized.size(), 1024u);
    EXPECT_TRUE(minimized.front().ends_with(" minimized w1025")) << minimized.front();
    EXPECT_TRUE(minimized.back().ends_with(" minimized w2")) << minimized.back();
    EXPECT_EQ(device().Foreground(), windows[1]);
}

TEST_F(Actions, MinimizeSendsTheWindowBehindTheOthers) {
    HWND a = Launch({.name = "alpha"});
    HWND b = Launch({.name = "bravo"});
    Act([&] { MinimizeWindow(b); });
    EXPECT_EQ(device().Foreground(), a);
    auto windows = device().Windows();
    EXPECT_EQ(windows.back().hwnd, b);
    EXPECT_TRUE(IsWindowVisible(b));
}

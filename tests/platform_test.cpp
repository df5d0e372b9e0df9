// What the platform does, for the calls vesk relies on: windows and their
// procedures, enumeration, messages, capture and coordinates, timers,
// kernel objects, tool-help, the registry and the shell's file icons.
#include <gtest/gtest.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <new>
#include <string>
#include <vector>

#include "program.h"

using testing_support::RunProgram;

namespace {

struct Recorder {
    std::vector<UINT> messages;
    std::vector<LPARAM> params;
};
Recorder* g_recorder = nullptr;

LRESULT CALLBACK RecordingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (g_recorder && m != WM_PAINT && m != WM_ERASEBKGND && m != WM_NCCREATE && m != WM_NCDESTROY) {
        g_recorder->messages.push_back(m);
        g_recorder->params.push_back(l);
    }
    if (m == WM_USER + 1) return 0x55;
    return DefWindowProcW(h, m, w, l);
}

HWND MakeWindow(const wchar_t* cls, const wchar_t* title, DWORD style, RECT rc, HWND parent = nullptr) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = cls;
    RegisterClassW(&wc);
    return CreateWindowExW(0, cls, title, style, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent,
                           nullptr, nullptr, nullptr);
}

// Runs body as a program with a message loop of its own afterwards, so that
// pen input and timers reach its windows; returns its process id.
DWORD StartLooping(sim::Device& device, std::function<void()> body) {
    sim::ProgramImage image;
    image.exe_path = L"\\Windows\\looper.exe";
    image.entry = [body](HINSTANCE) {
        body();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        return static_cast<int>(msg.wParam);
    };
    return device.Start(image);
}

}  // namespace

TEST(Platform, CreatingAnExistingNamedMutexSucceedsAndSaysSo) {
    sim::Device device;
    RunProgram(device, [] {
        HANDLE first = CreateMutexW(nullptr, TRUE, L"VeskTestMutex");
        EXPECT_NE(first, nullptr);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
        HANDLE second = CreateMutexW(nullptr, TRUE, L"VeskTestMutex");
        EXPECT_NE(second, nullptr);
        EXPECT_NE(second, first);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
        CloseHandle(second);
        CloseHandle(first);
        // Once every handle is closed the name is free again.
        HANDLE third = CreateMutexW(nullptr, TRUE, L"VeskTestMutex");
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
        CloseHandle(third);
        return 0;
    });
    // Another process sees the same name.
    RunProgram(device, [] {
        HANDLE mine = CreateMutexW(nullptr, TRUE, L"Shared");
        (void)mine;  // left open: ends with the process
        return 0;
    });
    RunProgram(device, [] {
        CreateMutexW(nullptr, TRUE, L"Shared");
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));  // the first holder has ended
        return 0;
    });
}

TEST(Platform, AReplacedWindowProcedureKeepsWorkingThroughCallWindowProc) {
    sim::Device device;
    static WNDPROC saved;
    static std::vector<UINT> hooked;
    hooked.clear();
    RunProgram(device, [&] {
        Recorder rec;
        g_recorder = &rec;
        HWND w = MakeWindow(L"Hooked", L"Hooked", WS_VISIBLE, RECT{0, 30, 100, 100});
        saved = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC));
        EXPECT_EQ(saved, &RecordingProc);
        WNDPROC hook = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            hooked.push_back(m);
            return CallWindowProcW(saved, h, m, wp, lp);
        };
        EXPECT_EQ(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(hook)),
                  reinterpret_cast<LONG_PTR>(&RecordingProc));
        EXPECT_EQ(SendMessageW(w, WM_USER + 1, 0, 0), 0x55);  // the result comes back unchanged
        EXPECT_EQ(hooked.back(), UINT(WM_USER + 1));
        EXPECT_EQ(rec.messages.back(), UINT(WM_USER + 1));
        SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
        hooked.clear();
        SendMessageW(w, WM_USER + 1, 0, 0);
        EXPECT_TRUE(hooked.empty());
        DestroyWindow(w);
        g_recorder = nullptr;
        return 0;
    });
}

TEST(Platform, WindowCallsOnADestroyedWindowFail) {
    sim::Device device;
    RunProgram(device, [] {
        HWND w = MakeWindow(L"Gone", L"Gone", WS_VISIBLE, RECT{0, 30, 100, 100});
        DestroyWindow(w);
        RECT rc;
        EXPECT_FALSE(IsWindow(w));
        EXPECT_FALSE(GetWindowRect(w, &rc));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        EXPECT_EQ(GetWindowTextLengthW(w), 0);
        EXPECT_EQ(SendMessageW(w, WM_USER + 1, 0, 0), 0);
        EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
        // Handles are never reused within a run.
        HWND again = MakeWindow(L"Gone2", L"Gone", WS_VISIBLE, RECT{0, 30, 100, 100});
        EXPECT_NE(again, w);
        return 0;
    });
}

TEST(Platform, EnumWindowsCallsOncePerTopLevelWindowFrontToBackWhileTrue) {
    sim::Device device;
    HWND a = device.Launch({.name = "alpha"});
    HWND b = device.Launch({.name = "bravo"});
    std::vector<HWND> seen;
    RunProgram(device, [&] {
        HWND child = MakeWindow(L"Child", L"Child", WS_CHILD | WS_VISIBLE, RECT{0, 0, 10, 10}, a);
        EnumWindows([](HWND h, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
            return TRUE;
        }, reinterpret_cast<LPARAM>(&seen));
        for (HWND h : seen) EXPECT_NE(h, child);  // children are not top-level windows
        size_t calls = 0;
        BOOL finished = EnumWindows([](HWND, LPARAM lp) -> BOOL { return ++*reinterpret_cast<size_t*>(lp) < 2; },
                                    reinterpret_cast<LPARAM>(&calls));
        EXPECT_EQ(calls, 2u);
        EXPECT_FALSE(finished);  // the callback's refusal is the answer
        return 0;
    });
    // The taskbar is topmost; then the applications, front first; the desktop last.
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], device.taskbar());
    EXPECT_EQ(seen[1], b);
    EXPECT_EQ(seen[2], a);
    EXPECT_EQ(seen.back(), device.desktop());
}

TEST(Platform, GetParentGivesTheOwnerOfAnOwnedTopLevelWindow) {
    sim::Device device;
    HWND owner = device.Launch({.name = "owner"});
    HWND owned = device.Launch({.name = "dialog", .class_name = L"Dialog", .owner = "owner"});
    HWND free = device.Launch({.name = "free"});
    EXPECT_EQ(GetParent(owned), owner);
    EXPECT_EQ(GetParent(free), nullptr);
    EXPECT_EQ(GetParent(device.taskbar()), nullptr);
}

TEST(Platform, GetClassNameCutsTheNameToTheBuffer) {
    sim::Device device;
    HWND app = device.Launch({.name = "app", .class_name = L"Tasks Application"});
    wchar_t buf[8];
    EXPECT_EQ(GetClassNameW(app, buf, 8), 7);
    EXPECT_STREQ(buf, L"Tasks A");
    wchar_t big[32];
    EXPECT_EQ(GetClassNameW(app, big, 32), 17);
    EXPECT_STREQ(big, L"Tasks Application");
    EXPECT_EQ(GetClassNameW(app, big, 0), 0);
    wchar_t title[4];
    HWND titled = device.Launch({.name = "titled", .title = L"Pocket Word"});
    EXPECT_EQ(GetWindowTextW(titled, title, 4), 3);
    EXPECT_STREQ(title, L"Poc");
    EXPECT_EQ(GetWindowTextLengthW(titled), 11);
}

TEST(Platform, SnapshotsListProcessesByExecutableNameAndFailWithMinusOne) {
    sim::Device device;
    HWND app = device.Launch({.name = "word", .exe = L"pword.exe"});
    DWORD pid = 0;
    GetWindowThreadProcessId(app, &pid);
    std::wstring path;
    RunProgram(device, [&] {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        EXPECT_NE(snap, INVALID_HANDLE_VALUE);
        PROCESSENTRY32 pe{};
        pe.dwSize = sizeof pe;
        bool found = false, shell = false;
        for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe)) {
            if (pe.th32ProcessID == pid) {
                found = true;
                EXPECT_STREQ(pe.szExeFile, L"pword.exe");  // the file name without its folder
            }
            shell |= wcscmp(pe.szExeFile, L"shell32.exe") == 0;
        }
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
        EXPECT_TRUE(found);
        EXPECT_TRUE(shell);
        EXPECT_TRUE(CloseToolhelp32Snapshot(snap));
        EXPECT_FALSE(CloseToolhelp32Snapshot(snap));
        // A record too small is refused.
        snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        pe.dwSize = sizeof pe - 8;
        EXPECT_FALSE(Process32First(snap, &pe));
        CloseToolhelp32Snapshot(snap);
        // The full path of a process's executable, from a handle on it.
        HANDLE process = OpenProcess(0, FALSE, pid);
        EXPECT_NE(process, nullptr);
        wchar_t buf[MAX_PATH];
        EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(process), buf, MAX_PATH), 18u);
        path = buf;
        EXPECT_TRUE(CloseHandle(process));
        EXPECT_EQ(OpenProcess(0, FALSE, 0x7FFFFFF0), nullptr);
        return 0;
    });
    EXPECT_EQ(path, L"\\Windows\\pword.exe");
    device.FailCall("CreateToolhelp32Snapshot");
    RunProgram(device, [] {
        EXPECT_EQ(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), INVALID_HANDLE_VALUE);
        return 0;
    });
}

TEST(Platform, SendReturnsAfterHandlingAndPostOnlyQueues) {
    sim::Device device;
    static std::vector<std::string> order;
    order.clear();
    DWORD pid = StartLooping(device, [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_USER + 10) order.push_back("posted");
            if (m == WM_USER + 11) order.push_back("sent");
            return DefWindowProcW(h, m, w, l);
        };
        wc.lpszClassName = L"Order";
        RegisterClassW(&wc);
        HWND w = CreateWindowExW(0, L"Order", L"Order", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        EXPECT_TRUE(PostMessageW(w, WM_USER + 10, 0, 0));
        order.push_back("after post");
        SendMessageW(w, WM_USER + 11, 0, 0);
        order.push_back("after send");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"after post", "sent", "after send", "posted"}));
    EXPECT_TRUE(device.Running(pid));
}

TEST(Platform, CapturedPenMessagesArriveInClientCoordinatesPackedInSixteenBits) {
    sim::Device device;
    static std::vector<std::pair<WORD, WORD>> points;
    static std::vector<DWORD> positions;
    points.clear();
    positions.clear();
    StartLooping(device, [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_LBUTTONDOWN) SetCapture(h);
            if (m == WM_LBUTTONDOWN || m == WM_MOUSEMOVE || m == WM_LBUTTONUP) {
                points.emplace_back(LOWORD(l), HIWORD(l));
                positions.push_back(GetMessagePos());
            }
            if (m == WM_LBUTTONUP) ReleaseCapture();
            return DefWindowProcW(h, m, w, l);
        };
        wc.lpszClassName = L"Pen";
        RegisterClassW(&wc);
        CreateWindowExW(0, L"Pen", L"Pen", WS_VISIBLE, 100, 100, 50, 50, nullptr, nullptr, nullptr, nullptr);
    });
    device.PenDown(110, 120);
    device.PenMove(90, 170);  // left of the window and below it
    device.PenUp(99, 99);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0], (std::pair<WORD, WORD>{10, 20}));
    EXPECT_EQ(points[1], (std::pair<WORD, WORD>{65526, 70}));  // -10 packed as an unsigned 16-bit value
    EXPECT_EQ(points[2], (std::pair<WORD, WORD>{65535, 65535}));
    // The message position is the pen's position on the screen when the message was made.
    EXPECT_EQ(positions[1], DWORD(MAKELONG(90, 170)));
    EXPECT_EQ(positions[2], DWORD(MAKELONG(99, 99)));
    EXPECT_EQ(device.Capture(), nullptr);
}

TEST(Platform, TimersFireEveryPeriodAndRestartWhenSetAgain) {
    sim::Device device;
    static std::vector<uint64_t> ticks;
    static HWND window;
    ticks.clear();
    StartLooping(device, [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_TIMER && w == 1) ticks.push_back(GetTickCount());
            if (m == WM_USER) SetTimer(h, 1, 200, nullptr);  // set again: restarts
            if (m == WM_USER + 1) KillTimer(h, 1);
            return DefWindowProcW(h, m, w, l);
        };
        wc.lpszClassName = L"Timer";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, L"Timer", L"Timer", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        SetTimer(window, 1, 200, nullptr);
    });
    device.Wait(199);
    EXPECT_TRUE(ticks.empty());
    device.Wait(1);
    EXPECT_EQ(ticks, (std::vector<uint64_t>{200}));
    device.Wait(450);
    EXPECT_EQ(ticks, (std::vector<uint64_t>{200, 400, 600}));
    device.Wait(50);  // now 700: the last tick was at 600
    RunProgram(device, [] { return static_cast<int>(PostMessageW(window, WM_USER, 0, 0)); });
    device.Wait(199);
    EXPECT_EQ(ticks.size(), 3u);
    device.Wait(1);
    EXPECT_EQ(ticks.back(), 900u);  // 200 ms after it was set again, not 800
    RunProgram(device, [] { return static_cast<int>(PostMessageW(window, WM_USER + 1, 0, 0)); });
    device.Wait(1000);
    EXPECT_EQ(ticks.size(), 4u);
}

TEST(Platform, MinimizingSendsAWindowBehindTheOthersAndActivatesTheNext) {
    sim::Device device;
    HWND a = device.Launch({.name = "alpha"});
    HWND b = device.Launch({.name = "bravo"});
    size_t mark = device.Log().size();
    RunProgram(device, [&] { return ShowWindow(b, SW_MINIMIZE); });
    EXPECT_EQ(device.Foreground(), a);
    EXPECT_TRUE(IsWindowVisible(b));
    auto windows = device.Windows();
    EXPECT_EQ(windows.back().hwnd, b);
    // The taskbar heard of the change.
    EXPECT_FALSE(testing_support::LogLines(device, "foreground alpha", mark).empty());
    // Hiding and putting at the bottom.
    RunProgram(device, [&] { return SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_HIDEWINDOW); });
    EXPECT_FALSE(IsWindowVisible(a));
    EXPECT_EQ(device.Foreground(), device.desktop());
    // The taskbar never takes the foreground.
    RunProgram(device, [&] { return SetForegroundWindow(device.taskbar()); });
    EXPECT_EQ(device.Foreground(), device.desktop());
}

TEST(Platform, InvalidatingNoWindowInvalidatesEveryWindow) {
    sim::Device device;
    HWND a = device.Launch({.name = "alpha"});
    EXPECT_FALSE(device.Info(a)->needs_paint);
    bool app = false, taskbar = false, desktop = false;
    RunProgram(device, [&] {
        InvalidateRect(nullptr, nullptr, TRUE);
        app = device.Info(a)->needs_paint;
        taskbar = device.Info(device.taskbar())->needs_paint;
        desktop = device.Info(device.desktop())->needs_paint;
        return 0;
    });
    EXPECT_TRUE(app);
    EXPECT_TRUE(taskbar);
    EXPECT_TRUE(desktop);
    // The device went idle again: every window has been repainted.
    EXPECT_FALSE(device.Info(a)->needs_paint);
}

TEST(Platform, RegistryReadsFailRatherThanCut) {
    sim::Device device;
    device.SetBinary(HKEY_LOCAL_MACHINE, L"Software\\Test", L"Blob", std::vector<uint8_t>(10, 7));
    RunProgram(device, [] {
        HKEY key;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
        BYTE buf[16] = {};
        DWORD size = 4;
        EXPECT_EQ(RegQueryValueExW(key, L"Blob", nullptr, nullptr, buf, &size), ERROR_MORE_DATA);
        EXPECT_EQ(size, 10u);
        EXPECT_EQ(buf[0], 0);  // nothing copied
        size = sizeof buf;
        DWORD type = 0;
        EXPECT_EQ(RegQueryValueExW(key, L"blob", nullptr, &type, buf, &size), ERROR_SUCCESS);  // names ignore case
        EXPECT_EQ(size, 10u);
        EXPECT_EQ(type, DWORD(REG_BINARY));
        EXPECT_EQ(buf[9], 7);
        EXPECT_EQ(RegQueryValueExW(key, L"Missing", nullptr, nullptr, buf, &size), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
        EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
        // A missing key is created.
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\New\\Deeper", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
        RegCloseKey(key);
        return 0;
    });
    EXPECT_TRUE(device.KeyExists(HKEY_LOCAL_MACHINE, L"software\\new\\deeper"));
}

TEST(Platform, ShellFileInfoGivesAnIconTheCallerDestroys) {
    sim::Device device;
    device.Launch({.name = "word", .exe = L"pword.exe"});
    RunProgram(device, [&] {
        DWORD me = GetCurrentProcessId();
        for (const wchar_t* file : {L"\\windows\\calendar.lnk", L"\\Windows\\TASKS.LNK", L"\\windows\\addrbook.lnk",
                                    L"\\windows\\find.lnk", L"\\Windows\\pword.exe"}) {
            SHFILEINFOW sfi{};
            EXPECT_NE(SHGetFileInfo(file, 0, &sfi, sizeof sfi, SHGFI_ICON), 0u) << sim::Narrow(file);
            EXPECT_NE(sfi.hIcon, nullptr);
            EXPECT_EQ(device.CountsOf(me).icons, 1);
            EXPECT_TRUE(DestroyIcon(sfi.hIcon));
            EXPECT_EQ(device.CountsOf(me).icons, 0);
        }
        SHFILEINFOW sfi{};
        EXPECT_EQ(SHGetFileInfo(L"\\Windows\\nothing.exe", 0, &sfi, sizeof sfi, SHGFI_ICON), 0u);
        EXPECT_EQ(SHGetFileInfo(L"", 0, &sfi, sizeof sfi, SHGFI_ICON), 0u);
        return 0;
    });
}

TEST(Platform, AProgramThatEndsGivesEverythingBackAndTheTaskbarItsProcedure) {
    sim::Device device;
    WNDPROC original = device.Info(device.taskbar())->proc;
    RunProgram(device, [&] {
        CreateMutexW(nullptr, TRUE, L"Left");
        CreateSolidBrush(RGB(1, 2, 3));
        HWND taskbar = FindWindowW(L"HHTaskBar", nullptr);
        SetWindowLongPtrW(taskbar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
        return 0;
    });
    // The platform puts the taskbar's procedure back rather than leave it
    // pointing into a program that no longer runs, and says so.
    EXPECT_EQ(device.Info(device.taskbar())->proc, original);
    EXPECT_EQ(testing_support::LogLines(device, "hook dangling HHTaskBar").size(), 1u);
}

// A program's heap is its own: what it still holds when it ends, or when the
// device is switched off under it, is counted as left behind and then taken
// back (the sanitizer build would report it as a leak otherwise).
TEST(Platform, WhatAProgramStillHoldsIsTakenBackWhenItEnds) {
    auto image_holding = [](int blocks, bool wait) {
        sim::ProgramImage image;
        image.exe_path = L"\\Windows\\holder.exe";
        image.private_heap = true;
        image.entry = [blocks, wait](HINSTANCE) {
            for (int i = 0; i < blocks; ++i) (void)new (std::nothrow) int[8];
            if (wait) {
                MSG msg;
                while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            }
            return 0;
        };
        return image;
    };
    {
        sim::Device device;
        DWORD pid = device.Start(image_holding(3, false));
        EXPECT_FALSE(device.Running(pid));
        EXPECT_EQ(device.Reclaimed(pid).heap, 3);
    }
    {
        sim::Device device;
        DWORD pid = device.Start(image_holding(2, true));
        EXPECT_TRUE(device.Running(pid));
        EXPECT_EQ(device.CountsOf(pid).heap, 2);
    }  // the device ends the program where it waits
}

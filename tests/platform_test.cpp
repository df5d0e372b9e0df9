// What the platform does where one program alone cannot see it, so the
// conformance checks (tests/wine/conformance, run on the simulator and under
// Wine) do not say it: the stand-in shell's windows, other processes and
// what ends with a process, the registry and file icons as the device has
// them, failures the driver injects.
#include <gtest/gtest.h>

#include <shellapi.h>
#include <tlhelp32.h>

#include <new>
#include <string>
#include <vector>

#include "program.h"

using testing_support::RunProgram;

namespace {

LRESULT CALLBACK AnsweringProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_USER + 1) return 0x55;
    return DefWindowProcW(h, m, w, l);
}

HWND MakeWindow(const WCHAR* cls, const WCHAR* title, DWORD style, RECT rc, HWND parent = nullptr) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = AnsweringProc;
    wc.lpszClassName = cls;
    RegisterClassW(&wc);
    return CreateWindowExW(0, cls, title, style, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent,
                           nullptr, nullptr, nullptr);
}

}  // namespace

// A named mutex goes with the process that held it: the next program that
// creates one of that name makes a new one.
TEST(Platform, ANamedMutexEndsWithTheProcessThatHeldIt) {
    sim::Device device;
    RunProgram(device, [] {
        HANDLE mine = CreateMutexW(nullptr, TRUE, u"Shared");
        (void)mine;  // left open: ends with the process
        return 0;
    });
    RunProgram(device, [] {
        CreateMutexW(nullptr, TRUE, u"Shared");
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
        return 0;
    });
}

// A mutex has one owning thread at a time, as often as it took it; only the
// owner gives it back, and one whose owner ended without doing so is taken
// as abandoned. (The driver's handle keeps it alive between the programs.)
TEST(Platform, AMutexHasOneOwnerWhichAloneReleasesIt) {
    sim::Device device;
    HANDLE keep = CreateMutexW(nullptr, TRUE, u"Owned");  // the driver is no thread: nobody owns it
    ASSERT_NE(keep, nullptr);
    RunProgram(device, [] {
        HANDLE h = CreateMutexW(nullptr, TRUE, u"Owned");
        EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));  // not made, so not owned
        EXPECT_FALSE(ReleaseMutex(h));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_OWNER));
        EXPECT_EQ(WaitForSingleObject(h, 0), DWORD(WAIT_OBJECT_0));
        EXPECT_EQ(WaitForSingleObject(h, 0), DWORD(WAIT_OBJECT_0));
        EXPECT_TRUE(ReleaseMutex(h));
        return 0;  // ends holding it once
    });
    RunProgram(device, [] {
        HANDLE h = CreateMutexW(nullptr, FALSE, u"Owned");
        EXPECT_EQ(WaitForSingleObject(h, 0), DWORD(WAIT_ABANDONED));
        EXPECT_TRUE(ReleaseMutex(h));
        EXPECT_FALSE(ReleaseMutex(h));
        EXPECT_EQ(WaitForSingleObject(h, 0), DWORD(WAIT_OBJECT_0));
        EXPECT_EQ(WaitForSingleObject(h, 1), DWORD(WAIT_OBJECT_0));  // its own: no wait
        CloseHandle(h);
        return 0;
    });
    CloseHandle(keep);
}

TEST(Platform, AWindowTimerNeedsANonzeroIdentifier) {
    sim::Device device;
    RunProgram(device, [] {
        HWND w = MakeWindow(u"Timed", u"Timed", WS_VISIBLE, RECT{0, 30, 100, 100});
        EXPECT_EQ(SetTimer(w, 0, 10, nullptr), 0u);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
        EXPECT_NE(SetTimer(w, 5, 10, nullptr), 0u);
        EXPECT_TRUE(KillTimer(w, 5));
        DestroyWindow(w);
        return 0;
    });
}

TEST(Platform, WindowCallsOnADestroyedWindowFail) {
    sim::Device device;
    RunProgram(device, [] {
        HWND w = MakeWindow(u"Gone", u"Gone", WS_VISIBLE, RECT{0, 30, 100, 100});
        DestroyWindow(w);
        RECT rc;
        EXPECT_FALSE(IsWindow(w));
        EXPECT_FALSE(GetWindowRect(w, &rc));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
        EXPECT_EQ(GetWindowTextLengthW(w), 0);
        EXPECT_EQ(SendMessageW(w, WM_USER + 1, 0, 0), 0);
        EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
        // Handles are never reused within a run.
        HWND again = MakeWindow(u"Gone2", u"Gone", WS_VISIBLE, RECT{0, 30, 100, 100});
        EXPECT_NE(again, w);
        return 0;
    });
}

TEST(Platform, EnumWindowsGivesTheTopmostTaskbarFirstAndTheDesktopLast) {
    sim::Device device;
    HWND a = device.Launch({.name = "alpha"});
    HWND b = device.Launch({.name = "bravo"});
    std::vector<HWND> seen;
    RunProgram(device, [&] {
        EnumWindows([](HWND h, LPARAM lp) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
            return TRUE;
        }, reinterpret_cast<LPARAM>(&seen));
        return 0;
    });
    // The taskbar is topmost; then the applications, front first; the desktop last.
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen[0], device.taskbar());
    EXPECT_EQ(seen[1], b);
    EXPECT_EQ(seen[2], a);
    EXPECT_EQ(seen.back(), device.desktop());
}

TEST(Platform, SnapshotsNameOtherProcessesByTheirFilesAndFailWithMinusOne) {
    sim::Device device;
    HWND app = device.Launch({.name = "word", .exe = u"pword.exe"});
    DWORD pid = 0;
    GetWindowThreadProcessId(app, &pid);
    sim::WString path;
    RunProgram(device, [&] {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        EXPECT_NE(snap, INVALID_HANDLE_VALUE);
        PROCESSENTRY32 pe{};
        pe.dwSize = sizeof pe;
        bool found = false, shell = false;
        for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe)) {
            if (pe.th32ProcessID == pid) {
                found = true;
                EXPECT_EQ(sim::WString(pe.szExeFile), u"pword.exe");  // the file name without its folder
            }
            shell |= wcscmp(pe.szExeFile, u"shell32.exe") == 0;
        }
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
        EXPECT_TRUE(found);
        EXPECT_TRUE(shell);
        EXPECT_TRUE(CloseToolhelp32Snapshot(snap));
        // The full path of a process's executable, from a handle on it.
        HANDLE process = OpenProcess(0, FALSE, pid);
        EXPECT_NE(process, nullptr);
        WCHAR buf[MAX_PATH];
        EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(process), buf, MAX_PATH), 18u);
        path = buf;
        EXPECT_TRUE(CloseHandle(process));
        return 0;
    });
    EXPECT_EQ(path, u"\\Windows\\pword.exe");
    device.FailCall("CreateToolhelp32Snapshot");
    RunProgram(device, [] {
        EXPECT_EQ(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0), INVALID_HANDLE_VALUE);
        return 0;
    });
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

TEST(Platform, RegistryReadsFailWithoutCopyingAndCreateMissingKeys) {
    sim::Device device;
    device.SetBinary(HKEY_LOCAL_MACHINE, u"Software\\Test", u"Blob", std::vector<uint8_t>(10, 7));
    RunProgram(device, [] {
        HKEY key;
        DWORD disposition = 0;
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Test", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
        BYTE buf[16] = {};
        DWORD size = 4;
        EXPECT_EQ(RegQueryValueExW(key, u"Blob", nullptr, nullptr, buf, &size), ERROR_MORE_DATA);
        EXPECT_EQ(buf[0], 0);  // nothing copied
        RegCloseKey(key);
        // A missing key is created.
        EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\New\\Deeper", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
        RegCloseKey(key);
        return 0;
    });
    EXPECT_TRUE(device.KeyExists(HKEY_LOCAL_MACHINE, u"software\\new\\deeper"));
}

TEST(Platform, ShellFileInfoGivesAnIconTheCallerDestroys) {
    sim::Device device;
    device.Launch({.name = "word", .exe = u"pword.exe"});
    RunProgram(device, [&] {
        DWORD me = GetCurrentProcessId();
        for (const WCHAR* file : {u"\\windows\\calendar.lnk", u"\\Windows\\TASKS.LNK", u"\\windows\\addrbook.lnk",
                                    u"\\windows\\find.lnk", u"\\Windows\\pword.exe"}) {
            SHFILEINFOW sfi{};
            EXPECT_NE(SHGetFileInfo(file, 0, &sfi, sizeof sfi, SHGFI_ICON), 0u) << sim::Narrow(file);
            EXPECT_NE(sfi.hIcon, nullptr);
            EXPECT_EQ(device.CountsOf(me).icons, 1);
            EXPECT_TRUE(DestroyIcon(sfi.hIcon));
            EXPECT_EQ(device.CountsOf(me).icons, 0);
        }
        SHFILEINFOW sfi{};
        EXPECT_EQ(SHGetFileInfo(u"\\Windows\\nothing.exe", 0, &sfi, sizeof sfi, SHGFI_ICON), 0u);
        EXPECT_EQ(SHGetFileInfo(u"", 0, &sfi, sizeof sfi, SHGFI_ICON), 0u);
        return 0;
    });
}

TEST(Platform, AProgramThatEndsGivesEverythingBackAndTheTaskbarItsProcedure) {
    sim::Device device;
    WNDPROC original = device.Info(device.taskbar())->proc;
    RunProgram(device, [&] {
        CreateMutexW(nullptr, TRUE, u"Left");
        CreateSolidBrush(RGB(1, 2, 3));
        HWND taskbar = FindWindowW(u"HHTaskBar", nullptr);
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
        image.exe_path = u"\\Windows\\holder.exe";
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

// A program's fresh block holds no zeros it did not write; a write past its
// end damages the heap, and the program's process faults when it gives the
// block back.
TEST(Platform, AFreshBlockIsGarbageAndAWritePastItsEndFaults) {
    for (int past : {0, 1}) {
        sim::Device device;
        sim::ProgramImage image;
        image.exe_path = u"\\Windows\\overrun.exe";
        WCHAR fresh = 0;
        image.entry = [past, &fresh](HINSTANCE) {
            WCHAR* text = new (std::nothrow) WCHAR[1];
            fresh = text[0];
            static_cast<volatile WCHAR*>(text)[past] = 0;  // past the end when past is 1
            delete[] text;
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
            return 0;
        };
        DWORD pid = device.Start(image);
        EXPECT_EQ(fresh, 0xCDCD);
        EXPECT_EQ(device.Running(pid), past == 0);
        EXPECT_EQ(testing_support::LogLines(device, "fault in").size(), size_t(past)) << past;
        if (past) {
            EXPECT_EQ(device.ExitCode(pid), std::optional<int>(int(0xC0000005)));
        }
    }
}

// A window's frame is drawn around its client area, which its painting and
// the pen's positions start from; the pen on the frame sends it nothing.
TEST(Platform, AFrameIsDrawnAroundTheClientAreaAndThePenOnItSendsNothing) {
    sim::Device device;
    HWND app = device.Launch({.name = "framed", .exstyle = WS_EX_DLGMODALFRAME, .rect = RECT{20, 100, 120, 200}});
    const sim::Surface& screen = device.Screen();
    EXPECT_EQ(screen.At(20, 100), RGB(0, 0, 0));  // the window-frame colour
    EXPECT_EQ(screen.At(119, 199), RGB(0, 0, 0));
    EXPECT_EQ(screen.At(22, 102), RGB(192, 192, 192));  // the face colour
    EXPECT_EQ(screen.At(23, 103), screen.At(110, 103));  // the client area, as the application painted it
    EXPECT_NE(screen.At(22, 102), screen.At(110, 103));
    auto downs = [&] {
        std::vector<LPARAM> out;
        for (const sim::ReceivedMessage& m : device.Received(app))
            if (m.message == WM_LBUTTONDOWN) out.push_back(m.lparam);
        return out;
    };
    device.Tap(22, 150);
    device.Tap(70, 197);
    EXPECT_TRUE(downs().empty());
    device.Tap(23, 103);
    device.Tap(116, 196);
    EXPECT_EQ(downs(), (std::vector<LPARAM>{MAKELPARAM(0, 0), MAKELPARAM(93, 93)}));
}

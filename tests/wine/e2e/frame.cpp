// vesk in the stand-in shell: the hook on the taskbar, the button's place,
// a second instance, and the end.
#include "e2e.h"

namespace {

RECT WindowRect(HWND hwnd) {
    RECT rc{0, 0, 0, 0};
    GetWindowRect(hwnd, &rc);
    return rc;
}

}  // namespace

CHECK(E2e, ButtonOnTheHookedTaskbarUntilClosed) {
    REQUIRE(host::StartShell());
    CHECK_FALSE(host::TaskBarHooked());
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);

    CHECK_TRUE(host::TaskBarHooked());
    CHECK_EQ(GetParent(button), host::TaskBar());
    RECT bar = WindowRect(host::TaskBar());
    CHECK_EQ(bar.bottom - bar.top, host::kTaskBarHeight);
    // At 96 dpi: 28 pixels wide, flush with the taskbar's right edge, as tall as it.
    CHECK_EQ(WindowRect(button), (RECT{bar.right - 28, bar.top, bar.right, bar.bottom}));
    LONG style = GetWindowLongW(button, GWL_STYLE);
    CHECK_EQ(style & (WS_CHILD | WS_VISIBLE | WS_POPUP), static_cast<LONG>(WS_CHILD | WS_VISIBLE));
    CHECK_TRUE(IsWindowVisible(button));

    // Every taskbar message reaches the taskbar's own procedure, and its
    // answer comes back through the hook unchanged; 1024 as well.
    long before = host::TaskBarReceived(WM_USER);
    CHECK_EQ(SendMessageW(host::TaskBar(), WM_USER, 5, 6), host::kTaskBarAnswer);
    CHECK_EQ(host::TaskBarReceived(WM_USER), before + 1);
    CHECK_EQ(SendMessageW(host::TaskBar(), WM_USER + 7, 0, 0), host::kTaskBarAnswer);
    CHECK_EQ(host::TaskBarReceived(WM_USER + 7), 1);

    // WM_CLOSE to the button ends vesk with 0, its hook taken off first.
    PostMessageW(button, WM_CLOSE, 0, 0);
    int code = -1;
    REQUIRE(host::WaitVeskExit(5000, &code));
    CHECK_EQ(code, 0);
    CHECK_FALSE(host::TaskBarHooked());
    CHECK_FALSE(IsWindow(button));
    CHECK_EQ(SendMessageW(host::TaskBar(), WM_USER, 0, 0), host::kTaskBarAnswer);
}

CHECK(E2e, SecondInstanceEndsAtOnceAndLeavesTheFirstAlone) {
    HWND button = e2e::StartVeskInShell();
    REQUIRE(button != nullptr);

    std::wstring exe = host::ProgramFolder() + L"\\vesk.exe";
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    REQUIRE(CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    DWORD wait = WaitForSingleObject(pi.hProcess, 10000);
    CHECK_EQ(wait, static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CHECK_EQ(code, 0u);
    if (wait != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    CHECK_TRUE(IsWindow(button));
    CHECK_TRUE(host::TaskBarHooked());
    CHECK_EQ(FindWindowExW(host::TaskBar(), button, L"VeskClass", nullptr), static_cast<HWND>(nullptr));
    PostMessageW(button, WM_CLOSE, 0, 0);
    int exit_code = -1;
    CHECK_TRUE(host::WaitVeskExit(5000, &exit_code));
}

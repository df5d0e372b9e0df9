// The Wine test host: the stand-in shell's thread, vesk's thread, and the
// test applications.
#include "host.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cwchar>

// vesk's entry, renamed by ce_on_desktop.h.
int WINAPI VeskWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd);

namespace host {

namespace {

// ---------------------------------------------------------------------------
// The stand-in shell

constexpr UINT_PTR kForegroundTimer = 1;
constexpr UINT kActivate = WM_APP + 1;
constexpr UINT kResizeTaskBar = WM_APP + 2;
constexpr UINT kNotify = WM_APP + 3;
constexpr UINT kShellNotify = WM_USER;  // the shell's message 1024

HANDLE g_vesk_thread = nullptr;
DWORD g_vesk_thread_id = 0;
HWND g_taskbar = nullptr;
int g_taskbar_height = kTaskBarHeight;
HWND g_desktop = nullptr;
DWORD g_shell_thread = 0;
// The front window the shell's loop has last joined vesk's input to and told
// the taskbar of: pen input waits for it to be the front window.
std::atomic<HWND> g_shell_front{nullptr};
HANDLE g_shell_ready = nullptr;
volatile LONG g_received[16];  // messages WM_USER to WM_USER + 15 that reached the taskbar's own procedure

LRESULT CALLBACK TaskBarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_USER && message < WM_USER + 16) {
        InterlockedIncrement(&g_received[message - WM_USER]);
        return kTaskBarAnswer;
    }
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x20, 0x30));
        FillRect(dc, &rc, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        // The device's taskbar never takes the foreground.
        return MA_NOACTIVATE;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK DesktopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// The desktop of the thread that starts the shell and vesk: Wine puts a new
// thread on the default desktop, whichever desktop the process was started on.
HDESK g_desk = nullptr;

// The first shown, enabled top-level window from the front that can take
// the foreground: never the taskbar.
HWND NextToActivate() {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == g_taskbar || !IsWindowVisible(w) || IsIconic(w) || !IsWindowEnabled(w)) continue;
        if (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) continue;
        if (GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_NOACTIVATE) continue;
        wchar_t name[16] = L"";
        GetClassNameW(w, name, 16);
        if (lstrcmpW(name, L"#32768") == 0) continue;  // a popup menu
        return w;
    }
    return nullptr;
}

DWORD WINAPI ShellThread(LPVOID) {
    if (g_desk) SetThreadDesktop(g_desk);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpfnWndProc = TaskBarProc;
    wc.lpszClassName = L"HHTaskBar";
    RegisterClassW(&wc);
    wc.lpfnWndProc = DesktopProc;
    wc.lpszClassName = L"DesktopExplorerWindow";
    RegisterClassW(&wc);

    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    g_desktop = CreateWindowExW(0, L"DesktopExplorerWindow", L"Desktop", WS_POPUP | WS_VISIBLE, 0, g_taskbar_height,
                                cx, cy - g_taskbar_height, nullptr, nullptr, instance, nullptr);
    g_taskbar = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, L"HHTaskBar", nullptr, WS_POPUP | WS_VISIBLE, 0, 0,
                                cx, g_taskbar_height, nullptr, nullptr, instance, nullptr);
    // As on the device, the desktop is in front until an application comes.
    SetForegroundWindow(g_desktop);
    SetTimer(nullptr, kForegroundTimer, 25, nullptr);
    SetEvent(g_shell_ready);

    HWND foreground = GetForegroundWindow();
    DWORD attached = 0;  // the thread whose input vesk's thread shares
    DWORD astray_since = 0;  // since when no shown window has been in front
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == kActivate) {
            HWND target = reinterpret_cast<HWND>(msg.lParam);
            if (IsIconic(target)) ShowWindow(target, SW_RESTORE);
            SetForegroundWindow(target);
            continue;
        }
        if (msg.message == kNotify) {
            SendMessageW(g_taskbar, kShellNotify, 0, 0);
            continue;
        }
        if (msg.message == kResizeTaskBar) {
            // As the device's shell does when the screen turns.
            SetWindowPos(g_taskbar, nullptr, 0, 0, static_cast<int>(msg.wParam), g_taskbar_height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            continue;
        }
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            // As the device's shell does: message 1024 to the taskbar at
            // every change of the foreground window.
            HWND now = GetForegroundWindow();
            // When the window in front is hidden or minimized by another
            // program, the stand-in shell brings the next one to the front, as
            // the device's window manager does and desktop Windows does not
            // (the conformance check Window.TheFrontWindowOfAnotherProgramGoesAway).
            // (The state is given a moment to pass: the platform itself may be
            // switching windows, and a hidden window may be on its way to
            // destruction, which comes first on the device.)
            bool astray = !now || !IsWindowVisible(now) || IsIconic(now);
            if (!astray) astray_since = 0;
            else if (!astray_since) astray_since = GetTickCount();
            if (astray && GetTickCount() - astray_since >= 100) {
                if (HWND next = NextToActivate()) {
                    SetForegroundWindow(next);
                    now = GetForegroundWindow();
                }
            }
            // vesk's thread shares the input of the application in front, so
            // that the button's capture holds wherever the pen goes, as on the
            // device (the conformance check Input.CaptureOfAWindowBehindAnotherProgram).
            DWORD vesk = g_vesk_thread_id;
            DWORD front = now ? GetWindowThreadProcessId(now, nullptr) : 0;
            if (vesk && front != attached && WaitForSingleObject(g_vesk_thread, 0) == WAIT_TIMEOUT) {
                if (attached) AttachThreadInput(vesk, attached, FALSE);
                attached = front && front != vesk && AttachThreadInput(vesk, front, TRUE) ? front : 0;
            }
            if (now != foreground) {
                foreground = now;
                SendMessageW(g_taskbar, kShellNotify, 0, 0);
            }
            g_shell_front.store(now);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// ---------------------------------------------------------------------------
// vesk


volatile LONG g_vesk_exit = 0;

DWORD WINAPI VeskThread(LPVOID) {
    if (g_desk) SetThreadDesktop(g_desk);
    static wchar_t command_line[] = L"";
    int code = VeskWinMain(GetModuleHandleW(nullptr), nullptr, command_line, SW_SHOW);
    InterlockedExchange(&g_vesk_exit, code);
    return 0;
}

std::wstring TempFile(const wchar_t* prefix) {
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, prefix, 0, path);
    return path;
}

}  // namespace

int ScreenDpi() {
    HDC dc = GetDC(nullptr);
    int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return dpi;
}

bool StartShell(int taskbar_height) {
    if (g_taskbar) return true;
    g_taskbar_height = taskbar_height >= 0 ? taskbar_height : MulDiv(kTaskBarHeight, ScreenDpi(), 96);
    g_desk = GetThreadDesktop(GetCurrentThreadId());
    g_shell_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, ShellThread, nullptr, 0, &g_shell_thread);
    if (!thread) return false;
    CloseHandle(thread);
    return WaitForSingleObject(g_shell_ready, 10000) == WAIT_OBJECT_0 && g_taskbar && g_desktop;
}

HWND TaskBar() { return g_taskbar; }
HWND Desktop() { return g_desktop; }
WNDPROC TaskBarClassProc() { return TaskBarProc; }

long TaskBarReceived(UINT message) {
    if (message < WM_USER || message >= WM_USER + 16) return 0;
    return InterlockedCompareExchange(&g_received[message - WM_USER], 0, 0);
}

void ShellActivate(HWND hwnd) { PostThreadMessageW(g_shell_thread, kActivate, 0, reinterpret_cast<LPARAM>(hwnd)); }
bool BringToFront(HWND hwnd, DWORD ms) {
    DWORD asked = 0;
    bool first = true;
    return WaitUntil(ms, [&] {
        if (GetForegroundWindow() == hwnd) return true;
        if (first || GetTickCount() - asked >= 500) {
            ShellActivate(hwnd);
            asked = GetTickCount();
            first = false;
        }
        return false;
    });
}

void ShellNotify() { PostThreadMessageW(g_shell_thread, kNotify, 0, 0); }

bool ResizeTaskBar(int cx, DWORD ms) {
    if (!PostThreadMessageW(g_shell_thread, kResizeTaskBar, static_cast<WPARAM>(cx), 0)) return false;
    return WaitUntil(ms, [cx] {
        RECT rc;
        return GetWindowRect(g_taskbar, &rc) && rc.right - rc.left == cx;
    });
}

bool StartVesk() {
    g_vesk_thread = CreateThread(nullptr, 0, VeskThread, nullptr, 0, &g_vesk_thread_id);
    return g_vesk_thread != nullptr;
}

DWORD VeskThreadId() { return g_vesk_thread_id; }

bool VeskEnded(int* exit_code) {
    if (!g_vesk_thread || WaitForSingleObject(g_vesk_thread, 0) != WAIT_OBJECT_0) return false;
    if (exit_code) *exit_code = static_cast<int>(InterlockedCompareExchange(&g_vesk_exit, 0, 0));
    return true;
}

bool WaitVeskExit(DWORD ms, int* exit_code) {
    if (!g_vesk_thread) return false;
    bool ended = false;
    WaitUntil(ms, [&] { return ended = WaitForSingleObject(g_vesk_thread, 0) == WAIT_OBJECT_0; });
    if (ended && exit_code) *exit_code = static_cast<int>(InterlockedCompareExchange(&g_vesk_exit, 0, 0));
    return ended;
}

HWND WaitForButton(DWORD ms) {
    // The window exists from the start of its creation; it is shown at the end.
    HWND button = nullptr;
    WaitUntil(ms, [&] {
        button = FindWindowExW(g_taskbar, nullptr, L"VeskClass", L"VeskWindow");
        return button != nullptr && IsWindowVisible(button);
    });
    return button && IsWindowVisible(button) ? button : nullptr;
}

bool TaskBarHooked() {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(g_taskbar, GWLP_WNDPROC)) != TaskBarClassProc();
}

void DispatchPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WaitUntil(DWORD ms, const std::function<bool()>& done) {
    DWORD start = GetTickCount();
    for (;;) {
        DispatchPending();
        if (done()) return true;
        if (GetTickCount() - start >= ms) return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PostTap(HWND hwnd, int x, int y) {
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

// On the device the shell has told vesk of a new front window before the pen
// can come down; here its loop does so on its next tick, and joining vesk's
// input to the front window's thread in the middle of a stroke would take the
// button's capture. A stroke begins once the shell has caught up with the
// front window (or after a second, whatever it is then).
static void WaitForShell() {
    WaitUntil(1000, [] { return g_shell_front.load() == GetForegroundWindow(); });
}

void Click(int x, int y) {
    WaitForShell();
    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3];
    memset(input, 0, sizeof(input));
    for (INPUT& in : input) {
        in.type = INPUT_MOUSE;
        in.mi.dx = (x * 65536 + cx - 1) / cx;  // taken back to pixels by truncation
        in.mi.dy = (y * 65536 + cy - 1) / cy;
    }
    input[0].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    input[1].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    SendInput(1, &input[0], sizeof(INPUT));
    WaitUntil(50, [] { return false; });
    SendInput(2, &input[1], sizeof(INPUT));
}

void SendPen(Pen what, int x, int y) {
    int cx = GetSystemMetrics(SM_CXSCREEN);
    int cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT input;
    memset(&input, 0, sizeof(input));
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65536 + cx - 1) / cx;
    input.mi.dy = (y * 65536 + cy - 1) / cy;
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    if (what == Pen::Down) WaitForShell();
    if (what == Pen::Down) input.mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    if (what == Pen::Up) input.mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    SendInput(1, &input, sizeof(INPUT));
}

std::vector<COLORREF> Capture(HWND hwnd, int cx, int cy) {
    std::vector<COLORREF> pixels;
    HDC dc = GetDC(hwnd);
    if (!dc) return pixels;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = cx;
    bi.bmiHeader.biHeight = -cy;  // top row first
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(dc);
    if (bitmap && memory) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, cx, cy, dc, 0, 0, SRCCOPY);
        GdiFlush();
        const DWORD* p = static_cast<const DWORD*>(bits);
        for (int i = 0; i < cx * cy; ++i) {
            DWORD bgra = p[i];
            pixels.push_back(RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF));
        }
        SelectObject(memory, old);
    }
    if (memory) DeleteDC(memory);
    if (bitmap) DeleteObject(bitmap);
    ReleaseDC(hwnd, dc);
    return pixels;
}

bool WritePpm(const std::wstring& path, const std::vector<COLORREF>& pixels, int cx, int cy) {
    if (pixels.size() != static_cast<size_t>(cx) * cy) return false;
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", cx, cy);
    for (COLORREF c : pixels) {
        unsigned char rgb[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
        std::fwrite(rgb, 1, 3, f);
    }
    return std::fclose(f) == 0;
}

bool SetTheme(DWORD back, DWORD fore) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Color", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExW(key, L"8", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&back), 4) == ERROR_SUCCESS &&
              RegSetValueExW(key, L"9", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&fore), 4) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

// ---------------------------------------------------------------------------
// Test applications

App::~App() {
    if (release_) {
        SetEvent(release_);
        CloseHandle(release_);
    }
    if (pi_.hProcess) {
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
    if (!log_.empty()) DeleteFileW(log_.c_str());
}

bool App::Launch(const AppSpec& request) {
    log_ = TempFile(L"app");
    wchar_t numbers[128];
    std::swprintf(numbers, 128, L" --style 0x%lx --exstyle 0x%lx --rect %ld,%ld,%ld,%ld", request.style, request.exstyle,
                  request.rect.left, request.rect.top, request.rect.right - request.rect.left, request.rect.bottom - request.rect.top);
    std::wstring exe = ProgramFolder() + L"\\testapp.exe";
    if (!request.exe.empty()) {
        // Another executable's name: a copy of testapp.exe under that name.
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        std::wstring apps = std::wstring(folder) + L"vesk-apps";
        CreateDirectoryW(apps.c_str(), nullptr);
        std::wstring copy = apps + L"\\" + request.exe;
        // A copy that is running already cannot be replaced: it is the same
        // program, so later applications of that name start from it.
        if (!CopyFileW(exe.c_str(), copy.c_str(), FALSE) && GetFileAttributesW(copy.c_str()) == INVALID_FILE_ATTRIBUTES)
            return false;
        exe = copy;
    }
    wchar_t release[64];
    std::swprintf(release, 64, L"VeskRelease%lu_%p", GetCurrentProcessId(), static_cast<void*>(this));
    release_ = CreateEventW(nullptr, TRUE, FALSE, release);
    wchar_t owner[40];
    std::swprintf(owner, 40, L" --owner %llu", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(request.owner)));
    std::wstring command = L"\"" + exe + L"\" --log \"" + log_ + L"\" --class \"" + request.class_name +
                           L"\" --title \"" + request.title + L"\"" + numbers + owner + L" --on-close " +
                           request.on_close + L" --on-ok " + request.on_ok + L" --release " + release;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
        return false;
    WaitForInputIdle(pi_.hProcess, 5000);
    WaitUntil(5000, [&] {
        // The application's own window: another process may use the same names.
        for (HWND w = FindWindowW(request.class_name.c_str(), nullptr); w;
             w = FindWindowExW(nullptr, w, request.class_name.c_str(), nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == pi_.dwProcessId) hwnd_ = w;
        }
        return hwnd_ != nullptr;
    });
    if (!hwnd_) return false;
    if (!(request.style & WS_VISIBLE)) return true;
    return BringToFront(hwnd_, 5000);
}

void App::Release() {
    if (release_) SetEvent(release_);
}

std::vector<AppMessage> App::Messages() const {
    std::vector<AppMessage> out;
    FILE* f = _wfopen(log_.c_str(), L"r");
    if (!f) return out;
    char line[160];
    while (std::fgets(line, sizeof(line), f)) {
        AppMessage m;
        char how[16] = {0};
        if (std::sscanf(line, "%u %llu %lld %15s", &m.message, &m.wParam, &m.lParam, how) == 4) {
            m.sent = std::string(how) == "sent";
            out.push_back(m);
        }
    }
    std::fclose(f);
    return out;
}

bool App::WaitExit(DWORD ms, DWORD* exit_code) {
    if (!pi_.hProcess) return false;
    bool ended = false;
    WaitUntil(ms, [&] { return ended = WaitForSingleObject(pi_.hProcess, 0) == WAIT_OBJECT_0; });
    if (ended && exit_code) GetExitCodeProcess(pi_.hProcess, exit_code);
    return ended;
}

}  // namespace host

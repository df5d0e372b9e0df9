// The Windows CE calls of ce_on_desktop.h, over desktop Windows. The mapping
// header is read for its declarations; below it, the names are the desktop's.
#include <windows.h>
#include <tlhelp32.h>

#include <ce_on_desktop.h>

#undef WinMain
#undef CloseToolhelp32Snapshot
#undef OpenProcess
#undef GetModuleFileNameW
#undef GetSysColor
#undef GetSysColorBrush
#undef GetStockObject
#undef GetWindowLongW

namespace {

constexpr int kSysColorIndexFlag = 0x40000000;

int PlainIndex(int nIndex) { return nIndex & ~kSysColorIndexFlag; }

// The device's stock system font, made once for the process and never deleted,
// as a stock object is never deleted.
HFONT DeviceSystemFont() {
    static HFONT font = [] {
        HDC screen = GetDC(nullptr);
        int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        if (dpi <= 0) dpi = 96;

        LOGFONTW lf{};
        lf.lfHeight = -((12 * dpi + 48) / 96);
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = ANSI_CHARSET;
        lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
        lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        lf.lfQuality = DEFAULT_QUALITY;
        lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
        lstrcpynW(lf.lfFaceName, L"Tahoma", LF_FACESIZE);
        return CreateFontIndirectW(&lf);
    }();
    return font;
}

}  // namespace

#undef ShowWindow
namespace {

// The next window the device would bring to the front once hwnd has gone
// from it: the first shown, enabled window of the z-order that takes the
// foreground.
HWND NextInFront(HWND hwnd) {
    for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w == hwnd || !IsWindowVisible(w) || IsIconic(w) || !IsWindowEnabled(w)) continue;
        LONG exstyle = GetWindowLongW(w, GWL_EXSTYLE);
        if (exstyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW)) continue;
        wchar_t name[16] = L"";
        GetClassNameW(w, name, 16);
        if (lstrcmpW(name, L"#32768") == 0) continue;  // a popup menu
        return w;
    }
    return nullptr;
}

// Messages sent to this thread are answered while it waits, as they are
// while it waits in a call of the platform.
void WaitAnswering(DWORD ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_SENDMESSAGE);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

BOOL WINAPI VeskShowWindow(HWND hWnd, int nCmdShow) {
    bool in_front = nCmdShow == SW_MINIMIZE && GetForegroundWindow() == hWnd;
    BOOL was_visible = ShowWindow(hWnd, nCmdShow);
    if (!in_front) return was_visible;
    SetWindowPos(hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    HWND next = NextInFront(hWnd);
    if (!next) return was_visible;
    // The switch is over when the next window is in front: the desktop may
    // already be making it, the window's own thread takes the foreground
    // whenever it runs, and a request the platform is still busy with may be
    // swallowed, so it is made again now and then. (A bounded wait.)
    DWORD start = GetTickCount(), asked = 0;
    bool first = true;
    while (GetForegroundWindow() != next && GetTickCount() - start < 5000) {
        if (first || GetTickCount() - asked >= 250) {
            SetForegroundWindow(next);
            asked = GetTickCount();
            first = false;
        }
        WaitAnswering(5);
    }
    return was_visible;
}

BOOL WINAPI VeskCloseToolhelp32Snapshot(HANDLE hSnapshot) { return CloseHandle(hSnapshot); }

HANDLE WINAPI VeskOpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
    return OpenProcess(dwDesiredAccess | PROCESS_QUERY_LIMITED_INFORMATION, bInheritHandle, dwProcessId);
}

DWORD WINAPI VeskGetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    // A process handle names a process; anything else is a module of this
    // process (or null, the executable), as on the desktop.
    if (hModule != nullptr && GetProcessId(reinterpret_cast<HANDLE>(hModule)) != 0) {
        DWORD cch = nSize;
        if (!QueryFullProcessImageNameW(reinterpret_cast<HANDLE>(hModule), 0, lpFilename, &cch)) return 0;
        return cch;
    }
    return GetModuleFileNameW(hModule, lpFilename, nSize);
}

DWORD WINAPI VeskGetSysColor(int nIndex) { return GetSysColor(PlainIndex(nIndex)); }

HBRUSH WINAPI VeskGetSysColorBrush(int nIndex) { return GetSysColorBrush(PlainIndex(nIndex)); }

LONG WINAPI VeskGetWindowLongW(HWND hWnd, int nIndex) {
    LONG value = GetWindowLongW(hWnd, nIndex);
    if (nIndex == GWL_STYLE && !(value & WS_CHILD)) value &= ~static_cast<LONG>(WS_CLIPSIBLINGS);
    return value;
}

HGDIOBJ WINAPI VeskGetStockObject(int i) {
    if (i == SYSTEM_FONT) {
        if (HFONT font = DeviceSystemFont()) return font;
    }
    return GetStockObject(i);
}

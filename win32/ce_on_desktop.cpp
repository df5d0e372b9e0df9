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

// The exports of the simulated device's DLLs: for each name that a program
// loaded from a Windows CE executable may import, the platform's own
// function, which its code calls directly. Only what the device's DLLs
// export is here (a test holds the table to their export lists); the C
// runtime's names map to sim::crt where the host's own C library would not
// behave as coredll's does, and to the host's functions where it would.
#include "exports.h"

#include <tlhelp32.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "crt.h"

namespace sim {
namespace {

struct Export {
    const char* dll;
    const char* name;
    const void* function;
};

#define COREDLL(fn) {"COREDLL", #fn, reinterpret_cast<const void*>(&fn)}

const Export kExports[] = {
    COREDLL(AppendMenuW),
    COREDLL(BeginPaint),
    COREDLL(CallWindowProcW),
    COREDLL(CheckMenuItem),
    COREDLL(ClientToScreen),
    COREDLL(CloseHandle),
    COREDLL(CopyRect),
    COREDLL(CreateFontIndirectW),
    COREDLL(CreateMenu),
    COREDLL(CreateMutexW),
    COREDLL(CreatePen),
    COREDLL(CreatePenIndirect),
    COREDLL(CreatePopupMenu),
    COREDLL(CreateSemaphoreW),
    COREDLL(CreateSolidBrush),
    COREDLL(CreateWindowExW),
    COREDLL(DefWindowProcW),
    COREDLL(DeleteMenu),
    COREDLL(DeleteObject),
    COREDLL(DestroyIcon),
    COREDLL(DestroyMenu),
    COREDLL(DestroyWindow),
    COREDLL(DispatchMessageW),
    COREDLL(DrawFocusRect),
    COREDLL(DrawIconEx),
    COREDLL(DrawTextW),
    COREDLL(Ellipse),
    COREDLL(EnableMenuItem),
    COREDLL(EnableWindow),
    COREDLL(EndPaint),
    COREDLL(EnumWindows),
    COREDLL(ExtTextOutW),
    COREDLL(FillRect),
    COREDLL(FindWindowW),
    COREDLL(GetActiveWindow),
    COREDLL(GetBkColor),
    COREDLL(GetBkMode),
    COREDLL(GetCapture),
    COREDLL(GetClassNameW),
    COREDLL(GetClientRect),
    COREDLL(GetCurrentObject),
    COREDLL(GetDC),
    COREDLL(GetDesktopWindow),
    COREDLL(GetDeviceCaps),
    COREDLL(GetFocus),
    COREDLL(GetForegroundWindow),
    COREDLL(GetLastError),
    COREDLL(GetMenuItemInfoW),
    COREDLL(GetMessagePos),
    COREDLL(GetMessageW),
    COREDLL(GetModuleFileNameW),
    COREDLL(GetObjectType),
    COREDLL(GetObjectW),
    COREDLL(GetParent),
    COREDLL(GetPixel),
    COREDLL(GetStockObject),
    COREDLL(GetSubMenu),
    COREDLL(GetSysColor),
    COREDLL(GetSysColorBrush),
    COREDLL(GetSystemMetrics),
    COREDLL(GetTextColor),
    COREDLL(GetTextExtentExPointW),
    COREDLL(GetTextMetricsW),
    COREDLL(GetThreadPriority),
    COREDLL(GetTickCount),
    COREDLL(GetUpdateRect),
    COREDLL(GetWindow),
    COREDLL(GetWindowLongW),
    COREDLL(GetWindowRect),
    COREDLL(GetWindowTextLengthW),
    COREDLL(GetWindowTextW),
    COREDLL(GetWindowThreadProcessId),
    COREDLL(InflateRect),
    COREDLL(InsertMenuW),
    COREDLL(InterlockedCompareExchange),
    COREDLL(InterlockedDecrement),
    COREDLL(InterlockedIncrement),
    COREDLL(IntersectRect),
    COREDLL(InvalidateRect),
    COREDLL(IsRectEmpty),
    COREDLL(IsWindow),
    COREDLL(IsWindowEnabled),
    COREDLL(IsWindowVisible),
    COREDLL(KillTimer),
    COREDLL(LineTo),
    COREDLL(LoadIconW),
    COREDLL(LoadMenuW),
    COREDLL(MessageBoxW),
    COREDLL(MoveToEx),
    COREDLL(MoveWindow),
    COREDLL(OffsetRect),
    COREDLL(OpenProcess),
    COREDLL(OutputDebugStringW),
    COREDLL(PeekMessageW),
    COREDLL(Polyline),
    COREDLL(PostMessageW),
    COREDLL(PostQuitMessage),
    COREDLL(PtInRect),
    COREDLL(Rectangle),
    COREDLL(RegCloseKey),
    COREDLL(RegCreateKeyExW),
    COREDLL(RegDeleteValueW),
    COREDLL(RegOpenKeyExW),
    COREDLL(RegQueryValueExW),
    COREDLL(RegSetValueExW),
    COREDLL(RegisterClassW),
    COREDLL(ReleaseCapture),
    COREDLL(ReleaseDC),
    COREDLL(ReleaseMutex),
    COREDLL(ReleaseSemaphore),
    COREDLL(RemoveMenu),
    COREDLL(RestoreDC),
    COREDLL(RoundRect),
    COREDLL(SHGetFileInfo),
    COREDLL(SaveDC),
    COREDLL(ScreenToClient),
    COREDLL(SelectObject),
    COREDLL(SendMessageW),
    COREDLL(SetActiveWindow),
    COREDLL(SetBkColor),
    COREDLL(SetBkMode),
    COREDLL(SetCapture),
    COREDLL(SetFocus),
    COREDLL(SetForegroundWindow),
    COREDLL(SetLastError),
    COREDLL(SetMenuItemInfoW),
    COREDLL(SetPixel),
    COREDLL(SetRect),
    COREDLL(SetRectEmpty),
    COREDLL(SetTextColor),
    COREDLL(SetThreadPriority),
    COREDLL(SetTimer),
    COREDLL(SetWindowLongW),
    COREDLL(SetWindowPos),
    COREDLL(SetWindowTextW),
    COREDLL(ShowWindow),
    COREDLL(Sleep),
    COREDLL(TerminateProcess),
    COREDLL(TlsCall),
    COREDLL(TlsGetValue),
    COREDLL(TlsSetValue),
    COREDLL(TrackPopupMenuEx),
    COREDLL(TranslateMessage),
    COREDLL(UnionRect),
    COREDLL(UnregisterClassW),
    COREDLL(UpdateWindow),
    COREDLL(ValidateRect),
    COREDLL(VirtualProtect),
    COREDLL(VirtualQuery),
    COREDLL(WaitForSingleObject),
    COREDLL(WindowFromPoint),
    COREDLL(WriteFile),
    // The C runtime
    {"COREDLL", "malloc", reinterpret_cast<const void*>(&crt::Malloc)},
    {"COREDLL", "realloc", reinterpret_cast<const void*>(&crt::Realloc)},
    {"COREDLL", "free", reinterpret_cast<const void*>(&crt::Free)},
    {"COREDLL", "sprintf", reinterpret_cast<const void*>(&crt::Sprintf)},
    {"COREDLL", "wsprintfW", reinterpret_cast<const void*>(&crt::WSprintfW)},
    {"COREDLL", "mbstowcs", reinterpret_cast<const void*>(&crt::Mbstowcs)},
    {"COREDLL", "_fpreset", reinterpret_cast<const void*>(&crt::Fpreset)},
    {"COREDLL", "_getstdfilex", reinterpret_cast<const void*>(&crt::GetStdFile)},
    {"COREDLL", "fwrite", reinterpret_cast<const void*>(&crt::Fwrite)},
    {"COREDLL", "fputs", reinterpret_cast<const void*>(&crt::Fputs)},
    {"COREDLL", "fputc", reinterpret_cast<const void*>(&crt::Fputc)},
    {"COREDLL", "fflush", reinterpret_cast<const void*>(&crt::Fflush)},
    {"COREDLL", "_fcloseall", reinterpret_cast<const void*>(&crt::Fcloseall)},
    {"COREDLL", "memcmp", reinterpret_cast<const void*>(static_cast<int (*)(const void*, const void*, size_t)>(&std::memcmp))},
    {"COREDLL", "memcpy", reinterpret_cast<const void*>(static_cast<void* (*)(void*, const void*, size_t)>(&std::memcpy))},
    {"COREDLL", "memmove", reinterpret_cast<const void*>(static_cast<void* (*)(void*, const void*, size_t)>(&std::memmove))},
    {"COREDLL", "memset", reinterpret_cast<const void*>(static_cast<void* (*)(void*, int, size_t)>(&std::memset))},
    {"COREDLL", "strcmp", reinterpret_cast<const void*>(static_cast<int (*)(const char*, const char*)>(&std::strcmp))},
    {"COREDLL", "strncmp", reinterpret_cast<const void*>(static_cast<int (*)(const char*, const char*, size_t)>(&std::strncmp))},
    {"COREDLL", "strcpy", reinterpret_cast<const void*>(static_cast<char* (*)(char*, const char*)>(&std::strcpy))},
    {"COREDLL", "strlen", reinterpret_cast<const void*>(static_cast<size_t (*)(const char*)>(&std::strlen))},
    {"COREDLL", "wcslen", reinterpret_cast<const void*>(static_cast<size_t (*)(const WCHAR*)>(&wcslen))},
    {"COREDLL", "wcscpy", reinterpret_cast<const void*>(static_cast<WCHAR* (*)(WCHAR*, const WCHAR*)>(&wcscpy))},
    {"COREDLL", "wcsncpy", reinterpret_cast<const void*>(static_cast<WCHAR* (*)(WCHAR*, const WCHAR*, size_t)>(&wcsncpy))},
    {"COREDLL", "wcscat", reinterpret_cast<const void*>(static_cast<WCHAR* (*)(WCHAR*, const WCHAR*)>(&wcscat))},
    {"COREDLL", "wcscmp", reinterpret_cast<const void*>(static_cast<int (*)(const WCHAR*, const WCHAR*)>(&wcscmp))},
    {"COREDLL", "wcsncmp", reinterpret_cast<const void*>(static_cast<int (*)(const WCHAR*, const WCHAR*, size_t)>(&wcsncmp))},
    {"COREDLL", "_wcsicmp", reinterpret_cast<const void*>(static_cast<int (*)(const WCHAR*, const WCHAR*)>(&_wcsicmp))},
    {"COREDLL", "wcschr", reinterpret_cast<const void*>(static_cast<WCHAR* (*)(const WCHAR*, WCHAR)>(&wcschr))},
    {"COREDLL", "wcsrchr", reinterpret_cast<const void*>(static_cast<WCHAR* (*)(const WCHAR*, WCHAR)>(&wcsrchr))},
    // Tool-help
    {"TOOLHELP", "CreateToolhelp32Snapshot", reinterpret_cast<const void*>(&CreateToolhelp32Snapshot)},
    {"TOOLHELP", "CloseToolhelp32Snapshot", reinterpret_cast<const void*>(&CloseToolhelp32Snapshot)},
    {"TOOLHELP", "Process32First", reinterpret_cast<const void*>(&Process32First)},
    {"TOOLHELP", "Process32Next", reinterpret_cast<const void*>(&Process32Next)},
};

#undef COREDLL

// The DLLs a program may import from; the shell's and the common controls'
// export nothing that the simulated device implements.
const char* const kDlls[] = {"COREDLL", "TOOLHELP", "AYGSHELL", "COMMCTRL"};

std::string Key(std::string_view dll) {
    std::string k(dll);
    for (char& c : k) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
    if (k.size() > 4 && k.ends_with(".DLL")) k.resize(k.size() - 4);
    return k;
}

}  // namespace

bool DeviceDll(std::string_view dll) {
    std::string k = Key(dll);
    return std::any_of(std::begin(kDlls), std::end(kDlls), [&](const char* d) { return k == d; });
}

const void* DeviceExport(std::string_view dll, std::string_view name) {
    std::string k = Key(dll);
    for (const Export& e : kExports)
        if (k == e.dll && name == e.name) return e.function;
    return nullptr;
}

std::vector<std::pair<std::string, std::string>> DeviceExportTable() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Export& e : kExports) out.emplace_back(e.dll, e.name);
    return out;
}

}  // namespace sim

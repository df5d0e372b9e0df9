// The stand-in shell: taskbar, desktop, the file system's icons and the
// shell's file information call.
#include "shell.h"

#include <shellapi.h>

#include <algorithm>

#include "core.h"
#include "icons.h"
#include "paint.h"
#include "registry.h"
#include <sim/resources.h>

namespace sim::icon {
HICON Create(std::vector<sim::res::IconImage> images);
}

namespace sim::shell {

namespace {

struct Files {
    std::map<sim::WString, std::vector<res::IconImage>> icons;  // by folded path
    // The file store, by folded path: the path as written and the bytes.
    std::map<sim::WString, std::pair<sim::WString, std::vector<uint8_t>>> stored;
};

Files& F() {
    Machine& m = M();
    if (!m.files) m.files = std::make_shared<Files>();
    return *static_cast<Files*>(m.files.get());
}

sim::WString FoldPath(const sim::WString& path) {
    sim::WString out = path;
    for (auto& c : out) {
        c = UpperCase(c);
        if (c == u'/') c = u'\\';
    }
    return out;
}

Thread* ShellThread() { return M().shell->threads.front(); }

void PaintFlag(HDC dc, int x, int y, int size) {
    int h = size / 2;
    FillSolid(dc, RECT{x, y, x + h - 1, y + h - 1}, RGB(232, 64, 40));
    FillSolid(dc, RECT{x + h, y, x + size - 1, y + h - 1}, RGB(80, 176, 48));
    FillSolid(dc, RECT{x, y + h, x + h - 1, y + size - 1}, RGB(40, 120, 232));
    FillSolid(dc, RECT{x + h, y + h, x + size - 1, y + size - 1}, RGB(248, 200, 32));
}

LRESULT CALLBACK TaskBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    // The taskbar lays out its title by the size it was made with and then
    // by each WM_SIZE, kept in its user data.
    case WM_CREATE: {
        const CREATESTRUCTW* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        SetWindowLongW(hwnd, GWL_USERDATA, MAKELONG(cs->cx, cs->cy));
        return 0;
    }
    case WM_SIZE: SetWindowLongW(hwnd, GWL_USERDATA, static_cast<LONG>(lp)); return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        LONG size = GetWindowLongW(hwnd, GWL_USERDATA);
        RECT rc{0, 0, LOWORD(size), HIWORD(size)};
        COLORREF back, fore;
        ThemeColours(&back, &fore);
        FillSolid(dc, rc, back);
        int flag = Sx(14);
        PaintFlag(dc, Sx(6), (rc.bottom - flag) / 2, flag);
        HWND front = GetForegroundWindow();
        WCHAR title[128] = u"";
        if (front) GetWindowTextW(front, title, 128);
        RECT text{Sx(28), 0, rc.right - Sx(32), rc.bottom};
        Text(dc, title, text, fore, Sy(12), true, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_USER:
        // The shell's own note that the window in front changed: redraw the title.
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK DesktopProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT rc;
        GetClientRect(hwnd, &rc);
        COLORREF back, fore;
        ThemeColours(&back, &fore);
        FillSolid(dc, rc, RGB(255, 255, 255));
        RECT band{0, 0, rc.right, Sy(30)};
        FillSolid(dc, band, RGB(220, 232, 248));
        RECT date{Sx(8), 0, rc.right - Sx(8), Sy(30)};
        Text(dc, u"Monday, December 7, 2026", date, back, Sy(12), true, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        static const WCHAR* const kRows[] = {u"Owner: vesk tester", u"No upcoming appointments",
                                               u"No unread messages", u"No active tasks"};
        int y = Sy(38);
        for (const WCHAR* row : kRows) {
            FillSolid(dc, RECT{Sx(8), y + Sy(4), Sx(20), y + Sy(16)}, RGB(200, 212, 232));
            Text(dc, row, RECT{Sx(26), y, rc.right - Sx(4), y + Sy(20)}, RGB(0, 0, 0), Sy(11), false,
                 DT_LEFT | DT_VCENTER | DT_SINGLELINE);
            y += Sy(24);
        }
        FillSolid(dc, RECT{0, rc.bottom - Sy(26), rc.right, rc.bottom}, RGB(236, 236, 236));
        Text(dc, u"Today", RECT{Sx(8), rc.bottom - Sy(26), rc.right, rc.bottom}, RGB(0, 0, 0), Sy(11), true,
             DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// The colour table of the shell's theme, as a device ships it.
std::vector<uint8_t> DefaultColourTable() {
    std::vector<uint8_t> bytes(164, 0);
    auto put = [&](int entry, COLORREF c) {
        for (int i = 0; i < 4; ++i) bytes[size_t(entry) * 4 + i] = static_cast<uint8_t>(c >> (8 * i));
    };
    for (int i = 0; i < 41; ++i) put(i, RGB(255, 255, 255));
    put(0, RGB(0, 0, 0));
    put(1, RGB(0, 0, 0));
    put(8, RGB(16, 52, 132));
    put(9, RGB(255, 255, 255));
    put(10, RGB(64, 96, 176));
    put(11, RGB(200, 212, 232));
    return bytes;
}

}  // namespace

void Boot(const DeviceConfig& config) {
    Machine& m = M();
    // The registry outlives a soft reset, and what was set in it stays.
    if (!reg::ValueExists(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Color", u"SHColor"))
        reg::Set(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Color", u"SHColor", REG_BINARY, DefaultColourTable());

    Process* p = NewProcess(u"\\Windows\\shell32.exe", "shell32");
    m.shell = p;
    Thread* t = NewThread(p, false);
    RunAs(t, [&] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = TaskBarProc;
        wc.lpszClassName = u"HHTaskBar";
        RegisterClassW(&wc);
        wc.lpfnWndProc = DesktopProc;
        wc.lpszClassName = u"DesktopExplorerWindow";
        RegisterClassW(&wc);
        int bar = config.taskbar ? m.taskbar_height : 0;
        if (config.desktop) {
            m.desktop = CreateWindowExW(0, u"DesktopExplorerWindow", u"Desktop", WS_VISIBLE, 0, bar, m.width,
                                        m.height - bar, nullptr, nullptr, nullptr, nullptr);
            WinOf(m.desktop)->name = "Desktop";
        }
        if (config.taskbar) {
            m.taskbar = CreateWindowExW(WS_EX_TOPMOST, u"HHTaskBar", u"", WS_VISIBLE, 0, 0, m.width, bar, nullptr,
                                        nullptr, nullptr, nullptr);
        }
        return 0;
    });
    if (m.desktop) SetForeground(m.desktop);

    auto& icons = F().icons;
    icons[FoldPath(u"\\Windows\\calendar.lnk")] = CalendarIcon();
    icons[FoldPath(u"\\Windows\\tasks.lnk")] = TasksIcon();
    icons[FoldPath(u"\\Windows\\addrbook.lnk")] = ContactsIcon();
    icons[FoldPath(u"\\Windows\\find.lnk")] = FindIcon();
    icons[FoldPath(u"\\Windows\\shell32.exe")] = ApplicationIcon(RGB(16, 52, 132));
    RunUntilIdle();
}

void Notify() {
    Machine& m = M();
    if (!m.taskbar) return;
    RunAs(ShellThread(), [&] { return PostTo(m.taskbar, WM_USER, 0, 0); });
    RunUntilIdle();
}

void AddFileIcon(const sim::WString& path, const std::vector<uint8_t>& ico_file) {
    if (auto images = res::ParseIcoFile(ico_file.data(), ico_file.size())) F().icons[FoldPath(path)] = *images;
}

void StoreFile(const sim::WString& path, std::vector<uint8_t> data) {
    F().stored[FoldPath(path)] = {path, std::move(data)};
}

const std::vector<uint8_t>* StoredFile(const sim::WString& path) {
    auto& stored = F().stored;
    auto it = stored.find(FoldPath(path));
    return it == stored.end() ? nullptr : &it->second.second;
}

std::vector<sim::WString> StoredFiles(const sim::WString& folder) {
    std::vector<sim::WString> out;
    if (folder.empty()) {
        for (const auto& [key, file] : F().stored) out.push_back(file.first);
        return out;
    }
    sim::WString prefix = FoldPath(folder);
    if (!prefix.empty() && prefix.back() != u'\\') prefix += u'\\';
    for (const auto& [key, file] : F().stored) {
        if (key.compare(0, prefix.size(), prefix) != 0) continue;
        if (key.find(u'\\', prefix.size()) == sim::WString::npos) out.push_back(file.first);
    }
    return out;
}

void AddGeneratedIcon(const sim::WString& path, COLORREF accent) {
    auto& icons = F().icons;
    sim::WString key = FoldPath(path);
    if (!icons.count(key)) icons[key] = ApplicationIcon(accent);
}

}  // namespace sim::shell

using namespace sim;

extern "C" DWORD_PTR WINAPI SHGetFileInfo(LPCWSTR path, DWORD, SHFILEINFOW* info, UINT size, UINT flags) {
    SIM_API("SHGetFileInfo");
    if (SIM_FAIL() || !path || !info || size < sizeof(SHFILEINFOW)) return 0;
    auto& icons = shell::F().icons;
    auto it = icons.find(shell::FoldPath(path));
    if (it == icons.end()) return 0;
    if (flags & SHGFI_ICON) {
        // The caller owns the icon and destroys it.
        info->hIcon = icon::Create(it->second);
        if (!info->hIcon) return 0;
    }
    if (flags & SHGFI_DISPLAYNAME) {
        sim::WString p = path;
        size_t slash = p.find_last_of(u"\\/");
        sim::WString name = slash == sim::WString::npos ? p : p.substr(slash + 1);
        size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
        std::copy_n(name.data(), n, info->szDisplayName);
        info->szDisplayName[n] = 0;
    }
    return 1;
}

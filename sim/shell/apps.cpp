// Simulated applications: top-level windows of their own processes that
// draw a recognisable face with their title, record every message they
// receive, and answer WM_CLOSE, the OK command and the property sheet's OK
// press the way a test asks them to.
#include <algorithm>

#include "core.h"
#include "paint.h"
#include "shell.h"

namespace sim::shell {

namespace {

struct AppState {
    AppConfig config;
    COLORREF accent = 0;
};

struct Apps {
    std::map<HWND, AppState> windows;
};

Apps& A() {
    Machine& m = M();
    if (!m.apps) m.apps = std::make_shared<Apps>();
    return *static_cast<Apps*>(m.apps.get());
}

COLORREF AccentFor(const std::string& name) {
    static const COLORREF kAccents[] = {RGB(0, 102, 153), RGB(170, 60, 40),  RGB(40, 130, 60),
                                        RGB(120, 70, 150), RGB(200, 120, 20), RGB(30, 120, 140),
                                        RGB(150, 40, 90),  RGB(90, 90, 90)};
    uint32_t h = 2166136261u;
    for (char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
    return kAccents[h % (sizeof kAccents / sizeof kAccents[0])];
}

void Paint(HWND hwnd, const AppState& app) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    FillSolid(dc, rc, RGB(255, 255, 255));
    RECT header{0, 0, rc.right, Sy(24)};
    FillSolid(dc, header, app.accent);
    WCHAR title[256] = u"";
    GetWindowTextW(hwnd, title, 256);
    Text(dc, title, RECT{Sx(6), 0, rc.right - Sx(6), Sy(24)}, RGB(255, 255, 255), Sy(12), true,
         DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    int y = Sy(34);
    for (int row = 0; row < 6 && y + Sy(10) < rc.bottom - Sy(28); ++row) {
        int width = (rc.right - Sx(16)) * (9 - (row * 3) % 5) / 9;
        FillSolid(dc, RECT{Sx(8), y, Sx(8) + width, y + Sy(7)}, RGB(214, 218, 224));
        y += Sy(16);
    }
    RECT bar{0, rc.bottom - Sy(26), rc.right, rc.bottom};
    FillSolid(dc, bar, RGB(236, 236, 236));
    FillSolid(dc, RECT{0, bar.top, rc.right, bar.top + 1}, RGB(160, 160, 160));
    const WCHAR* hint = (app.config.exstyle & WS_EX_CAPTIONOKBTN) ? u"Tap ok to close" : u"Menu";
    Text(dc, hint, RECT{Sx(8), bar.top, rc.right, bar.bottom}, RGB(0, 0, 0), Sy(11), false,
         DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    EndPaint(hwnd, &ps);
}

// A behaviour that hangs keeps the sender waiting until the driver releases
// the window; the application then carries the request out.
void CloseAs(HWND hwnd, int behaviour) {
    if (behaviour == 1) return;  // ignore
    if (behaviour == 2) HangUntilReleased(hwnd);
    if (WinOf(hwnd)) DestroyWindow(hwnd);
}

LRESULT CALLBACK AppProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto it = A().windows.find(hwnd);
    if (it == A().windows.end()) return DefWindowProcW(hwnd, msg, wp, lp);
    const AppConfig& cfg = it->second.config;
    switch (msg) {
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: Paint(hwnd, it->second); return 0;
    case WM_CLOSE: CloseAs(hwnd, static_cast<int>(cfg.on_close)); return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) CloseAs(hwnd, static_cast<int>(cfg.on_ok));
        return 0;
    case PSM_PRESSBUTTON:
        // A property sheet closes when its OK button is pressed.
        if (wp == PSBTN_OK && WinOf(hwnd)) DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY: A().windows.erase(hwnd); return 0;
    default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

sim::WString ExePath(const AppConfig& app) {
    sim::WString exe = app.exe.empty() ? Widen(app.name) + u".exe" : app.exe;
    if (exe.find(u'\\') == sim::WString::npos) exe = u"\\Windows\\" + exe;
    return exe;
}

}  // namespace

HWND Launch(const AppConfig& app) {
    Machine& m = M();
    sim::WString path = ExePath(app);
    Process* proc = nullptr;
    for (auto& [pid, p] : m.processes)
        if (p->alive && !p->image && p->exe_path == path) proc = p.get();
    if (!proc) {
        proc = NewProcess(path, app.name);
        NewThread(proc, false);
    }
    Thread* t = proc->threads.front();
    AddGeneratedIcon(path, AccentFor(app.name));

    sim::WString cls = app.class_name.empty() ? Widen(app.name) : app.class_name;
    sim::WString title = app.title ? *app.title : Widen(app.name);
    DWORD style = app.style;
    if (app.hidden) style &= ~WS_VISIBLE;
    HWND owner = app.owner.empty() ? nullptr : FindApp(app.owner);

    HWND hwnd = RunAs(t, [&]() -> HWND {
        bool registered = false;
        for (auto& c : m.classes)
            if (c->pid == proc->pid && c->name == cls) registered = true;
        if (!registered) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = AppProc;
            wc.lpszClassName = cls.c_str();
            if (!RegisterClassW(&wc)) return nullptr;
        }
        int x = CW_USEDEFAULT, y = 0, w = CW_USEDEFAULT, h = 0;
        if (app.rect.right > app.rect.left) {
            x = app.rect.left;
            y = app.rect.top;
            w = app.rect.right - app.rect.left;
            h = app.rect.bottom - app.rect.top;
        }
        return CreateWindowExW(app.exstyle, cls.c_str(), title.c_str(), style & ~WS_VISIBLE, x, y, w, h, owner,
                               nullptr, nullptr, nullptr);
    });
    if (!hwnd) return nullptr;
    Window* w = WinOf(hwnd);
    w->name = app.name;
    w->record = true;
    A().windows[hwnd] = AppState{app, AccentFor(app.name)};
    if (style & WS_VISIBLE) {
        // The shell starts an application in front of the others and activates it.
        w->style |= WS_VISIBLE;
        Invalidate(w, nullptr, true);
        BringToTop(hwnd);
        SetForeground(hwnd);
    }
    RunUntilIdle();
    return hwnd;
}

HWND FindApp(const std::string& name) {
    Machine& m = M();
    if (name == "Desktop") return m.desktop;
    for (auto& [h, app] : A().windows)
        if (app.config.name == name && WinOf(h)) return h;
    return nullptr;
}

}  // namespace sim::shell

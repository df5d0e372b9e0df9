// Windows: creation and destruction, the window tree, enabling, finding and
// enumerating windows, titles, window data and the default window procedure.
#include <algorithm>
#include <functional>

#include "core.h"
#include "gdi.h"
#include "window.h"

namespace sim {

Window* WinOf(uintptr_t h) { return M().handles.Get<Window>(h); }
Window* WinOf(HWND hwnd) { return WinOf(FromHandle(hwnd)); }

Window* CheckWindow(HWND hwnd) {
    Window* w = WinOf(hwnd);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

std::string NameOf(HWND hwnd) {
    if (!hwnd) return "none";
    Window* w = WinOf(hwnd);
    if (!w) return "destroyed";
    if (!w->name.empty()) return w->name;
    return Narrow(w->cls->name);
}

HWND TopLevelOf(HWND hwnd) {
    Window* w = WinOf(hwnd);
    while (w && w->parent) w = WinOf(w->parent);
    return w ? w->hwnd() : nullptr;
}

bool IsShown(const Window* w) {
    while (w) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) return true;
        w = WinOf(w->parent);
    }
    return false;
}

SIZE FrameOf(const Window* w) {
    if (w->exstyle & WS_EX_DLGMODALFRAME) return SIZE{M().ScaleX(kDialogFrame), M().ScaleY(kDialogFrame)};
    if (w->style & WS_BORDER) return SIZE{1, 1};
    return SIZE{0, 0};
}

POINT ClientOrigin(const Window* w) {
    SIZE f = FrameOf(w);
    return POINT{w->rect.left + f.cx, w->rect.top + f.cy};
}

SIZE ClientSize(const Window* w) {
    SIZE f = FrameOf(w);
    return SIZE{std::max<LONG>(0, w->rect.right - w->rect.left - 2 * f.cx), std::max<LONG>(0, w->rect.bottom - w->rect.top - 2 * f.cy)};
}

LRESULT CallProc(Window* w, WNDPROC proc, UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = w->hwnd();
    Thread* t = w->thread;
    // The procedure's code is its owner's: the process that put it in
    // another's window, or the window's own.
    Process* code_of = w->proc_owner && proc == w->proc ? FindProcess(w->proc_owner) : t->process;
    return RunAs(t, [&]() -> LRESULT {
        ResidentFor resident(code_of);
        CalloutScope callout;
        if (!proc) return DefWindowProcW(hwnd, msg, wp, lp);
        return proc(hwnd, msg, wp, lp);
    });
}

void DestroyTree(HWND hwnd, bool send_messages) {
    Machine& m = M();
    Window* w = WinOf(hwnd);
    if (!w || w->destroying) return;
    w->destroying = true;
    // Owned windows go first, as on the platform.
    std::vector<HWND> owned;
    for (HWND h : m.zorder)
        if (Window* o = WinOf(h); o && o->owner == hwnd) owned.push_back(h);
    for (HWND h : owned) DestroyTree(h, send_messages);

    bool was_visible = IsShown(w);
    w->style &= ~WS_VISIBLE;
    if (send_messages) CallProc(w, w->proc, WM_DESTROY, 0, 0);
    std::vector<HWND> children = w->children;
    for (HWND c : children) DestroyTree(c, send_messages);
    if (send_messages) CallProc(w, w->proc, WM_NCDESTROY, 0, 0);

    RemoveTimers(hwnd);
    if (m.capture == hwnd) m.capture = nullptr;
    if (m.focus == hwnd) m.focus = nullptr;
    Unlink(w);
    bool logged = Logged(w);
    std::string name = NameOf(hwnd);
    bool parent_visible = false;
    HWND parent = w->parent;
    if (parent)
        if (Window* p = WinOf(parent)) parent_visible = IsShown(p);
    m.handles.Erase(FromHandle(hwnd));
    if (logged) Log("destroyed " + name);
    if (parent_visible && was_visible)
        if (Window* p = WinOf(parent)) Invalidate(p, nullptr, true);
    if (m.taskbar == hwnd) m.taskbar = nullptr;
    if (m.desktop == hwnd) m.desktop = nullptr;
    if (m.foreground == hwnd) ActivateNext();
}

}  // namespace sim

using namespace sim;

extern "C" {

HWND WINAPI CreateWindowExW(DWORD exstyle, LPCWSTR class_name, LPCWSTR title, DWORD style, int x, int y, int cx,
                            int cy, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    SIM_API("CreateWindowExW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Machine& m = M();
    Thread* thread = CurrentThread();
    if (!thread || !class_name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<WindowClass> cls = FindClass(class_name, thread->process->pid);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    Window* parent_window = nullptr;
    if (parent) {
        parent_window = CheckWindow(parent);
        if (!parent_window) return nullptr;
    }
    if ((style & WS_CHILD) && !parent_window) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }

    auto owned = std::make_unique<Window>();
    Window* w = owned.get();
    w->owner_pid = thread->process->pid;
    w->cls = cls;
    w->title = title ? title : u"";
    w->style = style;
    w->exstyle = exstyle;
    w->thread = thread;
    w->proc = cls->proc;
    w->class_proc = cls->proc;
    if (style & WS_CHILD) {
        w->parent = parent;
        w->id = reinterpret_cast<LONG_PTR>(menu);
        POINT o = ClientOrigin(parent_window);
        if (x == CW_USEDEFAULT) x = 0;
        if (y == CW_USEDEFAULT) y = 0;
        if (cx == CW_USEDEFAULT) cx = 0;
        if (cy == CW_USEDEFAULT) cy = 0;
        w->rect = RECT{o.x + x, o.y + y, o.x + x + std::max(cx, 0), o.y + y + std::max(cy, 0)};
    } else {
        w->owner = parent ? TopLevelOf(parent) : nullptr;
        if (x == CW_USEDEFAULT || cx == CW_USEDEFAULT) {
            // The Pocket PC places an application below the taskbar, over the rest of the screen.
            int top = m.taskbar ? m.taskbar_height : 0;
            w->rect = RECT{0, top, m.width, m.height};
        } else {
            if (y == CW_USEDEFAULT) y = 0;
            if (cy == CW_USEDEFAULT) cy = m.height - y;
            w->rect = RECT{x, y, x + std::max(cx, 0), y + std::max(cy, 0)};
        }
    }
    SIZE client = ClientSize(w);
    w->surface.Resize(client.cx, client.cy);
    HWND hwnd = ToHandle<HWND>(m.handles.Insert(std::move(owned)));
    if (parent_window) {
        parent_window->children.insert(parent_window->children.begin(), hwnd);
    } else {
        BringToTop(hwnd);
    }
    (void)instance;

    CREATESTRUCTW cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.x = x;
    cs.y = y;
    cs.cx = cx;
    cs.cy = cy;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = title;
    cs.lpszClass = class_name;
    cs.dwExStyle = exstyle;
    if (CallProc(w, w->proc, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0 && w->proc &&
        WinOf(hwnd) == nullptr) {
        return nullptr;
    }
    if (!WinOf(hwnd)) return nullptr;
    if (CallProc(w, w->proc, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyTree(hwnd, true);
        return nullptr;
    }
    w = WinOf(hwnd);
    if (!w) return nullptr;
    if (w->style & WS_VISIBLE) Invalidate(w, nullptr, true);
    return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    SIM_API("DestroyWindow");
    if (!CheckWindow(hwnd)) return FALSE;
    DestroyTree(hwnd, true);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    SIM_API("IsWindow");
    return WinOf(hwnd) != nullptr;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    SIM_API("IsWindowVisible");
    Window* w = WinOf(hwnd);
    return w && IsShown(w);
}

BOOL WINAPI IsWindowEnabled(HWND hwnd) {
    SIM_API("IsWindowEnabled");
    Window* w = WinOf(hwnd);
    return w && w->enabled;
}

BOOL WINAPI EnableWindow(HWND hwnd, BOOL enable) {
    SIM_API("EnableWindow");
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    BOOL was_disabled = !w->enabled;
    w->enabled = enable != FALSE;
    if (enable) w->style &= ~WS_DISABLED; else w->style |= WS_DISABLED;
    return was_disabled;
}

HWND WINAPI FindWindowW(LPCWSTR class_name, LPCWSTR title) {
    SIM_API("FindWindowW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    for (HWND h : M().zorder) {
        Window* w = WinOf(h);
        if (!w || w->system) continue;
        if (class_name && !SameNoCase(w->cls->name, class_name)) continue;
        if (title && w->title != title) continue;
        return h;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}

HWND WINAPI GetParent(HWND hwnd) {
    SIM_API("GetParent");
    Window* w = CheckWindow(hwnd);
    if (!w) return nullptr;
    // As on the platform: the parent of a child, the owner of a top-level window.
    return w->parent ? w->parent : w->owner;
}

HWND WINAPI GetWindow(HWND hwnd, UINT cmd) {
    SIM_API("GetWindow");
    Window* w = CheckWindow(hwnd);
    if (!w) return nullptr;
    if (cmd == GW_OWNER) return w->owner;
    if (cmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front();
    auto& list = SiblingsOf(w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    switch (cmd) {
    case GW_HWNDFIRST: return list.empty() ? nullptr : list.front();
    case GW_HWNDLAST: return list.empty() ? nullptr : list.back();
    case GW_HWNDNEXT: return (it == list.end() || it + 1 == list.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == list.begin() || it == list.end()) ? nullptr : *(it - 1);
    default: return nullptr;
    }
}

BOOL WINAPI EnumWindows(WNDENUMPROC fn, LPARAM lp) {
    SIM_API("EnumWindows");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!fn) return FALSE;
    // The list is taken first: windows made or destroyed by the callback do
    // not disturb the walk, and destroyed ones are skipped.
    std::vector<HWND> list = M().zorder;
    for (HWND h : list) {
        if (!WinOf(h)) continue;
        BOOL go;
        {
            CalloutScope callout;
            go = fn(h, lp);
        }
        // The callback's refusal is the enumeration's answer, as on the platform.
        if (!go) return FALSE;
    }
    return TRUE;
}

int WINAPI GetWindowTextW(HWND hwnd, LPWSTR buffer, int size) {
    SIM_API("GetWindowTextW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        if (buffer && size > 0) buffer[0] = 0;
        return 0;
    }
    Window* w = CheckWindow(hwnd);
    if (!buffer || size <= 0) return 0;
    if (!w) {
        buffer[0] = 0;
        return 0;
    }
    int n = std::min<int>(static_cast<int>(w->title.size()), size - 1);
    std::copy_n(w->title.data(), n, buffer);
    buffer[n] = 0;
    return n;
}

int WINAPI GetWindowTextLengthW(HWND hwnd) {
    SIM_API("GetWindowTextLengthW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Window* w = CheckWindow(hwnd);
    return w ? static_cast<int>(w->title.size()) : 0;
}

BOOL WINAPI SetWindowTextW(HWND hwnd, LPCWSTR text) {
    SIM_API("SetWindowTextW");
    Machine& m = M();
    Window* w = CheckWindow(hwnd);
    if (!w) return FALSE;
    w->title = text ? text : u"";
    if (hwnd == m.foreground)
        if (Window* t = WinOf(m.taskbar)) Invalidate(t, nullptr, true);
    return TRUE;
}

LONG_PTR WINAPI GetWindowLongPtrW(HWND hwnd, int index) {
    SIM_API("GetWindowLongPtrW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Window* w = CheckWindow(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWL_STYLE: return static_cast<LONG>(w->style);
    case GWL_EXSTYLE: return static_cast<LONG>(w->exstyle);
    case GWL_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_USERDATA: return w->userdata;
    case GWL_ID: return w->id;
    case GWL_HINSTANCE: return reinterpret_cast<LONG_PTR>(w->cls->instance);
    default: SetLastError(1413 /* ERROR_INVALID_INDEX */); return 0;
    }
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    SIM_API("SetWindowLongPtrW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    Window* w = CheckWindow(hwnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWL_STYLE:
        old = static_cast<LONG>(w->style);
        w->style = static_cast<DWORD>(value);
        break;
    case GWL_EXSTYLE:
        old = static_cast<LONG>(w->exstyle);
        w->exstyle = static_cast<DWORD>(value);
        break;
    case GWL_WNDPROC: {
        old = reinterpret_cast<LONG_PTR>(w->proc);
        WNDPROC proc = reinterpret_cast<WNDPROC>(value);
        w->proc = proc;
        if (CurrentPid() != w->owner_pid) {
            if (proc == w->class_proc) {
                w->proc_owner = 0;
                Log("hook removed");
            } else {
                w->proc_owner = CurrentPid();
                Log("hook installed");
            }
        }
        break;
    }
    case GWL_USERDATA:
        old = w->userdata;
        w->userdata = value;
        break;
    case GWL_ID:
        old = w->id;
        w->id = value;
        break;
    default: SetLastError(1413 /* ERROR_INVALID_INDEX */); return 0;
    }
    SetLastError(0);
    return old;
}

LONG WINAPI GetWindowLongW(HWND hwnd, int index) {
    // A window procedure does not fit 32 bits on a 64-bit host: the platform
    // refuses it there, as desktop Win64 does. vesk uses the pointer-sized calls.
    if (index == GWL_WNDPROC && sizeof(LONG_PTR) > sizeof(LONG)) {
        SIM_API("GetWindowLongW");
        SetLastError(1413);
        return 0;
    }
    return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
}

LONG WINAPI SetWindowLongW(HWND hwnd, int index, LONG value) {
    if (index == GWL_WNDPROC && sizeof(LONG_PTR) > sizeof(LONG)) {
        SIM_API("SetWindowLongW");
        SetLastError(1413);
        return 0;
    }
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
}

DWORD WINAPI GetWindowThreadProcessId(HWND hwnd, LPDWORD pid) {
    SIM_API("GetWindowThreadProcessId");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Window* w = CheckWindow(hwnd);
    if (!w) return 0;
    if (pid) *pid = w->thread->process->pid;
    return w->thread->tid;
}

LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    SIM_API("CallWindowProcW");
    if (!proc) return 0;
    Window* w = WinOf(hwnd);
    if (!w) {
        CalloutScope callout;
        return proc(hwnd, msg, wp, lp);
    }
    return CallProc(w, proc, msg, wp, lp);
}

LRESULT WINAPI DefWindowProcW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    SIM_API("DefWindowProcW");
    Window* w = WinOf(hwnd);
    if (!w) return 0;
    switch (msg) {
    case WM_NCCREATE: return TRUE;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        HBRUSH brush = w->cls->background;
        if (!brush) return 0;
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, brush);
        return 1;
    }
    case WM_WINDOWPOSCHANGED: {
        const WINDOWPOS* pos = reinterpret_cast<const WINDOWPOS*>(lp);
        if (!pos) {
            ProgramFault("DefWindowProcW read WM_WINDOWPOSCHANGED's WINDOWPOS at address 0");
            return 0;
        }
        // Both tell of the client area: its origin in the parent's client
        // area (the screen's for a top-level window), and its size.
        SIZE f = FrameOf(w);
        SIZE client = ClientSize(w);
        if (!(pos->flags & kNoClientMove)) SendTo(hwnd, WM_MOVE, 0, MAKELPARAM(pos->x + f.cx, pos->y + f.cy));
        if (!(pos->flags & kNoClientSize)) SendTo(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.cx, client.cy));
        return 0;
    }
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->title.size());
    case WM_GETTEXT: return GetWindowTextW(hwnd, reinterpret_cast<LPWSTR>(lp), static_cast<int>(wp));
    case WM_SETTEXT: return SetWindowTextW(hwnd, reinterpret_cast<LPCWSTR>(lp));
    default: return 0;
    }
}

HWND WINAPI GetDesktopWindow(void) {
    SIM_API("GetDesktopWindow");
    return M().desktop;
}

int WINAPI GetSystemMetrics(int index) {
    SIM_API("GetSystemMetrics");
    Machine& m = M();
    switch (index) {
    case SM_CXSCREEN: return m.width;
    case SM_CYSCREEN: return m.height;
    case SM_CXICON: return m.ScaleX(32);
    case SM_CYICON: return m.ScaleY(32);
    case SM_CXSMICON: return m.ScaleX(16);
    case SM_CYSMICON: return m.ScaleY(16);
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME: return m.ScaleX(kDialogFrame);
    case SM_CYDLGFRAME: return m.ScaleY(kDialogFrame);
    default: return 0;
    }
}
}  // extern "C"

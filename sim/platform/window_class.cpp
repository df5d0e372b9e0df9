// Window classes: registration, look-up by name and a window's class name.
#include <algorithm>

#include "core.h"
#include "window.h"

namespace sim {

bool SameNoCase(const sim::WString& a, const WCHAR* b) {
    size_t n = std::char_traits<WCHAR>::length(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (UpperCase(a[i]) != UpperCase(b[i])) return false;
    return true;
}

std::shared_ptr<WindowClass> FindClass(const WCHAR* name, DWORD pid) {
    std::shared_ptr<WindowClass> any;
    for (auto& c : M().classes) {
        if (!SameNoCase(c->name, name)) continue;
        if (c->pid == pid) return c;
        if (!any) any = c;
    }
    return any;
}

}  // namespace sim

using namespace sim;

extern "C" {

ATOM WINAPI RegisterClassW(const WNDCLASSW* wc) {
    SIM_API("RegisterClassW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!wc || !wc->lpszClassName || !*wc->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Machine& m = M();
    DWORD pid = CurrentPid();
    for (auto& c : m.classes) {
        if (c->pid == pid && SameNoCase(c->name, wc->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    auto c = std::make_shared<WindowClass>();
    c->name = wc->lpszClassName;
    c->style = wc->style;
    c->proc = wc->lpfnWndProc;
    c->instance = wc->hInstance;
    c->background = wc->hbrBackground;
    c->pid = pid;
    c->atom = m.next_atom++;
    m.classes.push_back(c);
    return c->atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR name, HINSTANCE) {
    SIM_API("UnregisterClassW");
    Machine& m = M();
    DWORD pid = CurrentPid();
    for (auto it = m.classes.begin(); it != m.classes.end(); ++it) {
        if ((*it)->pid == pid && name && SameNoCase((*it)->name, name)) {
            m.classes.erase(it);
            return TRUE;
        }
    }
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
}

int WINAPI GetClassNameW(HWND hwnd, LPWSTR buffer, int size) {
    SIM_API("GetClassNameW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    Window* w = CheckWindow(hwnd);
    if (!w || !buffer || size <= 0) return 0;
    int n = std::min<int>(static_cast<int>(w->cls->name.size()), size - 1);
    std::copy_n(w->cls->name.data(), n, buffer);
    buffer[n] = 0;
    return n;
}
}  // extern "C"

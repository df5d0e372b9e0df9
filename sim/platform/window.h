// What the platform's window files share among themselves (window.cpp,
// window_class.cpp, activation.cpp, window_paint.cpp); core.h declares what
// the rest of the platform uses.
#pragma once

#include "core.h"

namespace sim {

// Window classes
bool SameNoCase(const sim::WString& a, const WCHAR* b);
// The caller's own class of that name, else any process's.
std::shared_ptr<WindowClass> FindClass(const WCHAR* name, DWORD pid);

// Z-order: a window's siblings, front first (the top-level list for a top-level window)
std::vector<HWND>& SiblingsOf(Window* w);
void Unlink(Window* w);
bool IsTopmost(HWND h);

// Top-level windows the platform logs by name: the applications' and the shell's.
inline bool Logged(const Window* w) { return !w->parent && !w->system && !w->name.empty(); }

// The WINDOWPOS flags SetWindowPos adds for WM_WINDOWPOSCHANGED when the
// client area kept its size or its place: the default procedure then sends
// no WM_SIZE or no WM_MOVE.
constexpr UINT kNoClientSize = 0x0800;
constexpr UINT kNoClientMove = 0x1000;

// A dialog frame's width on each side, in 96 dpi units.
constexpr int kDialogFrame = 3;

// The window and all its children wait for WM_PAINT.
void InvalidateTree(Window* w);

}  // namespace sim

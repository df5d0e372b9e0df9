// The records that the platform, the stand-in shell and the driver share:
// how a device and its simulated applications are configured, and what the
// driver reads back about windows, messages, menus and a process's objects.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sim/utf8.h>

namespace sim {

struct DeviceConfig {
    int width = 240;
    int height = 320;
    int dpi = 96;    // horizontal resolution, dots per inch
    int dpi_y = 0;   // vertical resolution; 0: the same as dpi
    int taskbar_height = -1;  // -1: ScaleY(26)
    bool taskbar = true;      // false: boot without the shell's taskbar
    bool desktop = true;      // false: boot without the shell's desktop window
};

// What a simulated application does with the messages that close it.
enum class OnClose { Destroy, Ignore, Hang };
enum class OnOk { Destroy, Ignore, Hang };

struct AppConfig {
    std::string name{};         // name in the event log
    sim::WString exe{};           // file name; default NAME.exe; in \Windows\ unless a path is given
    sim::WString class_name{};  // default NAME
    std::optional<sim::WString> title{};  // default NAME
    DWORD style = WS_VISIBLE;
    DWORD exstyle = 0;
    std::string owner{};        // name of an application window that owns this one
    bool hidden = false;        // created without WS_VISIBLE
    OnClose on_close = OnClose::Destroy;
    OnOk on_ok = OnOk::Destroy;
    RECT rect{0, 0, 0, 0};      // empty: below the taskbar, the rest of the screen
};

struct ReceivedMessage {
    uint64_t time = 0;
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    DWORD from_pid = 0;  // the process whose thread sent or posted it (0: the platform)
    bool sent = false;   // sent (the sender waited) rather than posted
};

struct WindowInfo {
    HWND hwnd = nullptr;
    std::string name;
    sim::WString class_name;
    sim::WString title;
    RECT rect{};
    HWND parent = nullptr;
    HWND owner = nullptr;
    bool visible = false;
    DWORD pid = 0;
    DWORD style = 0;
    DWORD exstyle = 0;
    WNDPROC proc = nullptr;   // the window procedure messages go to now
    bool needs_paint = false; // some of the window is invalid and waits for WM_PAINT
};

struct Counts {
    long gdi = 0;        // pens, brushes, fonts, device contexts
    long icons = 0;
    long menus = 0;
    long handles = 0;    // kernel handles: mutexes, processes, threads
    long snapshots = 0;
    long keys = 0;       // open registry keys
    long windows = 0;
    long heap = 0;       // live heap blocks taken by the program's own code
    bool operator==(const Counts&) const = default;
};

// The popup menu that a program is tracking, as it stands on the screen.
struct MenuItemView {
    int position = 0;
    UINT id = 0;
    bool owner_drawn = false;
    bool separator = false;
    bool grayed = false;
    bool in_view = true;  // wholly between the scroll arrows: drawn, and can be tapped
    sim::WString text;
    RECT rect{};  // screen coordinates, where the items are scrolled to now
};
struct MenuView {
    HWND window = nullptr;
    RECT rect{};  // screen coordinates
    std::vector<MenuItemView> items;
    // A popup taller than the screen scrolls: arrow areas across its top and
    // bottom (screen coordinates), gray when it cannot scroll further.
    bool scrolls = false;
    RECT up{}, down{};
    bool can_scroll_up = false, can_scroll_down = false;
    int first = 0;  // the position of the item at the top of the view
};

}  // namespace sim

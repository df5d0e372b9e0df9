// The driver of a simulated Pocket PC: boots a device with its stand-in
// shell, launches simulated applications, starts program images on their own
// GUI threads, moves the pen and the clock, and reads back the screen, the
// windows, the messages and every process's handle counts.
//
// Every call returns when the device is idle again: each GUI thread waits
// for a message and none is due. Nothing depends on real time.
#pragma once

#include <windows.h>
#include <sim/host_api.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct Machine;
struct Surface;

struct DeviceConfig {
    int width = 240;
    int height = 320;
    int dpi = 96;
    int taskbar_height = -1;  // -1: ScaleY(26)
    bool taskbar = true;      // false: boot without the shell's taskbar
    bool desktop = true;      // false: boot without the shell's desktop window
};

// What a simulated application does with the messages that close it.
enum class OnClose { Destroy, Ignore, Hang };
enum class OnOk { Destroy, Ignore, Hang };

struct AppConfig {
    std::string name{};         // name in the event log
    std::wstring exe{};           // file name; default NAME.exe; in \Windows\ unless a path is given
    std::wstring class_name{};  // default NAME
    std::optional<std::wstring> title{};  // default NAME
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
    std::wstring class_name;
    std::wstring title;
    RECT rect{};
    HWND parent = nullptr;
    HWND owner = nullptr;
    bool visible = false;
    DWORD pid = 0;
    DWORD style = 0;
    DWORD exstyle = 0;
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
    std::wstring text;
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

// A program that runs real code on the device.
struct ProgramImage {
    std::wstring exe_path = L"\\Windows\\vesk.exe";
    std::vector<uint8_t> resources;                 // compiled resource file
    std::function<int(HINSTANCE)> entry;            // the program's WinMain
    std::function<void()> reset;                    // gives the program fresh globals
    // The program's heap is its own, as on the device: what it still holds
    // when its process ends (or is ended) is taken back by the platform.
    // Programs whose code shares objects with a test leave this off.
    bool private_heap = false;
};

class Device {
public:
    explicit Device(const DeviceConfig& config = {});
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const DeviceConfig& config() const { return config_; }
    int ScaleX(int n) const;
    int ScaleY(int n) const;

    // The stand-in shell
    HWND taskbar() const;
    HWND desktop() const;
    DWORD shell_pid() const;
    void Notify();  // the shell sends message 1024 to the taskbar

    // Simulated applications
    HWND Launch(const AppConfig& app);
    HWND Find(const std::string& name) const;  // an application window by name, "Desktop" too
    void Activate(HWND hwnd);                  // the shell brings it to the front
    void Release(HWND hwnd);                   // a hung application answers
    void Destroy(HWND hwnd);                   // the application destroys its window
    void SetTitle(HWND hwnd, const std::wstring& title);
    const std::vector<ReceivedMessage>& Received(HWND hwnd) const;
    void ClearReceived(HWND hwnd);
    bool IsHung() const;  // some program thread waits for a hung application
    std::optional<MenuView> OpenMenu() const;  // the popup being tracked, if any
    // Taps the popup's scroll arrows, as a user would, until the item at the
    // position is in view; false if no popup is open, there is no such item,
    // or the arrows cannot bring it whole into view.
    bool ShowMenuItem(int position);

    // Program images
    DWORD Start(const ProgramImage& image);  // returns the new process id
    bool Running(DWORD pid) const;
    std::optional<int> ExitCode(DWORD pid) const;
    // WM_CLOSE to the program's window of the given class; runs until idle.
    void Close(DWORD pid, const std::wstring& class_name);

    // Pen and clock
    void PenDown(int x, int y);
    void PenMove(int x, int y);
    void PenUp(int x, int y);
    void Tap(int x, int y);
    void Wait(uint64_t ms);
    uint64_t Now() const;
    void RunUntilIdle();

    // Reading back
    std::vector<WindowInfo> Windows() const;  // every window, top-level front first, children after their parent
    HWND Foreground() const;
    HWND Capture() const;
    std::string NameOf(HWND hwnd) const;
    Counts CountsOf(DWORD pid) const;
    Counts Reclaimed(DWORD pid) const;  // what the process left behind when it ended
    const Surface& Screen();            // composed now
    bool Screenshot(const std::string& path, std::string* error = nullptr);
    COLORREF PixelAt(int x, int y);

    // Registry of the device
    void SetDword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD value);
    void SetBinary(HKEY root, const std::wstring& key, const std::wstring& name, const std::vector<uint8_t>& data);
    void DeleteValue(HKEY root, const std::wstring& key, const std::wstring& name);
    void DeleteKey(HKEY root, const std::wstring& key);  // with its values and subkeys
    bool KeyExists(HKEY root, const std::wstring& key) const;
    bool ValueExists(HKEY root, const std::wstring& key, const std::wstring& name) const;

    // The simulated file system: icons of executables and shortcut files
    void AddFileIcon(const std::wstring& path, const std::vector<uint8_t>& ico_file);

    // Faults: the nth next call of a platform function by a program fails
    void FailCall(const std::string& api, int nth = 1, int count = 1);
    void FailAllocation(long nth, long count = 1);
    void ClearFaults();
    const std::map<std::string, long>& CallCounts() const;

    // Event log: one line an event, the virtual time in milliseconds first
    const std::vector<std::string>& Log() const;
    void OnLog(std::function<void(const std::string&)> sink);
    void LogDump();  // every window and each process's handle counts

    Machine& machine() { return *machine_; }

private:
    DeviceConfig config_;
    std::unique_ptr<Machine> machine_;
    std::vector<std::shared_ptr<void>> images_;
    std::unique_ptr<Surface> screen_;
};

}  // namespace sim

// The driver of a simulated Pocket PC: boots a device with its stand-in
// shell, launches simulated applications, starts program images on their own
// GUI threads, moves the pen and the clock, and reads back the screen, the
// windows, the messages and every process's handle counts.
//
// Every call returns when the device is idle again: each GUI thread waits
// for a message and none is due. Nothing depends on real time.
#pragma once

#include <sim/records.h>
#include <sim/surface.h>
#include <sim/utf8.h>
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

// A program that runs real code on the device.
struct ProgramImage {
    sim::WString exe_path = TEXT("\\Windows\\vesk.exe");
    std::vector<uint8_t> resources;                 // compiled resource file
    std::function<int(HINSTANCE)> entry;            // the program's WinMain
    std::function<void()> reset;                    // gives the program fresh globals
    // The program's heap is its own, as on the device: what it still holds
    // when its process ends (or is ended) is taken back by the platform.
    // Programs whose code shares objects with a test leave this off.
    bool private_heap = false;
    // Code loaded from a Windows CE executable (sim/loader.h): nothing is
    // thrown through its frames, and its thread is ended by a jump.
    bool loaded = false;
    // The module handle of every instance: the image's base address.
    uintptr_t instance = 0x00010000u;
    // A loaded executable's writable sections (address, bytes): every
    // process of it gets its own copy, from `reset` when it starts.
    std::vector<std::pair<uintptr_t, size_t>> data;
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

    // The screen turns (width and height swap) or takes any new size, the
    // dpi unchanged; config() follows. The shell lays the taskbar and the
    // desktop out again, full-screen applications are resized (WM_SIZE),
    // every top-level window gets WM_SETTINGCHANGE, and a popup menu being
    // tracked is dismissed. Logged as "display W H".
    void Rotate();
    void SetDisplay(int width, int height);

    // Simulated applications
    HWND Launch(const AppConfig& app);
    HWND Find(const std::string& name) const;  // an application window by name, "Desktop" too
    void Activate(HWND hwnd);                  // the shell brings it to the front
    void Release(HWND hwnd);                   // a hung application answers
    void Destroy(HWND hwnd);                   // the application destroys its window
    void SetTitle(HWND hwnd, const sim::WString& title);
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
    void Close(DWORD pid, const sim::WString& class_name);

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
    std::optional<WindowInfo> Info(HWND hwnd) const;  // nothing once the window is gone
    Surface Pixels(HWND hwnd) const;                  // the window's own pixels, in client coordinates
    std::vector<HWND> Hung() const;  // windows of hung applications that keep a sender waiting
    HWND Foreground() const;
    HWND Capture() const;
    std::string NameOf(HWND hwnd) const;
    Counts CountsOf(DWORD pid) const;
    int ThreadPriority(DWORD pid) const;  // of the process's first thread; THREAD_PRIORITY_ERROR_RETURN if none
    Counts Reclaimed(DWORD pid) const;  // what the process left behind when it ended
    long Allocations(DWORD pid) const;  // heap blocks the process's own code ever asked for
    const Surface& Screen();            // composed now
    bool Screenshot(const std::string& path, std::string* error = nullptr);
    COLORREF PixelAt(int x, int y);

    // Registry of the device
    void SetDword(HKEY root, const sim::WString& key, const sim::WString& name, DWORD value);
    void SetBinary(HKEY root, const sim::WString& key, const sim::WString& name, const std::vector<uint8_t>& data);
    void DeleteValue(HKEY root, const sim::WString& key, const sim::WString& name);
    void DeleteKey(HKEY root, const sim::WString& key);  // with its values and subkeys
    bool KeyExists(HKEY root, const sim::WString& key) const;
    bool ValueExists(HKEY root, const sim::WString& key, const sim::WString& name) const;

    // The simulated file system: icons of executables and shortcut files
    void AddFileIcon(const sim::WString& path, const std::vector<uint8_t>& ico_file);
    // and files at device paths (their case does not matter), kept across a
    // soft reset as the device's object store keeps them.
    void StoreFile(const sim::WString& path, const std::vector<uint8_t>& data);
    std::optional<std::vector<uint8_t>> StoredFile(const sim::WString& path) const;
    std::vector<sim::WString> StoredFiles() const;  // every file's path

    // The device's installer, as when a Windows CE installation cabinet is
    // tapped: it reads and checks the whole cabinet, then stores its files,
    // writes its shortcuts and registry entries, and logs each ("installed
    // PATH", "shortcut PATH -> TARGET", "registry KEY \"NAME\""). A cabinet it
    // cannot use (cut short, a wrong control file, a member missing, for
    // another processor or Windows CE release) changes nothing: false, and
    // *error says what is wrong.
    bool Install(const std::vector<uint8_t>& cabinet, std::string* error = nullptr);

    // A soft reset: every program, simulated application and the shell end;
    // the shell starts again (a new taskbar and desktop), then starts each
    // file of \Windows\StartUp, a shortcut's target for a shortcut. What a
    // device path runs is `image_for`'s to say; one it has no image for is
    // logged and not started. The clock, the registry and the files go on.
    // Logged as "reset" and "startup FILE -> TARGET" (with image_for's
    // reason when it has no image). Returns the processes it started.
    using ImageFor = std::function<std::optional<ProgramImage>(const sim::WString& path,
                                                               const std::vector<uint8_t>& file, std::string* why)>;
    std::vector<DWORD> Reset(const ImageFor& image_for);

    // Faults: the nth next call of a platform function by a program fails
    void FailCall(const std::string& api, int nth = 1, int count = 1);
    void FailAllocation(long nth, long count = 1);
    void ClearFaults();
    const std::map<std::string, long>& CallCounts() const;  // calls that programs made, by name
    long FaultsMade() const;  // armed calls and allocations that did fail

    // Event log: one line an event, the virtual time in milliseconds first
    const std::vector<std::string>& Log() const;
    void OnLog(std::function<void(const std::string&)> sink);
    void LogDump();  // every window and each process's handle counts
    void Note(const std::string& text);  // a line of the driver's own, at the device's time

private:
    DeviceConfig config_;
    std::unique_ptr<Machine> machine_;
    std::vector<std::shared_ptr<void>> images_;
    std::unique_ptr<Surface> screen_;
};

// In program code that a test runs on the device: what is allocated while
// one of these lives is the test's own bookkeeping, not the program's heap.
class Bookkeeping {
public:
    Bookkeeping();
    ~Bookkeeping();
    Bookkeeping(const Bookkeeping&) = delete;
    Bookkeeping& operator=(const Bookkeeping&) = delete;
};

}  // namespace sim

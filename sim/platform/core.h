// The simulated device's kernel: handles, processes, threads, windows, the
// scheduler that hands the device from the driver to the GUI threads of the
// programs that run on it, the virtual clock, fault injection and the event
// log. Every platform call of sim/include is implemented over this state.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <csetjmp>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <sim/records.h>
#include <sim/surface.h>
#include <sim/utf8.h>

namespace sim {

struct Process;
struct Thread;
struct Window;

// ---------------------------------------------------------------------------
// Handles

enum class Kind : uint8_t {
    Window,
    Menu,
    Pen,
    Brush,
    Font,
    DC,
    Icon,
    Mutex,
    Semaphore,
    ProcessHandle,
    ThreadHandle,
    Snapshot,
    RegKey,
};

// Everything a handle stands for. The owner is the process whose thread made
// the object; per-process counts are taken over these owners.
struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    Kind kind;
    DWORD owner_pid = 0;
    uintptr_t handle = 0;
};

// Handles are opaque, aligned to 4 and never reused within a device's life,
// so a stale handle always fails instead of reaching a newer object.
class Handles {
public:
    uintptr_t Insert(std::unique_ptr<Object> object);
    Object* Find(uintptr_t handle) const;
    template <class T>
    T* Get(uintptr_t handle) const {
        Object* o = Find(handle);
        return o && o->kind == T::kKind ? static_cast<T*>(o) : nullptr;
    }
    template <class T>
    T* Get(const void* handle) const { return Get<T>(reinterpret_cast<uintptr_t>(handle)); }
    std::unique_ptr<Object> Erase(uintptr_t handle);
    size_t Count(DWORD pid, Kind kind) const;
    std::vector<Object*> OfOwner(DWORD pid) const;

private:
    std::map<uintptr_t, std::unique_ptr<Object>> objects_;
    uintptr_t next_ = 0x100000;  // program instances live below
};

template <class H>
H ToHandle(uintptr_t v) { return reinterpret_cast<H>(v); }
inline uintptr_t FromHandle(const void* h) { return reinterpret_cast<uintptr_t>(h); }

// ---------------------------------------------------------------------------
// Processes and threads

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    UINT period = 0;
    uint64_t due = 0;
    TIMERPROC proc = nullptr;
};

// A program image that runs real code on the device (vesk). Each start
// gives a new process with a GUI thread of its own.
struct Image {
    sim::WString exe_path;  // "\\Windows\\vesk.exe"
    HINSTANCE instance = nullptr;
    std::vector<uint8_t> resources;  // the compiled resource file
    std::function<int(HINSTANCE)> entry;
    std::function<void()> reset;  // fresh globals, as a new process would have them
    bool private_heap = false;    // the process's blocks are taken back when it ends
    // Code loaded from a Windows CE executable: its frames carry no unwind
    // tables for this host, so nothing is thrown through them, and its
    // thread is ended by a jump back to where it was started.
    bool loaded = false;
    // A loaded executable's writable sections: every process of it has a
    // copy of its own, swapped into them while its code runs, as the device
    // gives each process its own slot (see Resident in machine.cpp).
    std::vector<std::pair<uintptr_t, size_t>> data;
};

struct Process {
    DWORD pid = 0;
    sim::WString exe_path;  // full path on the device
    sim::WString exe_name;  // file name only, as tool-help reports it
    std::string name;       // name in the event log
    HINSTANCE instance = nullptr;
    const Image* image = nullptr;  // set for processes that run real code
    bool alive = true;
    int exit_code = 0;
    long heap_blocks = 0;  // live blocks taken by the image's own code
    // A loaded executable's C runtime takes blocks before the program's own
    // code runs (its argument vector) and keeps them for the life of the
    // process: those still live when its thread first waits for a message
    // are not counted as the program's (-1: not yet known).
    long runtime_blocks = -1;
    std::vector<uint8_t> data_copy;  // its image's data while another process's is in place
    long heap_allocations = 0;
    void* heap_list = nullptr;  // the live blocks of a private heap (see heap.cpp)
    std::vector<Thread*> threads;
    Counts reclaimed;  // what was left behind when the process ended
};

struct Thread {
    enum class State { NotStarted, Running, WaitMessage, WaitRelease, Released, Exited };

    DWORD tid = 0;
    Process* process = nullptr;
    bool real = false;  // runs on an OS thread of its own (a program image's GUI thread)
    State state = State::NotStarted;

    struct Queued {
        MSG msg;
        DWORD from_pid;
    };
    std::deque<Queued> posted;
    // The range of messages the thread's GetMessageW or PeekMessageW takes:
    // 0 and 0 take every one, a first past the last none.
    UINT filter_first = 0, filter_last = 0;
    DWORD last_from = 0;  // sender of the message retrieved last
    bool quit = false;
    int quit_code = 0;
    DWORD last_pos = 0;
    LONG last_time = 0;
    DWORD last_error = 0;
    int priority = THREAD_PRIORITY_NORMAL;
    std::vector<Timer> timers;
    bool hung = false;           // a simulated application stuck in a message
    HWND hung_window = nullptr;  // the window whose handling keeps this OS thread waiting
    int menu_depth = 0;          // inside TrackPopupMenuEx
    bool killed = false;         // the device is going away: unwind the thread's code
    std::jmp_buf end_jump{};     // a loaded executable's thread ends here (EndThread)
    int end_code = 0;
    std::vector<uintptr_t> tls_slots;  // TlsGetValue and TlsSetValue
    std::thread os;
};

// The simulated thread whose code runs on this OS thread right now.
Thread* CurrentThread();
// The program thread whose OS thread this is (nullptr on the driver's).
Thread* CurrentOsThread();
Process* CurrentProcess();
DWORD CurrentPid();

namespace detail {
Thread*& TlsThread();
}

// Runs fn as code of thread t (the platform calling into a program: window
// procedures, enumeration callbacks), restoring the caller's context after.
template <class F>
auto RunAs(Thread* t, F&& fn) -> decltype(fn()) {
    Thread*& current = detail::TlsThread();
    struct Restore {
        Thread*& slot;
        Thread* saved;
        ~Restore() { slot = saved; }
    } restore{current, current};
    current = t;
    return fn();
}

// Every platform entry point opens one of these: it marks the code that runs
// as the platform's (allocations are not the program's), and counts the call
// for fault injection when a program calls it directly.
class ApiScope {
public:
    explicit ApiScope(const char* name);
    ~ApiScope();
    ApiScope(const ApiScope&) = delete;
    ApiScope& operator=(const ApiScope&) = delete;
    // True when this call is armed to fail (see Faults).
    bool Fail() const { return fail_; }

private:
    bool fail_ = false;
};
#define SIM_API(name) ::sim::ApiScope sim_api_scope_(name)
#define SIM_FAIL() (sim_api_scope_.Fail())

// Marks code of the platform that runs on a program's thread outside any
// platform call (the start and the end of the thread).
class PlatformScope {
public:
    PlatformScope();
    ~PlatformScope();
    PlatformScope(const PlatformScope&) = delete;
    PlatformScope& operator=(const PlatformScope&) = delete;
};

// Calls out of the platform into program code (window procedures, callbacks)
// go through this, so that the program's own allocations are counted as its.
class CalloutScope {
public:
    CalloutScope();
    ~CalloutScope();
    CalloutScope(const CalloutScope&) = delete;
    CalloutScope& operator=(const CalloutScope&) = delete;

private:
    int saved_;
};

// ---------------------------------------------------------------------------
// Windows

struct WindowClass {
    sim::WString name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HBRUSH background = nullptr;
    DWORD pid = 0;
    ATOM atom = 0;
};

struct Window : Object {
    static constexpr Kind kKind = Kind::Window;
    Window() : Object(Kind::Window) {}

    HWND hwnd() const { return ToHandle<HWND>(handle); }

    std::shared_ptr<WindowClass> cls;
    sim::WString title;
    DWORD style = 0;
    DWORD exstyle = 0;
    HWND parent = nullptr;  // the parent of a child window
    HWND owner = nullptr;   // the owner of a top-level window
    Thread* thread = nullptr;
    WNDPROC proc = nullptr;
    WNDPROC class_proc = nullptr;  // the procedure the window was created with
    RECT rect{};                   // window rectangle, screen coordinates
    std::vector<HWND> children;    // front first
    bool has_update = false;
    RECT update{};                 // client coordinates, bounding box of the invalid area
    bool erase = false;
    Surface surface;               // the window's own pixels (client area = window area)
    LONG_PTR userdata = 0;
    LONG_PTR id = 0;
    bool enabled = true;
    bool destroying = false;
    bool system = false;           // made by the platform itself (menus)
    DWORD proc_owner = 0;          // another process that replaced the window procedure
    bool record = false;           // a simulated application: every message it receives is kept
    std::string name;              // name in the event log
};

Window* WinOf(HWND hwnd);
Window* WinOf(uintptr_t h);
// The window, or null with ERROR_INVALID_WINDOW_HANDLE as the thread's last error.
Window* CheckWindow(HWND hwnd);

// ---------------------------------------------------------------------------
// Faults

// Tests arm platform calls to fail. Only calls that a program image makes
// directly count; the platform's own inner calls never fail by injection.
class Faults {
public:
    // The nth next call (1 = the very next) of `api` fails, and the `count`
    // calls after it too (-1: every call from then on).
    void Arm(const std::string& api, int nth = 1, int count = 1);
    void Disarm(const std::string& api);
    void Clear();
    // The nth allocation by the image's own code from now on returns null
    // (nothrow new) or throws std::bad_alloc (plain new).
    void ArmAllocation(long nth, long count = 1);

    // Calls that programs made, by name, since the device booted.
    const std::map<std::string, long>& Calls() const { return calls_; }
    long Failed() const { return failed_; }

    bool OnCall(const std::string& api);
    bool OnAllocation();

private:
    struct Rule {
        int countdown = 0;
        int remaining = 0;
    };
    std::map<std::string, Rule> rules_;
    std::map<std::string, long> calls_;
    long alloc_countdown_ = 0;
    long alloc_remaining_ = 0;
    long failed_ = 0;
};

// ---------------------------------------------------------------------------
// The machine

// The scheduler's baton: exactly one of the driver and the programs' GUI
// threads runs at any time, so the device is deterministic and its state
// needs no locks.
class Baton {
public:
    void Run(Thread* t);          // driver: let t run until it waits again
    void Park(Thread* self);      // program thread: wait until the driver resumes it
    void WaitTurn(Thread* self);  // program thread: first wait, before its code starts
    void Finish();                // program thread: its code has ended

private:
    std::mutex mu_;
    std::condition_variable cv_;
    Thread* holder_ = nullptr;
};

struct Machine {
    Machine();
    ~Machine();

    // Configuration
    int width = 240;
    int height = 320;
    int dpi_x = 96;  // LOGPIXELSX
    int dpi_y = 96;  // LOGPIXELSY
    int taskbar_height = 26;

    Handles handles;
    std::map<DWORD, std::unique_ptr<Process>> processes;
    std::map<DWORD, std::unique_ptr<Thread>> threads;
    DWORD next_pid = 0x100;
    DWORD next_tid = 0x1000;
    UINT_PTR next_timer_id = 0x7F00;  // timers without a window
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM next_atom = 0xC000;

    std::vector<HWND> zorder;  // top-level windows, front first
    HWND foreground = nullptr;
    HWND capture = nullptr;
    HWND focus = nullptr;
    HWND taskbar = nullptr;
    HWND desktop = nullptr;
    Process* shell = nullptr;

    uint64_t now = 0;
    POINT pen{0, 0};
    bool pen_down = false;

    Baton baton;
    Faults faults;

    // What each simulated application's window received, kept after it is gone.
    std::map<HWND, std::vector<ReceivedMessage>> received;

    std::vector<std::string> log;
    std::function<void(const std::string&)> log_sink;
    // Names of the processes whose messages to other processes' windows are logged.
    bool log_messages = true;

    // The screen device context draws here: it is not composed onto the screen.
    Surface screen_scratch;

    // Services implemented in their own files keep their state here.
    std::shared_ptr<void> registry;
    std::shared_ptr<void> gdi;
    std::shared_ptr<void> files;
    std::shared_ptr<void> kernel;
    std::shared_ptr<void> console;
    std::shared_ptr<void> apps;

    long dispatch_budget = 2000000;  // a device that never goes idle is a fault

    int ScaleX(int n) const { return (n * dpi_x + 48) / 96; }
    int ScaleY(int n) const { return (n * dpi_y + 48) / 96; }
};

Machine& M();
Machine* MaybeM();
void SetCurrentMachine(Machine* m);

// Event log: "T text", T the virtual time in milliseconds.
void Log(const std::string& text);
std::string NameOf(HWND hwnd);

// ---------------------------------------------------------------------------
// Processes, threads and scheduling (machine.cpp)

Process* NewProcess(const sim::WString& exe_path, const std::string& name);
Thread* NewThread(Process* p, bool real);
Process* FindProcess(DWORD pid);
// Starts an image's GUI thread; returns its process. Runs until the device is idle.
Process* StartImage(const Image& image);
// Ends a process whose code has returned: its windows go, its objects are
// reclaimed; "exit CODE" is logged unless `log` is false.
void EndProcess(Process* p, int code, bool log = true);
// Removes the hidden popups of ended menus still waiting for a pen-up (menu_track.cpp).
void DropLeftovers();
// The popup menu being tracked, as it stands on the screen (menu_track.cpp).
std::optional<MenuView> TrackedMenu();
// Frees what a process with a private heap still holds (heap.cpp).
void ReclaimHeap(Process* p);
// The C runtime's heap as a program's code calls it (malloc, realloc,
// free): blocks of the calling process, counted and made to fail as its
// allocations by new are (heap.cpp).
void* ProgramAlloc(size_t n);
void* ProgramRealloc(void* block, size_t n);
void ProgramFree(void* block);
Counts CountObjects(DWORD pid);
// Thrown inside a program's thread when the device is switched off under it.
struct ThreadKilled {};
// Ends the calling program thread with its process's exit code, without
// returning: by ThreadKilled for code built into the simulator, by a jump
// past every frame for a loaded executable's.
[[noreturn]] void EndThread(Thread* self, int code);
// A program handed the platform a null pointer where the platform reads a
// record of it: on the device the read faults and the system ends the
// program's process. The fault is logged and the process of the calling
// code ends; on its own thread the call does not return.
void ProgramFault(const std::string& what);
// A program gave back (deleted, destroyed, closed) a value that is no live
// object of the kind the call frees: null, never made, or already freed. The
// device only fails the call, but the value may by then stand for another
// object; the line is logged for tests to look for.
void InvalidFree(const char* call, uintptr_t handle);
// Puts the data of p's loaded executable in place, before its code runs
// (nothing for a program built into the simulator); ResidentFor does so
// for one call and puts back the data that was in place.
void MakeResident(Process* p);
class ResidentFor {
public:
    explicit ResidentFor(Process* p);
    ~ResidentFor();
    ResidentFor(const ResidentFor&) = delete;
    ResidentFor& operator=(const ResidentFor&) = delete;

private:
    Process* previous_ = nullptr;
};
// Ends another process, as TerminateProcess does: its thread stops where it
// waits; a simulated application's process ends at once.
void TerminateOther(Process* p, int code);
// Ends every program thread that still runs, so the device can go away.
void KillAll();
// A soft reset: every program ends (logged as its exit), and so do the shell
// and the simulated applications, their windows and classes with them. The
// clock, the registry, the file store and the log go on; the shell is to
// boot again.
void SoftReset();
// Lets every thread of the device run until none has anything to do.
void RunUntilIdle();
// Inside a program's GUI thread: give the device back to the driver until
// the thread has something to do again.
void WaitForWork(Thread* self);
// Inside a window procedure of a simulated application that never answers:
// the sender waits until the driver releases the window.
void HangUntilReleased(HWND hwnd);
void ReleaseHung(HWND hwnd);
// Advances the virtual clock by ms, firing timers as they fall due.
void Advance(uint64_t ms);

// ---------------------------------------------------------------------------
// Windows (window.cpp)

LRESULT CallProc(Window* w, WNDPROC proc, UINT msg, WPARAM wp, LPARAM lp);
LRESULT SendTo(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
bool PostTo(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// Messages that a program sends or posts to another process's window are logged and recorded.
void NoteMessage(Window* to, UINT msg, WPARAM wp, LPARAM lp, bool sent);
void DestroyTree(HWND hwnd, bool send_messages);
void SetForeground(HWND hwnd);
void ActivateNext();
HWND TopLevelOf(HWND hwnd);
HWND WindowAt(POINT screen);
bool IsShown(const Window* w);  // visible, and every parent visible
void Invalidate(Window* w, const RECT* rc, bool erase);
// The non-client frame: a dialog frame (WS_EX_DLGMODALFRAME) of
// SM_CXDLGFRAME by SM_CYDLGFRAME, or else a border (WS_BORDER) of one pixel,
// on each side; the client area is the window less its frame.
SIZE FrameOf(const Window* w);
POINT ClientOrigin(const Window* w);  // on the screen
SIZE ClientSize(const Window* w);
void MoveToBottom(HWND hwnd);
void BringToTop(HWND hwnd);

// ---------------------------------------------------------------------------
// Messages (message.cpp)

std::optional<MSG> Retrieve(Thread* t, bool remove);
bool HasWork(Thread* t);
LRESULT Dispatch(const MSG& msg);
uint64_t NextTimerDue();  // UINT64_MAX when none
void RemoveTimers(HWND hwnd);

// ---------------------------------------------------------------------------
// Input (input.cpp)

void PenDown(int x, int y);
void PenMove(int x, int y);
void PenUp(int x, int y);

// ---------------------------------------------------------------------------
// Composition (compose.cpp)

Surface Compose();

}  // namespace sim


// The script player on desktop Windows.
//
// Where the event log's lines come from:
// - what vesk asks of other processes' windows (messages it sends or posts)
//   and what its task menu returns: vesk's calls of SendMessageW,
//   PostMessageW and TrackPopupMenuEx, which this program imports, go
//   through the player first and are logged from vesk's thread as they are
//   made, as the simulator logs them;
// - what the platform does to windows (foreground, hidden, shown,
//   minimized, destroyed), the popup menu on the screen, the hook on the
//   taskbar and vesk's end: watched by the player's thread every few
//   milliseconds while it waits.
#include "player.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "host.h"
#include "script.h"
#include "text_util.h"

namespace host {

namespace {

// ---------------------------------------------------------------------------
// The event log: one line an event, the milliseconds since the play began first

// The log and the names, shared with vesk's thread. (The compiler's thread
// model here has no std::mutex: the platform's critical section.)
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
} g_lock;
struct Hold {
    explicit Hold(Lock& lock) : lock_(lock) { EnterCriticalSection(&lock_.section); }
    ~Hold() { LeaveCriticalSection(&lock_.section); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    Lock& lock_;
};
std::vector<std::string> g_log;
DWORD g_start = 0;
std::vector<std::pair<HWND, std::string>> g_names;  // windows that scripts name, in creation order

void Log(const std::string& text) {
    Hold hold(g_lock);
    g_log.push_back(std::to_string(GetTickCount() - g_start) + " " + text);
}

size_t LogSize() {
    Hold hold(g_lock);
    return g_log.size();
}

std::vector<std::string> LogCopy() {
    Hold hold(g_lock);
    return g_log;
}

std::string ClassOf(HWND hwnd) {
    wchar_t name[256] = L"";
    GetClassNameW(hwnd, name, 256);
    return sim::Narrow(name);
}

// As the simulator names windows: a script's name, else the class; "none".
std::string NameOf(HWND hwnd) {
    if (!hwnd) return "none";
    {
        Hold hold(g_lock);
        for (const auto& [h, name] : g_names)
            if (h == hwnd) return name;
    }
    return IsWindow(hwnd) ? ClassOf(hwnd) : "destroyed";
}

HWND Named(const std::string& name) {
    Hold hold(g_lock);
    for (auto it = g_names.rbegin(); it != g_names.rend(); ++it)
        if (it->second == name && IsWindow(it->first)) return it->first;
    return nullptr;
}

std::string ParamText(unsigned long long v) {
    if (v) {
        Hold hold(g_lock);
        for (const auto& [h, name] : g_names)
            if (reinterpret_cast<uintptr_t>(h) == v) return name;
    }
    return std::to_string(v);
}

std::string MessageName(UINT message) {
    switch (message) {
    case WM_CLOSE: return "WM_CLOSE";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_USER + 113: return "PSM_PRESSBUTTON";
    default: return std::to_string(message);
    }
}

std::string RectText(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// ---------------------------------------------------------------------------
// vesk's calls, seen as it makes them

using SendMessageFn = LRESULT(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using PostMessageFn = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
using TrackFn = BOOL(WINAPI*)(HMENU, UINT, int, int, HWND, LPTPMPARAMS);
SendMessageFn g_send = nullptr;
PostMessageFn g_post = nullptr;
TrackFn g_track = nullptr;

// A message from vesk to a window of another process.
void NoteMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (GetCurrentThreadId() != VeskThreadId()) return;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == 0 || pid == GetCurrentProcessId()) return;
    Log("msg " + NameOf(hwnd) + " " + MessageName(message) + " " + ParamText(wParam) + " " +
        ParamText(static_cast<unsigned long long>(lParam)));
}

LRESULT WINAPI SendMessageSeen(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    NoteMessage(hwnd, message, wParam, lParam);
    return g_send(hwnd, message, wParam, lParam);
}

BOOL WINAPI PostMessageSeen(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    NoteMessage(hwnd, message, wParam, lParam);
    return g_post(hwnd, message, wParam, lParam);
}

BOOL WINAPI TrackPopupMenuExSeen(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params) {
    BOOL result = g_track(menu, flags, x, y, owner, params);
    if (GetCurrentThreadId() == VeskThreadId()) Log("menu closed result=" + std::to_string(UINT(result)));
    return result;
}

// The slot of this program's import table through which its code calls the
// function; null if it does not import it.
void** ImportSlot(const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return nullptr;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (imp->OriginalFirstThunk ? imp->OriginalFirstThunk
                                                                                           : imp->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

template <class Fn>
bool Divert(const char* function, Fn replacement, Fn* original) {
    void** slot = ImportSlot("user32.dll", function);
    if (!slot) return false;
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &old)) return false;
    *original = reinterpret_cast<Fn>(*slot);
    *slot = reinterpret_cast<void*>(replacement);
    VirtualProtect(slot, sizeof(void*), old, &old);
    return true;
}

bool WatchVeskCalls() {
    static bool done = Divert("SendMessageW", &SendMessageSeen, &g_send) &&
                       Divert("PostMessageW", &PostMessageSeen, &g_post) &&
                       Divert("TrackPopupMenuEx", &TrackPopupMenuExSeen, &g_track);
    return done;
}

// ---------------------------------------------------------------------------
// The pen's moves

// The only pen moves that vesk's thread sees are those of the script's
// stroke (`move` commands): the mouse's moves to where its button goes down
// or up are the desktop's, not the device's (the conformance check
// Input.PenLiftedAwayFromItsLastPoint). A mouse hook on vesk's thread lets
// through the stroke's moves in order; the platform may merge moves that
// follow each other, so a move at a later point of the stroke stands for
// the ones before it.
//
// Wine also reports where the X pointer is, which its desktop does not move:
// a move to that point (clamped to the desktop) can take the place of a
// stroke's move still waiting in vesk's queue. The hook notes such a move,
// and the player gives the stroke's move again.
std::vector<POINT> g_stroke;  // the stroke's moves that vesk's thread has not seen yet
bool g_stroke_displaced = false;  // a move not of the stroke came while some were unseen
HHOOK g_mouse_hook = nullptr;
// Milliseconds, finer than GetTickCount's: a press's times may be a
// millisecond apart.
double PressClock() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// When vesk's thread took the pen going down and when it had done with it:
// the script's time of the down lasts as long as vesk handles it (on the
// simulator's clock that takes no time), and vesk's clock of the press
// starts there. A message that vesk's thread posts itself as it takes the
// pen comes back to it once it has done.
constexpr UINT kDownHandled = WM_APP + 0x3E0;
double g_down_taken = 0;
double g_down_handled = 0;
bool g_down_seen = false;
bool g_handled_seen = false;
HHOOK g_message_hook = nullptr;

LRESULT CALLBACK SeesDownHandled(int code, WPARAM wParam, LPARAM lParam) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd == nullptr && msg->message == kDownHandled) {
        msg->message = WM_NULL;
        Hold hold(g_lock);
        if (g_down_seen && !g_handled_seen) g_down_handled = PressClock();
        g_handled_seen = true;
    }
    return CallNextHookEx(g_message_hook, code, wParam, lParam);
}

LRESULT CALLBACK StrokeOnly(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && (wParam == WM_LBUTTONDOWN || wParam == WM_NCLBUTTONDOWN)) {
        Hold hold(g_lock);
        if (!g_down_seen) {
            g_down_taken = PressClock();
            PostThreadMessageW(GetCurrentThreadId(), kDownHandled, 0, 0);
        }
        g_down_seen = true;
    }
    if (code == HC_ACTION && wParam == WM_MOUSEMOVE) {
        const POINT at = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam)->pt;
        Hold hold(g_lock);
        auto it = std::find_if(g_stroke.begin(), g_stroke.end(),
                               [&](const POINT& p) { return p.x == at.x && p.y == at.y; });
        if (it == g_stroke.end()) {  // not a move of the stroke: vesk never sees it
            g_stroke_displaced = !g_stroke.empty();
            return 1;
        }
        g_stroke.erase(g_stroke.begin(), it + 1);
    }
    return CallNextHookEx(g_mouse_hook, code, wParam, lParam);
}

// The pen as the player gives it: moves of the stroke pass, the others not.
void GivePen(host::Pen what, int x, int y) {
    {
        Hold hold(g_lock);
        if (what == host::Pen::Move) g_stroke.push_back(POINT{x, y});
        else g_stroke.clear();
        g_stroke_displaced = false;
    }
    SendPen(what, x, y);
}

// ---------------------------------------------------------------------------
// What the platform does, watched

struct Seen {
    HWND hwnd = nullptr;
    bool exists = false;
    bool visible = false;
    bool iconic = false;
};

HWND OpenPopup() {
    for (HWND w = FindWindowW(L"#32768", nullptr); w; w = FindWindowExW(nullptr, w, L"#32768", nullptr))
        if (IsWindowVisible(w)) return w;
    return nullptr;
}

std::string Quoted(const std::wstring& text) {
    std::string out = "\"";
    for (char c : sim::Narrow(text)) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

class Watcher {
public:
    void Track(HWND hwnd) { windows_.push_back(Seen{hwnd, true, IsWindowVisible(hwnd) != FALSE, IsIconic(hwnd) != FALSE}); }

    // Logs what changed since the last look.
    void Look() {
        LookAtWindows();
        // As on the device, a change of the foreground is logged after the
        // window that left it is gone (the conformance check
        // Window.TheNextWindowComesToTheFrontOnceTheFrontOneIsGone), or after
        // a moment if it stays, hidden.
        HWND front = GetForegroundWindow();
        if (front != foreground_) {
            bool leaving = foreground_ && IsWindow(foreground_) && !IsWindowVisible(foreground_);
            if (!leaving || (changed_ && GetTickCount() - changed_ >= 150)) {
                LookAtWindows();  // the window that left may have gone meanwhile
                foreground_ = front;
                changed_ = 0;
                Log("foreground " + NameOf(front));
            } else if (!changed_) {
                changed_ = GetTickCount();
            }
        } else {
            changed_ = 0;
        }
        if (TaskBar()) {
            bool hooked = TaskBarHooked();
            if (hooked != hooked_) Log(hooked ? "hook installed" : "hook removed");
            hooked_ = hooked;
        }
        HWND popup = OpenPopup();
        if (popup && popup != popup_) LogMenu(popup);
        popup_ = popup;
        RECT r{};
        wide_popup_ = popup && GetWindowRect(popup, &r) && r.right - r.left > GetSystemMetrics(SM_CXSCREEN);
        tall_popup_ = popup && GetWindowRect(popup, &r) && r.bottom - r.top >= GetSystemMetrics(SM_CYSCREEN);
        int code = 0;
        if (!ended_ && VeskThreadId() && VeskEnded(&code)) {
            ended_ = true;
            Log("exit " + std::to_string(code));
        }
    }

    void Reset() { ended_ = false; }
    bool wide_popup() const { return wide_popup_; }
    bool tall_popup() const { return tall_popup_; }

    void LookAtWindows() {
        for (Seen& s : windows_) {
            if (!s.exists) continue;
            if (!IsWindow(s.hwnd)) {
                s.exists = false;
                Log("destroyed " + NameOf(s.hwnd));
                continue;
            }
            bool visible = IsWindowVisible(s.hwnd) != FALSE, iconic = IsIconic(s.hwnd) != FALSE;
            if (iconic && !s.iconic) Log("minimized " + NameOf(s.hwnd));
            if (visible != s.visible) Log((visible ? "shown " : "hidden ") + NameOf(s.hwnd));
            s.visible = visible;
            s.iconic = iconic;
        }
    }

private:
    static void LogMenu(HWND popup) {
        HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
        RECT rect{};
        GetWindowRect(popup, &rect);
        int count = menu ? GetMenuItemCount(menu) : 0;
        Log("menu open items=" + std::to_string(count) + " rect=" + RectText(rect));
        for (int i = 0; i < count; ++i) {
            MENUITEMINFOW info;
            wchar_t text[256] = L"";
            memset(&info, 0, sizeof(info));
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 255;
            GetMenuItemInfoW(menu, UINT(i), TRUE, &info);
            RECT item{};
            GetMenuItemRect(nullptr, menu, UINT(i), &item);
            std::string kind = (info.fType & MFT_SEPARATOR)   ? "separator"
                               : (info.fType & MFT_OWNERDRAW) ? "owner-drawn"
                                                              : "text=" + Quoted(text);
            // Grayed are the items that could be chosen but are not, as on
            // the device (the conformance check Menu.SeparatorIsNotGrayed).
            bool grayed = (info.fState & MFS_GRAYED) && !(info.fType & MFT_SEPARATOR);
            Log("menu-item " + std::to_string(i) + " id=" + std::to_string(info.wID) + " " + kind +
                (grayed ? " grayed" : "") + " rect=" + RectText(item));
        }
    }

    std::vector<Seen> windows_;
    HWND foreground_ = nullptr;
    DWORD changed_ = 0;  // when a change of the foreground was first held back
    HWND popup_ = nullptr;
    bool wide_popup_ = false;
    bool tall_popup_ = false;
    bool hooked_ = false;
    bool ended_ = false;
};

// ---------------------------------------------------------------------------
// The player

using namespace vesk_sim;

// How long the platform is given to do what a check names, and how long
// nothing may happen before `expect-not` looks.
constexpr DWORD kSettle = 5000;
constexpr DWORD kQuiet = 300;
// While the pen is down, how long after its time in the script a command may
// be made: later, what the script says happens before a timer of vesk's may
// happen after it here, and the play is not the script's.
constexpr DWORD kLate = 40;
// The last part of a press's wait, spent without pumping.
constexpr DWORD kPumped = 20;
// After an input, time for it to reach vesk before the script goes on.
constexpr DWORD kInputLag = 2;
// How long a pen going down may take to reach vesk's button.
constexpr DWORD kPenTaken = 40;

// How a play ends: 0 played, 1 a check failed, 2 an error, 3 the rest of the
// script skipped, 4 a command of a press made too late to count.
struct Stop {
    int code;
    std::string message;
};

std::string Ms(double ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", ms);
    return buf;
}

std::string Hex(COLORREF c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(c & 0xFFFFFF));
    return buf;
}

class Player {
public:
    explicit Player(const Script& script) : script_(script) {}

    // The play; throws Stop when a command fails.
    void Run() {
        const sim::DeviceConfig& d = script_.device;
        if (!StartShell(d.taskbar_height)) Error("the stand-in shell did not start");
        Track(Desktop(), "Desktop");
        for (size_t i = 0; i < script_.commands.size(); ++i) {
            const Command& cmd = script_.commands[i];
            where_ = cmd.file + ":" + std::to_string(cmd.line) + ": ";
            source_ = cmd.source;
            next_wait_ = NextWaitInPress(i);
            std::visit([&](const auto& action) { Do(action); }, cmd.action);
            // (While the pen is down the next command follows at once.)
            if (!pressed_) Pump(0);
        }
        where_ = script_.file + ":" + std::to_string(script_.last_line) + ": at the end of the script, ";
        if (started_ && !VeskEnded(nullptr)) Quit();
    }

    const std::vector<std::string>& skipped() const { return skipped_; }
    // The largest lateness of a press's commands seen in the play.
    double latest() const { return latest_; }

private:
    [[noreturn]] void Error(const std::string& message) { throw Stop{2, where_ + message}; }
    [[noreturn]] void Failed(const std::string& message) { throw Stop{1, where_ + message}; }
    // A press's timing. The script's clock of a press starts when vesk's
    // thread takes the pen going down (when the pen is given, if vesk does not
    // take it) and goes on only with `wait`: the commands in between take no
    // time in the script, as on the simulator's clock. A command made later
    // than kLate after its time, or at or after the script's next time of the
    // press, is not made where the script puts it.
    double PressOrigin() const {
        Hold hold(g_lock);
        if (!g_down_seen) return given_;
        if (g_handled_seen) return g_down_handled;
        return std::min(PressClock(), g_down_taken + kSettle);  // vesk is handling it now
    }
    double Lateness() const { return PressClock() - (PressOrigin() + press_ms_); }
    DWORD Allowed() const { return next_wait_ ? std::min(kLate, next_wait_) : kLate; }
    void OnTime(double late) {
        latest_ = std::max(latest_, late);
        if (late >= Allowed())
            throw Stop{4, where_ + source_ + ": made " + Ms(late) + " ms after its time in the script, " +
                              "where a command of a press is made within " + std::to_string(Allowed()) + " ms"};
    }
    // The ms of the next `wait` of the press after command i, 0 if none
    // comes before the pen is lifted or goes down again.
    DWORD NextWaitInPress(size_t i) const {
        for (size_t j = i + 1; j < script_.commands.size(); ++j) {
            const auto& action = script_.commands[j].action;
            if (const auto* w = std::get_if<WaitCmd>(&action)) return DWORD(w->ms);
            if (const auto* p = std::get_if<PenCmd>(&action); p && p->kind != PenCmd::Kind::Move) return 0;
        }
        return 0;
    }
    // A check: what holds() says within kSettle. While the pen is down its
    // first look is at the script's time or the check does not count: it
    // begins in time, and it holds or ends in time.
    bool Holds(const std::function<bool()>& holds) {
        if (!pressed_) return Pump(kSettle, holds);
        OnTime(Lateness());
        if (holds()) return true;
        OnTime(Lateness());
        checking_ = true;
        bool held = Pump(kSettle, holds);
        checking_ = false;
        return held;
    }

    void Skip(const std::string& why) { skipped_.push_back(where_ + source_ + ": " + why); }

    void Track(HWND hwnd, const std::string& name) {
        {
            Hold hold(g_lock);
            g_names.emplace_back(hwnd, name);
        }
        watcher_.Track(hwnd);
    }

    // Runs this thread's messages and watches the platform for ms, or until
    // done() (when given) holds; answers done()'s last value.
    bool Pump(DWORD ms, const std::function<bool()>& done = nullptr) {
        DWORD start = GetTickCount();
        for (;;) {
            host::DispatchPending();
            // While the pen is down the player keeps to the press's times: it
            // looks at the platform only for a check, as a look costs much on
            // a busy machine.
            if (!pressed_ || checking_) watcher_.Look();
            // What vesk draws in a popup wider or taller than the screen, and
            // where, differs between the platforms (the conformance checks
            // Menu.PopupWiderThanTheScreen and Menu.PopupTallerThanTheScreen);
            // the hand-written Wine check of the scrolled task menu plays the
            // taller one.
            if (watcher_.wide_popup())
                Rest("the popup menu is wider than the screen, which desktop Windows leaves so (the conformance "
                     "check Menu.PopupWiderThanTheScreen)");
            if (watcher_.tall_popup())
                Rest("the popup menu is taller than the screen and scrolls, which desktop Windows draws its own way "
                     "(the conformance check Menu.PopupTallerThanTheScreen)");
            if (done && done()) return true;
            if (GetTickCount() - start >= ms) return done ? done() : true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, pressed_ ? 1 : 2, QS_ALLINPUT);
        }
    }

    HWND Window(const std::string& command, const std::string& name) {
        HWND h = Named(name);
        if (!h) Error(command + ": there is no window named \"" + name + "\"");
        return h;
    }

    void Do(const RegCmd& r) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(r.root, r.key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            Error("reg: the key cannot be opened");
        LONG status = ERROR_SUCCESS;
        switch (r.kind) {
        case RegCmd::Kind::Dword:
            status = RegSetValueExW(key, r.name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&r.value), 4);
            break;
        case RegCmd::Kind::Binary:
            status = RegSetValueExW(key, r.name.c_str(), 0, REG_BINARY, r.bytes.data(), DWORD(r.bytes.size()));
            break;
        case RegCmd::Kind::Delete: RegDeleteValueW(key, r.name.c_str()); break;
        }
        RegCloseKey(key);
        if (status != ERROR_SUCCESS) Error("reg: the value cannot be written");
    }
    void Do(const ThemeCmd& t) {
        if (!SetTheme(t.back, t.fore)) Error("theme: the registry cannot be written");
    }
    void Do(const AppCmd& a) {
        const sim::AppConfig& c = a.app;
        if (Named(c.name)) Error("app: a window named \"" + c.name + "\" is already running");
        AppSpec request;
        request.exe = c.exe;
        request.class_name = c.class_name.empty() ? sim::Widen(c.name) : c.class_name;
        request.title = c.title ? *c.title : sim::Widen(c.name);
        request.style = c.hidden ? c.style & ~WS_VISIBLE : c.style;
        request.exstyle = c.exstyle;
        RECT bar{};
        GetWindowRect(TaskBar(), &bar);
        request.rect = c.rect.right > c.rect.left
                        ? c.rect
                        : RECT{0, bar.bottom, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (!c.owner.empty()) {
            request.owner = Named(c.owner);
            if (!request.owner) Error("app: the owner \"" + c.owner + "\" is not a running application");
        }
        static const wchar_t* const kAnswers[] = {L"destroy", L"ignore", L"hang"};
        request.on_close = kAnswers[int(c.on_close)];
        request.on_ok = kAnswers[int(c.on_ok)];
        auto app = std::make_unique<App>();
        if (!app->Launch(request)) Error("app: \"" + c.name + "\" did not start");
        Track(app->hwnd(), c.name);
        apps_.emplace_back(c.name, std::move(app));
    }
    void Do(const ActivateCmd& a) {
        HWND h = Window("activate", a.name);
        // Asked again now and then: a switch that the platform is still
        // making (a window being restored) may swallow the first request.
        DWORD asked = 0;
        if (!Pump(kSettle, [&] {
                if (GetTickCount() - asked >= 500) {
                    ShellActivate(h);
                    asked = GetTickCount();
                }
                return GetForegroundWindow() == h;
            }))
            Error("activate: \"" + a.name + "\" did not come to the front");
    }
    void Do(const ReleaseCmd& r) {
        Window("release", r.name);
        for (auto& [name, app] : apps_)
            if (name == r.name) app->Release();
    }
    void Do(const StartCmd&) {
        if (started_) Error("start: vesk runs once in this process");
        if (!StartVesk()) Error("start: vesk's thread did not start");
        started_ = true;
        HWND button = nullptr;
        Pump(10000, [&] {
            button = FindWindowExW(TaskBar(), nullptr, L"VeskClass", L"VeskWindow");
            return (button && IsWindowVisible(button)) || VeskEnded(nullptr);
        });
        if (!button || !IsWindowVisible(button)) {
            int code = 0;
            bool ended = VeskEnded(&code);
            Error("start: vesk's button did not appear on the taskbar" +
                  (ended ? " (vesk ended with " + std::to_string(code) + ")"
                         : std::string(button ? " (it is there, hidden)" : "")));
        }
        button_ = button;
        g_mouse_hook = SetWindowsHookExW(WH_MOUSE, StrokeOnly, nullptr, VeskThreadId());
        g_message_hook = SetWindowsHookExW(WH_GETMESSAGE, SeesDownHandled, nullptr, VeskThreadId());
        if (!g_mouse_hook || !g_message_hook) Error("start: the pen's moves cannot be watched on vesk's thread");
    }
    void Do(const PenCmd& p) {
        const bool in_press = pressed_ && p.kind != PenCmd::Kind::Down;
        if (p.kind == PenCmd::Kind::Down || p.kind == PenCmd::Kind::Tap) {
            // The press's clock starts again.
            Hold hold(g_lock);
            g_down_seen = g_handled_seen = false;
            given_ = PressClock();
            press_ms_ = 0;
        }
        pressed_ = p.kind == PenCmd::Kind::Down || (pressed_ && p.kind == PenCmd::Kind::Move);
        if (!pen_since_wait_) {
            pen_since_wait_ = true;
            anchor_ = GetTickCount();
        }
        switch (p.kind) {
        case PenCmd::Kind::Down:
            GivePen(Pen::Down, p.x, p.y);
            PenTaken();
            return;
        case PenCmd::Kind::Move:
            GivePen(Pen::Move, p.x, p.y);
            if (in_press) OnTime(Lateness());  // when the platform has the input
            MoveTaken();
            return;
        case PenCmd::Kind::Up:
            GivePen(Pen::Up, p.x, p.y);
            if (in_press) OnTime(Lateness());
            break;
        case PenCmd::Kind::Tap: Tap(p.x, p.y); break;
        }
        Pump(kInputLag);
    }
    void Tap(int x, int y) {
        GivePen(Pen::Down, x, y);
        PenTaken();
        GivePen(Pen::Up, x, y);
        Pump(kInputLag);
    }
    // Where the pen goes down on vesk's button, the button takes it: the
    // input that follows goes where the platform sends it then, so the
    // player lets vesk take the pen first (a bounded wait).
    void PenTaken() {
        DWORD vesk = VeskThreadId();
        if (!vesk || VeskEnded(nullptr)) {
            Pump(kInputLag);
            return;
        }
        // Seen without a call of the platform, which waits its turn on a busy
        // machine: once vesk has done with the pen, its button holds it.
        for (double until = PressClock() + kPenTaken; PressClock() < until; Sleep(1)) {
            Hold hold(g_lock);
            if (g_handled_seen) return;
        }
        Pump(kPenTaken, [vesk] {
            GUITHREADINFO info;
            memset(&info, 0, sizeof(info));
            info.cbSize = sizeof(info);
            Hold hold(g_lock);
            return GetGUIThreadInfo(vesk, &info) && info.hwndCapture != nullptr && g_down_seen == g_handled_seen;
        });
    }
    // A move of the stroke goes to vesk's button while the button holds the
    // pen: the player lets vesk take it before the next input, into which
    // the platform would otherwise merge it (a bounded wait).
    void MoveTaken() {
        DWORD vesk = VeskThreadId();
        if (!vesk || VeskEnded(nullptr)) return;
        // (Seen without a call of the platform first, as in PenTaken.)
        for (double until = PressClock() + kPenTaken; PressClock() < until; Sleep(1)) {
            POINT again;
            {
                Hold hold(g_lock);
                if (g_stroke.empty()) return;
                if (!g_stroke_displaced) continue;
                g_stroke_displaced = false;
                again = g_stroke.back();
            }
            SendPen(Pen::Move, int(again.x), int(again.y));  // what took its place was not the stroke's
        }
        Pump(kPenTaken, [vesk] {
            {
                Hold hold(g_lock);
                if (g_stroke.empty()) return true;
            }
            GUITHREADINFO info;
            memset(&info, 0, sizeof(info));
            info.cbSize = sizeof(info);
            return !GetGUIThreadInfo(vesk, &info) || info.hwndCapture == nullptr;
        });
    }
    // Real time. While the pen is down, on the press's clock and to the
    // millisecond (a press's times may be a millisecond apart), the last
    // moments without pumping, which may overrun on a busy machine. Else
    // `wait N` ends N ms after the previous wait ended or, if the pen has
    // moved since, N ms after the first pen command since; the time the
    // commands in between take is not added to the script's.
    void Do(const WaitCmd& w) {
        if (pressed_) {
            press_ms_ += DWORD(w.ms);
            if (double late = Lateness(); late < -double(kPumped)) Pump(DWORD(-late) - kPumped);
            while (Lateness() < -2) Sleep(1);
            while (Lateness() < 0) {
            }
            wait_end_ = GetTickCount();
            pen_since_wait_ = false;
            return;
        }
        DWORD from = pen_since_wait_ ? anchor_ : wait_end_;
        DWORD spent = GetTickCount() - from;
        Pump(spent >= w.ms ? 0 : DWORD(w.ms) - spent);
        wait_end_ = GetTickCount();
        pen_since_wait_ = false;
    }
    void Do(const NotifyCmd&) { ShellNotify(); }
    void Do(const DumpCmd&) {
        std::vector<HWND> windows = {TaskBar(), Desktop()};
        if (button_) windows.push_back(button_);
        for (auto& [name, app] : apps_) windows.push_back(app->hwnd());
        for (HWND h : windows) {
            if (!IsWindow(h)) continue;
            wchar_t title[256] = L"";
            GetWindowTextW(h, title, 256);
            RECT r{};
            GetWindowRect(h, &r);
            HWND parent = GetAncestor(h, GA_PARENT);
            if (parent == GetDesktopWindow()) parent = nullptr;
            DWORD pid = 0;
            GetWindowThreadProcessId(h, &pid);
            Log("window class=\"" + ClassOf(h) + "\" title=\"" + sim::Narrow(title) + "\" rect=" + RectText(r) +
                " parent=" + (parent ? NameOf(parent) : std::string("none")) +
                " visible=" + (IsWindowVisible(h) ? "1" : "0") + " pid=" + std::to_string(pid));
        }
    }
    void Do(const ShotCmd&) {
        Skip("not taken here: the screen is composed by Wine and X, and the simulator's shots are the reference");
    }
    void Do(const QuitCmd&) {
        if (!started_ || VeskEnded(nullptr)) Error("quit: vesk is not running");
        Quit();
    }
    void Quit() {
        PostMessageW(button_, WM_CLOSE, 0, 0);
        if (!Pump(kSettle, [] { return VeskEnded(nullptr); })) {
            if (OpenPopup()) Error("quit: vesk did not end: its popup menu is still open");
            Error("quit: vesk did not end after WM_CLOSE to its button");
        }
        Pump(0);
    }
    // The popup menu, once it is open (a tap that opens it returns before it is).
    HWND WaitForPopup() {
        HWND popup = nullptr;
        Pump(kSettle, [&] { return (popup = OpenPopup()) != nullptr; });
        return popup;
    }
    void Do(const MenuTapCmd& m) {
        HWND popup = WaitForPopup();
        HMENU menu = popup ? reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)) : nullptr;
        if (!menu) Error("menu-tap: no popup menu is open");
        int count = GetMenuItemCount(menu);
        if (m.position >= count)
            Error("menu-tap: the open menu has " + std::to_string(count) + " items, there is no position " +
                  std::to_string(m.position));
        RECT r{};
        GetMenuItemRect(nullptr, menu, UINT(m.position), &r);
        // A column that is the items' last on the device may lie on the
        // popup's frame here (the conformance check Menu.PopupFrame): a tap
        // given there goes to the item's nearest column.
        int x = m.at ? std::clamp(*m.at, int(r.left), int(r.right) - 1) : r.left + (r.right - r.left) / 2;
        Tap(x, r.top + (r.bottom - r.top) / 2);
    }
    void Do(const MenuDismissCmd&) {
        HWND popup = WaitForPopup();
        if (!popup) Error("menu-dismiss: no popup menu is open");
        RECT r{};
        GetWindowRect(popup, &r);
        const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        const POINT corners[] = {{0, h - 1}, {w - 1, h - 1}, {0, 0}, {w - 1, 0}};
        for (const POINT& p : corners) {
            if (!PtInRect(&r, p)) {
                Tap(p.x, p.y);
                return;
            }
        }
        Error("menu-dismiss: the popup covers the whole screen");
    }
    void Do(const ExpectCmd& e) {
        auto find = [&](std::string* line) {
            std::vector<std::string> log = LogCopy();
            for (size_t i = cursor_; i < log.size(); ++i) {
                if (log[i].find(e.text) == std::string::npos) continue;
                if (line) *line = log[i];
                if (!e.negated) cursor_ = i + 1;
                return true;
            }
            return false;
        };
        std::string line;
        if (e.negated) {
            Quiet();
            if (find(&line)) Failed("expected no line containing \"" + e.text + "\", found:\n    " + line);
            return;
        }
        if (!Holds([&] { return find(nullptr); }))
            Failed("expected a line containing \"" + e.text + "\"; " + Seen());
    }
    // Waits until nothing has been logged for a while.
    void Quiet() {
        size_t size = LogSize();
        DWORD since = GetTickCount();
        checking_ = true;
        Pump(kSettle, [&] {
            if (LogSize() != size) {
                size = LogSize();
                since = GetTickCount();
            }
            return GetTickCount() - since >= kQuiet;
        });
        checking_ = false;
    }
    std::string Seen() const {
        std::vector<std::string> log = LogCopy();
        if (cursor_ >= log.size()) return "no line was logged since the previous match";
        std::string out = "the lines logged since the previous match:";
        for (size_t i = std::max(cursor_, log.size() > 30 ? log.size() - 30 : 0); i < log.size(); ++i)
            out += "\n    " + log[i];
        return out;
    }
    void Do(const ExpectPixelCmd& e) {
        COLORREF found = CLR_INVALID;
        auto matches = [&] {
            found = PixelAt(e.x, e.y);
            return found == e.colour;
        };
        if (!Holds(matches))
            Failed("expected pixel " + std::to_string(e.x) + "," + std::to_string(e.y) + " to be " + Hex(e.colour) +
                   " (0xBBGGRR), found " + Hex(found));
    }
    // A pixel of the screen, as the window on top there painted it.
    static COLORREF PixelAt(int x, int y) {
        POINT p{x, y};
        HWND w = WindowFromPoint(p);
        if (!w) return CLR_INVALID;
        ScreenToClient(w, &p);
        HDC dc = GetDC(w);
        COLORREF c = dc ? GetPixel(dc, p.x, p.y) : CLR_INVALID;
        if (dc) ReleaseDC(w, dc);
        return c == CLR_INVALID ? c : c & 0xFFFFFF;
    }
    void Do(const ExpectWindowCmd& e) {
        std::string problem;
        auto holds = [&] {
            HWND h = Named(e.name);
            if (e.gone) {
                problem = h ? "it is still there" : "";
                return !h;
            }
            if (!h) {
                problem = "there is none";
                return false;
            }
            bool visible = IsWindowVisible(h) && !IsIconic(h);
            if (e.visible && *e.visible != visible) {
                problem = std::string("it is ") + (visible ? "visible" : "hidden");
                return false;
            }
            if (e.foreground && GetForegroundWindow() != h) {
                problem = "in front is " + NameOf(GetForegroundWindow());
                return false;
            }
            return true;
        };
        if (!Holds(holds)) Failed("expected the window \"" + e.name + "\" as `" + source_ + "` says: " + problem);
    }
    void Do(const ExpectCountsCmd&) {
        Skip("skipped: vesk shares its process with the stand-in shell here, and desktop Windows counts neither "
             "heap blocks nor kernel handles per program; the simulator checks these counts");
    }
    // Turning the screen, on which the rest of the script depends. Once up,
    // Wine's desktop of the device's size changes only to the modes
    // of its own fixed list (320x200 up to the X screen's size), all of them
    // landscape, and not back to the size it started with: a portrait screen
    // could turn once and never back, and no square one exists.
    static constexpr const char* kNoTurn =
        "the screen cannot be turned here: Wine's desktop offers only its fixed list of landscape modes";
    void Do(const RotateCmd&) { Rest(kNoTurn); }
    void Do(const DisplayCmd&) { Rest(kNoTurn); }
    // Commands of the language that this side does not know yet: the rest of
    // the script may depend on them.
    template <class Other>
    void Do(const Other&) {
        Rest("this command is not played on desktop Windows");
    }
    // The script cannot go on here: the rest of it is skipped, with the reason.
    [[noreturn]] void Rest(const std::string& why) {
        throw Stop{3, where_ + source_ + ": " + why + "; the rest of the script is skipped"};
    }

    const Script& script_;
    Watcher watcher_;
    std::vector<std::pair<std::string, std::unique_ptr<App>>> apps_;
    std::vector<std::string> skipped_;
    HWND button_ = nullptr;
    bool started_ = false;
    DWORD wait_end_ = GetTickCount();
    DWORD anchor_ = 0;
    bool pen_since_wait_ = false;
    bool pressed_ = false;  // the pen is down
    double given_ = 0;      // when the press's pen went down
    DWORD press_ms_ = 0;    // the script's time since then
    DWORD next_wait_ = 0;
    double latest_ = 0;
    bool checking_ = false;  // a check of a press is waiting
    size_t cursor_ = 0;
    std::string where_;
    std::string source_;
};

std::wstring WidePath(const std::string& s) { return sim::Widen(s); }

int PlayInProcess(const wchar_t* exe, std::wstring command, wchar_t* desktop, const std::string& path);

// A play with a press's command made too late (exit status 4) does not count
// and the script is played again, this many plays at most: a machine that
// stalls now and then (a busy one, or Wine's X connection) rarely does so in
// every play. The last play skips the rest of the script at such a command.
constexpr int kPlays = 3;

// Puts the device's dpi and screen size in place and plays the script again
// in a process of its own, on a desktop of that size, as often as kPlays
// allows.
int PlayOnDevice(const Script& script, const std::string& path, const std::string& out) {
    const sim::DeviceConfig& d = script.device;
    // The dpi is the prefix's setting, read by each process as it starts:
    // set for the second process, then put back as it was.
    HKEY key = nullptr;
    DWORD dpi = DWORD(d.dpi), old_dpi = 0, size_of = sizeof(old_dpi), type = 0;
    bool had_dpi = false;
    HKEY dpi_key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &dpi_key, nullptr) == ERROR_SUCCESS) {
        had_dpi = RegQueryValueExW(dpi_key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&old_dpi),
                                   &size_of) == ERROR_SUCCESS && type == REG_DWORD;
        RegSetValueExW(dpi_key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), 4);
    }
    struct PutBack {
        HKEY key;
        bool had;
        DWORD value;
        ~PutBack() {
            if (!key) return;
            if (had) RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
            else RegDeleteValueW(key, L"LogPixels");
            RegCloseKey(key);
        }
    } put_back{dpi_key, had_dpi, old_dpi};
    wchar_t desktop[64], size[32];
    std::swprintf(desktop, 64, L"vesk%dx%d", d.width, d.height);
    std::swprintf(size, 32, L"%dx%d", d.width, d.height);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, desktop, 0, REG_SZ, reinterpret_cast<const BYTE*>(size),
                       DWORD((wcslen(size) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    int code = 4;
    for (int play = 0; play < kPlays && code == 4; ++play) {
        std::wstring command = L"\"" + std::wstring(exe) + L"\" --script \"" + WidePath(path) + L"\" --out \"" +
                               WidePath(out) + L"\" --on-device" + (play == kPlays - 1 ? L" --last-play" : L"");
        code = PlayInProcess(exe, command, desktop, path);
    }
    return code;
}

int PlayInProcess(const wchar_t* exe, std::wstring command, wchar_t* desktop, const std::string& path) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.lpDesktop = desktop;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi{};
    std::fflush(stdout);
    if (!CreateProcessW(exe, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("[ FAIL ] %s: the player could not be started on the device's desktop\n", path.c_str());
        return 2;
    }
    DWORD code = 2;
    if (WaitForSingleObject(pi.hProcess, 180000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 2);
        std::printf("[ FAIL ] %s: no result within 180 s\n", path.c_str());
    }
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return int(code);
}

}  // namespace

int PlayScript(const std::string& path, const std::string& out, bool on_device, bool last_play) {
    std::string why;
    std::optional<std::string> text = ReadScriptFile(path, &why);
    if (!text) {
        std::printf("[ FAIL ] %s: cannot read it: %s\n", path.c_str(), why.c_str());
        return 2;
    }
    ParseResult parsed = ParseScript(*text, path);
    if (!parsed.ok()) {
        std::printf("[ FAIL ] %s\n", parsed.error.Format().c_str());
        return 2;
    }
    const Script& script = *parsed.script;
    const sim::DeviceConfig& d = script.device;
    std::string device = std::to_string(d.width) + "x" + std::to_string(d.height) + " at " + std::to_string(d.dpi) +
                         " dpi";
    if (d.dpi_y != 0 && d.dpi_y != d.dpi) {
        // Wine's screen has one resolution for both axes.
        std::printf("[ SKIP ] %s: its device's vertical resolution (%d dpi) differs from the horizontal one, which "
                    "Wine's screen cannot give\nscript: 0 passed, 0 failed, 1 skipped\n",
                    path.c_str(), d.dpi_y);
        std::fflush(stdout);
        return 0;
    }
    bool fits = GetSystemMetrics(SM_CXSCREEN) == d.width && GetSystemMetrics(SM_CYSCREEN) == d.height &&
                ScreenDpi() == d.dpi;
    // Always in a process of its own, which a play that must be played again
    // can end.
    if (!on_device) return PlayOnDevice(script, path, out);
    if (!fits) {
        std::printf("[ FAIL ] %s: the screen is %dx%d at %d dpi, not the script's device (%s)\n", path.c_str(),
                    GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), ScreenDpi(), device.c_str());
        return 2;
    }
    if (!WatchVeskCalls()) {
        std::printf("[ FAIL ] %s: vesk's calls cannot be watched\n", path.c_str());
        return 2;
    }

    g_start = GetTickCount();
    int code = 0;
    std::string message;
    Player player(script);
    try {
        player.Run();
    } catch (const Stop& stop) {
        code = stop.code;
        message = stop.message;
    }
    if (player.latest() > 0)
        std::fprintf(stderr, "the latest command of a press was made %s ms after its time\n", Ms(player.latest()).c_str());
    if (code == 4) {
        if (on_device && !last_play) {
            std::printf("    late: %s; the script is played once more\n", message.c_str());
            std::fflush(stdout);
            return 4;
        }
        code = 3;
        if (last_play) message += " in each of " + std::to_string(kPlays) + " plays";
        message += "; the rest of the script is skipped";
    }
    for (const std::string& line : player.skipped()) std::printf("    skipped %s\n", line.c_str());
    // The output folder and the folders above it.
    for (size_t at = out.find_first_of("\\/", 3); ; at = out.find_first_of("\\/", at + 1)) {
        CreateDirectoryW(WidePath(out.substr(0, at)).c_str(), nullptr);
        if (at == std::string::npos) break;
    }
    std::string log_path = out + "\\events.log";
    std::ofstream file(WidePath(log_path).c_str(), std::ios::binary | std::ios::trunc);
    for (const std::string& line : LogCopy()) file << line << '\n';
    if (!file) {
        std::printf("    cannot write %s\n", log_path.c_str());
        if (code == 0) code = 2;
    }
    std::string name = path.substr(path.find_last_of("\\/") + 1);
    if (code == 0)
        std::printf("[ PASS ] %s (%s)\n", name.c_str(), device.c_str());
    else if (code == 3)
        std::printf("[ SKIP ] %s (%s) from %s\n", name.c_str(), device.c_str(), message.c_str());
    else
        std::printf("[ FAIL ] %s (%s)\n    %s\n", name.c_str(), device.c_str(), message.c_str());
    std::printf("script: %d passed, %d failed, %zu skipped\n", code == 0 ? 1 : 0, code == 0 || code == 3 ? 0 : 1,
                player.skipped().size() + (code == 3 ? 1 : 0));
    if (code == 3) code = 0;
    std::fflush(stdout);
    return code;
}

}  // namespace host

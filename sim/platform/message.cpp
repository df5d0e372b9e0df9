// Message queues, sending and posting, the message loop's calls, timers by
// the virtual clock, and the pen capture.
#include <algorithm>
#include <climits>
#include <cstdio>

#include "core.h"

namespace sim {

namespace {

std::string MessageName(UINT msg) {
    switch (msg) {
    case WM_CLOSE: return "WM_CLOSE";
    case WM_COMMAND: return "WM_COMMAND";
    case PSM_PRESSBUTTON: return "PSM_PRESSBUTTON";
    default: return std::to_string(msg);
    }
}

std::string ParamText(uintptr_t v) {
    if (v && MaybeM()) {
        if (Window* w = WinOf(v)) {
            if (!w->name.empty()) return w->name;
        }
    }
    return std::to_string(v);
}

DWORD PackPos(POINT p) { return static_cast<DWORD>(MAKELONG(p.x, p.y)); }

}  // namespace

void NoteMessage(Window* to, UINT msg, WPARAM wp, LPARAM lp, bool sent) {
    Process* from = CurrentProcess();
    DWORD from_pid = from ? from->pid : 0;
    if (to->record) {
        M().received[to->hwnd()].push_back(ReceivedMessage{M().now, msg, wp, lp, from_pid, sent});
    }
    if (from && from->image && from_pid != to->owner_pid && !to->system && M().log_messages) {
        Log("msg " + NameOf(to->hwnd()) + " " + MessageName(msg) + " " + ParamText(wp) + " " +
            ParamText(static_cast<uintptr_t>(lp)));
    }
}

LRESULT SendTo(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = WinOf(hwnd);
    if (!w) return 0;
    NoteMessage(w, msg, wp, lp, true);
    // A sender waits while the receiving application is stuck in an earlier message.
    while (w->thread->hung && w->thread != CurrentThread()) {
        HWND stuck = w->thread->hung_window;
        HangUntilReleased(stuck);
        w = WinOf(hwnd);
        if (!w) return 0;
        if (w->thread->hung && w->thread->hung_window == stuck) break;  // nobody can wait here
    }
    return CallProc(w, w->proc, msg, wp, lp);
}

bool PostTo(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = WinOf(hwnd);
    if (!w) return false;
    Machine& m = M();
    MSG q{hwnd, msg, wp, lp, static_cast<DWORD>(m.now), m.pen};
    w->thread->posted.push_back(Thread::Queued{q, CurrentPid()});
    if (w->record) {
        // Recorded when the application takes it from its queue.
    }
    Process* from = CurrentProcess();
    if (from && from->image && from->pid != w->owner_pid && !w->system && m.log_messages) {
        Log("msg " + NameOf(hwnd) + " " + MessageName(msg) + " " + ParamText(wp) + " " +
            ParamText(static_cast<uintptr_t>(lp)));
    }
    return true;
}

// The platform's retrieval order: posted messages, then the quit message,
// then a paint for an invalid window, then a timer that has fallen due.
// Only messages in the thread's filter range are retrieved (0 to 0: all of
// them; a first past the last: none), but the quit message always is.
std::optional<MSG> Retrieve(Thread* t, bool remove) {
    Machine& m = M();
    const UINT first = t->filter_first, last = t->filter_last;
    auto wanted = [&](UINT msg) { return (first == 0 && last == 0) || (msg >= first && msg <= last); };
    auto posted = std::find_if(t->posted.begin(), t->posted.end(), [&](const Thread::Queued& q) {
        return wanted(q.msg.message);
    });
    if (posted != t->posted.end()) {
        Thread::Queued q = *posted;
        if (remove) {
            t->posted.erase(posted);
            t->last_pos = PackPos(q.msg.pt);
            t->last_time = static_cast<LONG>(q.msg.time);
            t->last_from = q.from_pid;
        }
        return q.msg;
    }
    if (t->quit) {
        MSG q{nullptr, WM_QUIT, static_cast<WPARAM>(t->quit_code), 0, static_cast<DWORD>(m.now), m.pen};
        if (remove) {
            t->quit = false;
            t->last_pos = PackPos(m.pen);
            t->last_time = static_cast<LONG>(m.now);
            t->last_from = 0;
        }
        return q;
    }
    // Paints: the first invalid, shown window of the thread, parents before children.
    std::function<HWND(HWND)> find_paint = [&](HWND h) -> HWND {
        Window* w = WinOf(h);
        if (!w || !(w->style & WS_VISIBLE)) return nullptr;
        if (w->thread == t && w->has_update) return h;
        for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
            if (HWND found = find_paint(*it)) return found;
        return nullptr;
    };
    for (auto it = m.zorder.rbegin(); it != m.zorder.rend() && wanted(WM_PAINT); ++it) {
        if (HWND h = find_paint(*it)) {
            MSG q{h, WM_PAINT, 0, 0, static_cast<DWORD>(m.now), m.pen};
            if (remove) {
                t->last_pos = PackPos(m.pen);
                t->last_time = static_cast<LONG>(m.now);
                t->last_from = 0;
            }
            return q;
        }
    }
    Timer* due = nullptr;
    for (Timer& tm : t->timers)
        if (tm.due <= m.now && (!due || tm.due < due->due) && wanted(WM_TIMER)) due = &tm;
    if (due) {
        MSG q{due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), static_cast<DWORD>(m.now), m.pen};
        if (remove) {
            due->due = m.now + std::max<UINT>(due->period, 1);
            t->last_pos = PackPos(m.pen);
            t->last_time = static_cast<LONG>(m.now);
            t->last_from = 0;
        }
        return q;
    }
    return std::nullopt;
}

bool HasWork(Thread* t) { return Retrieve(t, false).has_value(); }

LRESULT Dispatch(const MSG& msg) {
    Window* w = WinOf(msg.hwnd);
    if (msg.message == WM_TIMER && msg.lParam) {
        TIMERPROC proc = reinterpret_cast<TIMERPROC>(msg.lParam);
        CalloutScope callout;
        proc(msg.hwnd, WM_TIMER, msg.wParam, msg.time);
        return 0;
    }
    if (!w) return 0;
    if (w->record && msg.message != WM_PAINT && msg.message != WM_TIMER) {
        Thread* t = CurrentThread();
        M().received[w->hwnd()].push_back(
            ReceivedMessage{M().now, msg.message, msg.wParam, msg.lParam, t ? t->last_from : 0, false});
    }
    return CallProc(w, w->proc, msg.message, msg.wParam, msg.lParam);
}

uint64_t NextTimerDue() {
    uint64_t next = UINT64_MAX;
    for (auto& [tid, t] : M().threads) {
        if (!t->process->alive) continue;
        for (const Timer& tm : t->timers) next = std::min(next, tm.due);
    }
    return next;
}

void RemoveTimers(HWND hwnd) {
    for (auto& [tid, t] : M().threads)
        std::erase_if(t->timers, [&](const Timer& tm) { return tm.hwnd == hwnd; });
}

}  // namespace sim

using namespace sim;

extern "C" {

BOOL WINAPI GetMessageW(LPMSG out, HWND, UINT first, UINT last) {
    SIM_API("GetMessageW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    Thread* t = CurrentThread();
    if (!t || !t->real || !out) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    struct Filter {
        Thread* t;
        ~Filter() { t->filter_first = t->filter_last = 0; }
    } filter{t};
    t->filter_first = first;
    t->filter_last = last;
    for (;;) {
        if (auto msg = Retrieve(t, true)) {
            *out = *msg;
            return msg->message != WM_QUIT;
        }
        WaitForWork(t);
    }
}

BOOL WINAPI PeekMessageW(LPMSG out, HWND, UINT first, UINT last, UINT remove) {
    SIM_API("PeekMessageW");
    Thread* t = CurrentThread();
    if (!t || !out) return FALSE;
    t->filter_first = first;
    t->filter_last = last;
    auto msg = Retrieve(t, (remove & PM_REMOVE) != 0);
    t->filter_first = t->filter_last = 0;
    if (!msg) return FALSE;
    *out = *msg;
    return TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    SIM_API("TranslateMessage");
    return msg && msg->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageW(const MSG* msg) {
    SIM_API("DispatchMessageW");
    if (!msg) return 0;
    return Dispatch(*msg);
}

LRESULT WINAPI SendMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    SIM_API("SendMessageW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (!CheckWindow(hwnd)) return 0;
    return SendTo(hwnd, msg, wp, lp);
}

BOOL WINAPI PostMessageW(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    SIM_API("PostMessageW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!hwnd) {
        Thread* t = CurrentThread();
        if (!t) return FALSE;
        Machine& m = M();
        t->posted.push_back(Thread::Queued{MSG{nullptr, msg, wp, lp, static_cast<DWORD>(m.now), m.pen}, t->process->pid});
        return TRUE;
    }
    if (hwnd == HWND_BROADCAST) return TRUE;
    if (!CheckWindow(hwnd)) return FALSE;
    return PostTo(hwnd, msg, wp, lp);
}

void WINAPI PostQuitMessage(int code) {
    SIM_API("PostQuitMessage");
    if (Thread* t = CurrentThread()) {
        t->quit = true;
        t->quit_code = code;
    }
}

DWORD WINAPI GetMessagePos(void) {
    SIM_API("GetMessagePos");
    Thread* t = CurrentThread();
    return t ? t->last_pos : 0;
}

LONG WINAPI GetMessageTime(void) {
    SIM_API("GetMessageTime");
    Thread* t = CurrentThread();
    return t ? t->last_time : 0;
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    SIM_API("SetTimer");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    Machine& m = M();
    Thread* t = CurrentThread();
    if (hwnd) {
        Window* w = CheckWindow(hwnd);
        if (!w) return 0;
        // A window's timers are told apart by their nonzero identifiers.
        if (id == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        t = w->thread;
    }
    if (!t) return 0;
    if (!hwnd) {
        id = ++m.next_timer_id;
    }
    for (Timer& tm : t->timers) {
        if (tm.hwnd == hwnd && tm.id == id) {
            // Setting an existing timer restarts it.
            tm.period = elapse;
            tm.due = m.now + std::max<UINT>(elapse, 1);
            tm.proc = proc;
            return hwnd ? 1 : id;
        }
    }
    t->timers.push_back(Timer{hwnd, id, elapse, m.now + std::max<UINT>(elapse, 1), proc});
    return hwnd ? 1 : id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    SIM_API("KillTimer");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (auto& [tid, t] : M().threads) {
        auto it = std::find_if(t->timers.begin(), t->timers.end(),
                               [&](const Timer& tm) { return tm.hwnd == hwnd && tm.id == id; });
        if (it != t->timers.end()) {
            t->timers.erase(it);
            return TRUE;
        }
    }
    SetLastError(hwnd && !WinOf(hwnd) ? ERROR_INVALID_WINDOW_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
}

HWND WINAPI SetCapture(HWND hwnd) {
    SIM_API("SetCapture");
    Machine& m = M();
    HWND old = m.capture;
    if (hwnd && !CheckWindow(hwnd)) return old;
    m.capture = hwnd;
    return old;
}

BOOL WINAPI ReleaseCapture(void) {
    SIM_API("ReleaseCapture");
    if (SIM_FAIL()) return FALSE;
    M().capture = nullptr;
    return TRUE;
}

HWND WINAPI GetCapture(void) {
    SIM_API("GetCapture");
    return M().capture;
}

}  // extern "C"

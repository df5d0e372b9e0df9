// The device's kernel: the current machine, handles, processes and threads,
// the scheduler and the virtual clock.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>

#include "core.h"

namespace sim {

namespace {

Machine* g_machine = nullptr;
thread_local Thread* tls_thread = nullptr;
// The program thread that owns this OS thread, if any: the one that must wait
// when code running on it blocks.
thread_local Thread* tls_os_thread = nullptr;
thread_local int tls_api_depth = 0;

}  // namespace

namespace detail {
Thread*& TlsThread() { return tls_thread; }
int& TlsApiDepth() { return tls_api_depth; }
}  // namespace detail

Machine& M() {
    if (!g_machine) {
        std::fputs("vesk-sim: a platform call was made with no device booted\n", stderr);
        std::abort();
    }
    return *g_machine;
}
Machine* MaybeM() { return g_machine; }
void SetCurrentMachine(Machine* m) { g_machine = m; }

Thread* CurrentThread() { return tls_thread; }
Thread* CurrentOsThread() { return tls_os_thread; }
Process* CurrentProcess() { return tls_thread ? tls_thread->process : nullptr; }
DWORD CurrentPid() { return tls_thread ? tls_thread->process->pid : 0; }

// ---------------------------------------------------------------------------
// Handles

uintptr_t Handles::Insert(std::unique_ptr<Object> object) {
    uintptr_t h = next_;
    next_ += 4;
    object->handle = h;
    objects_.emplace(h, std::move(object));
    return h;
}

Object* Handles::Find(uintptr_t handle) const {
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : it->second.get();
}

std::unique_ptr<Object> Handles::Erase(uintptr_t handle) {
    auto it = objects_.find(handle);
    if (it == objects_.end()) return nullptr;
    std::unique_ptr<Object> o = std::move(it->second);
    objects_.erase(it);
    return o;
}

size_t Handles::Count(DWORD pid, Kind kind) const {
    size_t n = 0;
    for (const auto& [h, o] : objects_)
        if (o->owner_pid == pid && o->kind == kind) ++n;
    return n;
}

std::vector<Object*> Handles::OfOwner(DWORD pid) const {
    std::vector<Object*> out;
    for (const auto& [h, o] : objects_)
        if (o->owner_pid == pid) out.push_back(o.get());
    return out;
}

// ---------------------------------------------------------------------------
// API and callout scopes

ApiScope::ApiScope(const char* name) {
    ++tls_api_depth;
    Process* p = CurrentProcess();
    if (tls_api_depth == 1 && p && p->image && g_machine) fail_ = g_machine->faults.OnCall(name);
}

ApiScope::~ApiScope() { --tls_api_depth; }

PlatformScope::PlatformScope() { ++tls_api_depth; }
PlatformScope::~PlatformScope() { --tls_api_depth; }

CalloutScope::CalloutScope() : saved_(tls_api_depth) { tls_api_depth = 0; }
CalloutScope::~CalloutScope() { tls_api_depth = saved_; }

// ---------------------------------------------------------------------------
// Faults

void Faults::Arm(const std::string& api, int nth, int count) {
    rules_[api] = Rule{std::max(nth, 1), count};
}
void Faults::Disarm(const std::string& api) { rules_.erase(api); }
void Faults::Clear() {
    rules_.clear();
    alloc_countdown_ = 0;
    alloc_remaining_ = 0;
}
void Faults::ArmAllocation(long nth, long count) {
    alloc_countdown_ = std::max(nth, 1L);
    alloc_remaining_ = count;
}

bool Faults::OnCall(const std::string& api) {
    ++calls_[api];
    auto it = rules_.find(api);
    if (it == rules_.end()) return false;
    Rule& r = it->second;
    if (r.countdown > 1) {
        --r.countdown;
        return false;
    }
    if (r.remaining == 0) return false;
    if (r.remaining > 0) --r.remaining;
    ++failed_;
    return true;
}

bool Faults::OnAllocation() {
    if (alloc_countdown_ == 0) return false;
    if (alloc_countdown_ > 1) {
        --alloc_countdown_;
        return false;
    }
    if (alloc_remaining_ == 0) return false;
    if (alloc_remaining_ > 0) --alloc_remaining_;
    ++failed_;
    return true;
}

// ---------------------------------------------------------------------------
// Baton

void Baton::Run(Thread* t) {
    std::unique_lock lock(mu_);
    holder_ = t;
    cv_.notify_all();
    cv_.wait(lock, [&] { return holder_ == nullptr; });
}

void Baton::Park(Thread* self) {
    std::unique_lock lock(mu_);
    holder_ = nullptr;
    cv_.notify_all();
    cv_.wait(lock, [&] { return holder_ == self; });
}

void Baton::WaitTurn(Thread* self) {
    std::unique_lock lock(mu_);
    cv_.wait(lock, [&] { return holder_ == self; });
}

void Baton::Finish() {
    std::unique_lock lock(mu_);
    holder_ = nullptr;
    cv_.notify_all();
}

// ---------------------------------------------------------------------------
// Machine

namespace detail {
void HeapAnchor();
}

Machine::Machine() { detail::HeapAnchor(); }

Machine::~Machine() {
    for (auto& [tid, t] : threads)
        if (t->os.joinable()) t->os.join();
}

void Log(const std::string& text) {
    Machine& m = M();
    std::string line = std::to_string(m.now) + " " + text;
    m.log.push_back(line);
    if (m.log_sink) m.log_sink(line);
}

// ---------------------------------------------------------------------------
// Processes and threads

Process* NewProcess(const sim::WString& exe_path, const std::string& name) {
    Machine& m = M();
    auto p = std::make_unique<Process>();
    p->pid = m.next_pid;
    m.next_pid += 4;
    p->exe_path = exe_path;
    size_t slash = exe_path.find_last_of(u"\\/");
    p->exe_name = slash == sim::WString::npos ? exe_path : exe_path.substr(slash + 1);
    p->name = name;
    Process* raw = p.get();
    m.processes.emplace(raw->pid, std::move(p));
    return raw;
}

Thread* NewThread(Process* p, bool real) {
    Machine& m = M();
    auto t = std::make_unique<Thread>();
    t->tid = m.next_tid;
    m.next_tid += 4;
    t->process = p;
    t->real = real;
    t->state = real ? Thread::State::NotStarted : Thread::State::Running;
    Thread* raw = t.get();
    p->threads.push_back(raw);
    m.threads.emplace(raw->tid, std::move(t));
    return raw;
}

Process* FindProcess(DWORD pid) {
    auto& ps = M().processes;
    auto it = ps.find(pid);
    return it == ps.end() ? nullptr : it->second.get();
}

namespace {

// The image's entry on its own thread. A loaded executable's thread comes
// back here by EndThread's jump, past frames that no unwinder can read; the
// platform's frames it skips hold no locks (a thread ends only where it
// waits for the baton), only memory, which goes with the device.
int RunEntry(Thread* t) {
    const Image* image = t->process->image;
    if (!image->loaded) {
        try {
            CalloutScope callout;
            return image->entry(t->process->instance);
        } catch (const ThreadKilled&) {
            return t->end_code;
        }
    }
    const int depth = tls_api_depth;
    if (setjmp(t->end_jump) != 0) {
        tls_api_depth = depth;
        tls_thread = t;
        return t->end_code;
    }
    CalloutScope callout;
    return image->entry(t->process->instance);
}

void ThreadMain(Machine* m, Thread* t) {
    tls_thread = t;
    tls_os_thread = t;
    PlatformScope platform;
    m->baton.WaitTurn(t);
    t->state = Thread::State::Running;
    MakeResident(t->process);
    int code = RunEntry(t);
    EndProcess(t->process, code);
    t->state = Thread::State::Exited;
    tls_thread = nullptr;
    tls_os_thread = nullptr;
    m->baton.Finish();
}

}  // namespace

namespace {

// The process whose data a loaded executable's writable sections hold,
// keyed by the image's first section: the mapping outlives the devices,
// and a process leaves the slot when it ends.
std::map<uintptr_t, Process*>& Resident() {
    static std::map<uintptr_t, Process*> resident;
    return resident;
}

bool HasData(const Process* p) { return p && p->image && p->image->loaded && !p->image->data.empty(); }

void SaveData(Process* p) {
    p->data_copy.clear();
    for (const auto& [at, n] : p->image->data)
        p->data_copy.insert(p->data_copy.end(), reinterpret_cast<uint8_t*>(at), reinterpret_cast<uint8_t*>(at) + n);
}

void LoadData(const Process* p) {
    size_t from = 0;
    for (const auto& [at, n] : p->image->data) {
        if (from + n > p->data_copy.size()) return;
        std::memcpy(reinterpret_cast<void*>(at), p->data_copy.data() + from, n);
        from += n;
    }
}

// A new process of a loaded executable: the data in place goes with its
// process, and the image's data as the file declares it comes in.
void MakeFresh(Process* p) {
    Process*& r = Resident()[p->image->data.front().first];
    if (r && r != p) SaveData(r);
    p->image->reset();
    r = p;
}

void LeaveSlot(Process* p) {
    if (!HasData(p)) return;
    auto it = Resident().find(p->image->data.front().first);
    if (it != Resident().end() && it->second == p) it->second = nullptr;
}

}  // namespace

void MakeResident(Process* p) {
    if (!HasData(p) || !p->alive) return;
    Process*& r = Resident()[p->image->data.front().first];
    if (r == p) return;
    if (r) SaveData(r);
    LoadData(p);
    r = p;
}

ResidentFor::ResidentFor(Process* p) {
    if (!HasData(p)) return;
    Process* r = Resident()[p->image->data.front().first];
    if (r != p) previous_ = r;
    MakeResident(p);
}

ResidentFor::~ResidentFor() { MakeResident(previous_); }

void EndThread(Thread* self, int code) {
    self->end_code = code;
    if (self->process->image && self->process->image->loaded) std::longjmp(self->end_jump, 1);
    throw ThreadKilled{};
}

void ProgramFault(const std::string& what) {
    // The program whose code made the call: a window procedure called from
    // another thread runs as its window's thread, as on the device.
    Thread* t = CurrentThread();
    if (!t || !t->process->alive) return;
    Log("fault in " + t->process->name + ": " + what);
    const int code = static_cast<int>(0xC0000005);  // STATUS_ACCESS_VIOLATION
    if (t == CurrentOsThread()) EndThread(t, code);
    TerminateOther(t->process, code);
}

void InvalidFree(const char* call, uintptr_t handle) {
    char what[32];
    std::snprintf(what, sizeof what, "0x%llx", static_cast<unsigned long long>(handle));
    Log(std::string("invalid-free ") + call + " pid=" + std::to_string(CurrentPid()) + " handle=" + what);
}

void TerminateOther(Process* p, int code) {
    if (!p->alive) return;
    for (Thread* t : p->threads) {
        if (!t->real || t->state == Thread::State::Exited || t->state == Thread::State::NotStarted) continue;
        t->killed = true;
        t->end_code = code;
        // From the driver it ends now; from a program's thread, when the
        // driver next lets threads run.
        if (!tls_os_thread) M().baton.Run(t);
        return;
    }
    EndProcess(p, code);
}

namespace {

// The first instance of a program gets fresh globals; later ones share the
// running instance's image, as a second start of one executable would.
bool ImageRunning(const Image* image) {
    for (auto& [pid, p] : M().processes)
        if (p->image && p->image->exe_path == image->exe_path && p->alive) return true;
    return false;
}

}  // namespace

Process* StartImage(const Image& image) {
    Machine& m = M();
    // The threads of programs that have ended give their stacks back first:
    // a 32-bit address space holds a few hundred stacks, and a test may start
    // a thousand programs on one device.
    for (auto& [tid, ended] : m.threads)
        if (ended->state == Thread::State::Exited && ended->os.joinable()) ended->os.join();
    bool fresh = !ImageRunning(&image);
    sim::WString path = image.exe_path;
    size_t slash = path.find_last_of(u"\\/");
    std::string name = Narrow(slash == sim::WString::npos ? path : path.substr(slash + 1));
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
    Process* p = NewProcess(image.exe_path, name);
    p->image = &image;
    p->instance = image.instance;
    Thread* t = NewThread(p, true);
    if (!image.data.empty()) MakeFresh(p);
    else if (fresh && image.reset) image.reset();
    Log("start " + std::to_string(p->pid));
    t->os = std::thread(ThreadMain, &m, t);
    m.baton.Run(t);
    RunUntilIdle();
    return p;
}

void WaitForWork(Thread* self) {
    if (!self || !self->real || tls_os_thread != self) {
        // Code of a simulated application or the shell never blocks: their
        // threads are pumped by the driver.
        return;
    }
    Process* p = self->process;
    if (p->image && p->image->loaded && p->runtime_blocks < 0) p->runtime_blocks = p->heap_blocks;
    self->state = Thread::State::WaitMessage;
    M().baton.Park(self);
    self->state = Thread::State::Running;
    if (self->killed) EndThread(self, self->end_code);
    MakeResident(p);
}

void HangUntilReleased(HWND hwnd) {
    Thread* os = tls_os_thread;
    Window* w = WinOf(hwnd);
    if (w) {
        w->thread->hung = true;
        w->thread->hung_window = hwnd;
    }
    if (!os) {
        // Nobody waits on this OS thread: the message is simply left
        // unanswered until the application is released.
        return;
    }
    os->state = Thread::State::WaitRelease;
    os->hung_window = hwnd;
    M().baton.Park(os);
    os->state = Thread::State::Running;
    os->hung_window = nullptr;
    if (os->killed) EndThread(os, os->end_code);
    MakeResident(os->process);
}

void ReleaseHung(HWND hwnd) {
    Machine& m = M();
    for (auto& [tid, t] : m.threads) {
        if (t->hung_window == hwnd && !t->real) {
            t->hung = false;
            t->hung_window = nullptr;
        }
    }
    for (auto& [tid, t] : m.threads) {
        if (t->real && t->state == Thread::State::WaitRelease && t->hung_window == hwnd) {
            t->state = Thread::State::Released;
        }
    }
    RunUntilIdle();
}

void RunUntilIdle() {
    Machine& m = M();
    long budget = m.dispatch_budget;
    for (;;) {
        bool progress = false;
        // Snapshot the thread list: dispatching may start or end threads.
        std::vector<Thread*> list;
        for (auto& [tid, t] : m.threads) list.push_back(t.get());
        for (Thread* t : list) {
            if (!t->process->alive) continue;
            if (t->real) {
                bool runnable = (t->state == Thread::State::WaitMessage && (HasWork(t) || t->killed)) ||
                                t->state == Thread::State::Released;
                if (runnable) {
                    m.baton.Run(t);
                    progress = true;
                }
            } else if (!t->hung) {
                while (auto msg = Retrieve(t, true)) {
                    RunAs(t, [&] { return Dispatch(*msg); });
                    progress = true;
                    if (--budget <= 0) throw std::runtime_error("the device never went idle");
                    if (t->hung) break;
                }
            }
            if (--budget <= 0) throw std::runtime_error("the device never went idle");
        }
        if (!progress) break;
    }
}

Counts CountObjects(DWORD pid) {
    const Handles& h = M().handles;
    Counts c;
    c.gdi = long(h.Count(pid, Kind::Pen) + h.Count(pid, Kind::Brush) + h.Count(pid, Kind::Font) +
                 h.Count(pid, Kind::DC));
    c.icons = long(h.Count(pid, Kind::Icon));
    c.menus = long(h.Count(pid, Kind::Menu));
    c.handles = long(h.Count(pid, Kind::Mutex) + h.Count(pid, Kind::Semaphore) + h.Count(pid, Kind::ProcessHandle) +
                     h.Count(pid, Kind::ThreadHandle));
    c.snapshots = long(h.Count(pid, Kind::Snapshot));
    c.keys = long(h.Count(pid, Kind::RegKey));
    c.windows = long(h.Count(pid, Kind::Window));
    if (Process* p = FindProcess(pid)) c.heap = std::max(0L, p->heap_blocks - std::max(0L, p->runtime_blocks));
    return c;
}

void EndProcess(Process* p, int code, bool log) {
    Machine& m = M();
    p->exit_code = code;
    // The process's windows go with it, without messages: its code has ended.
    std::vector<HWND> windows;
    for (Object* o : m.handles.OfOwner(p->pid))
        if (o->kind == Kind::Window) windows.push_back(ToHandle<HWND>(o->handle));
    for (HWND h : windows) DestroyTree(h, false);
    // A window procedure left in another process's window would point into
    // code that no longer exists: the platform puts the class's back.
    std::vector<Object*> all;
    for (auto& [pid, proc] : m.processes)
        for (Object* o : m.handles.OfOwner(pid)) all.push_back(o);
    for (Object* o : all) {
        if (o->kind != Kind::Window) continue;
        auto* w = static_cast<Window*>(o);
        if (w->proc_owner == p->pid) {
            w->proc = w->class_proc;
            w->proc_owner = 0;
            Log("hook dangling " + NameOf(w->hwnd()));
        }
    }
    p->reclaimed = CountObjects(p->pid);
    if (p->image && p->image->private_heap) ReclaimHeap(p);
    for (Object* o : m.handles.OfOwner(p->pid)) m.handles.Erase(o->handle);
    for (Thread* t : p->threads) {
        t->timers.clear();
        t->posted.clear();
    }
    if (m.capture && !WinOf(m.capture)) m.capture = nullptr;
    LeaveSlot(p);
    p->alive = false;
    if (log) Log("exit " + std::to_string(code));
}

void KillAll() {
    Machine& m = M();
    for (auto& [tid, t] : m.threads) {
        if (!t->real || t->state == Thread::State::Exited || t->state == Thread::State::NotStarted) continue;
        t->killed = true;
        t->end_code = -1;
        m.baton.Run(t.get());
    }
    for (auto& [tid, t] : m.threads)
        if (t->os.joinable()) t->os.join();
}

void SoftReset() {
    Machine& m = M();
    KillAll();
    for (auto& [pid, p] : m.processes)
        if (p->alive) EndProcess(p.get(), 0, false);
    DropLeftovers();
    std::erase_if(m.classes, [](const std::shared_ptr<WindowClass>& c) {
        Process* p = FindProcess(c->pid);
        return !p || !p->alive;
    });
    m.zorder.clear();
    m.foreground = m.capture = m.focus = nullptr;
    m.taskbar = m.desktop = nullptr;
    m.shell = nullptr;
    m.pen_down = false;
    m.apps.reset();
}

void Advance(uint64_t ms) {
    Machine& m = M();
    uint64_t target = m.now + ms;
    RunUntilIdle();
    for (;;) {
        uint64_t due = NextTimerDue();
        if (due > target) break;
        if (due > m.now) m.now = due;
        RunUntilIdle();
        // A timer still due after the device went idle cannot be delivered
        // (its thread waits on a hung application): the clock goes on.
        if (NextTimerDue() <= m.now) break;
    }
    m.now = target;
    RunUntilIdle();
}

}  // namespace sim

// Kernel objects: last error, named mutexes, thread priority, process
// handles, module file names and tool-help snapshots of the processes.
#include <tlhelp32.h>

#include <algorithm>

#include "core.h"

namespace sim {

namespace {

// A named kernel object lives while some handle refers to it. A mutex is
// owned by one thread at a time, as often as that thread has taken it; one
// whose owner ended without giving it back is abandoned, and the next wait
// that takes it says so.
struct NamedMutex {
    sim::WString name;
    DWORD owner_tid = 0;
    unsigned count = 0;
};

struct MutexHandle : Object {
    static constexpr Kind kKind = Kind::Mutex;
    MutexHandle() : Object(Kind::Mutex) {}
    std::shared_ptr<NamedMutex> mutex;
};

struct ProcessHandle : Object {
    static constexpr Kind kKind = Kind::ProcessHandle;
    ProcessHandle() : Object(Kind::ProcessHandle) {}
    DWORD pid = 0;
};

struct Snapshot : Object {
    static constexpr Kind kKind = Kind::Snapshot;
    Snapshot() : Object(Kind::Snapshot) {}
    struct Entry {
        DWORD pid;
        DWORD parent;
        DWORD threads;
        sim::WString exe;
    };
    std::vector<Entry> entries;
    size_t next = 0;
};

struct Semaphore : Object {
    static constexpr Kind kKind = Kind::Semaphore;
    Semaphore() : Object(Kind::Semaphore) {}
    struct Count {
        LONG now = 0, max = 0;
    };
    std::shared_ptr<Count> count;
};

// TlsCall's slots, as many as the device has; the first few are the
// system's own.
constexpr DWORD kTlsSlots = 64;
constexpr DWORD kTlsFirstFree = 4;

struct KernelState {
    std::map<sim::WString, std::weak_ptr<NamedMutex>> mutexes;
    std::map<sim::WString, std::weak_ptr<Semaphore::Count>> semaphores;
    uint64_t tls_taken = (uint64_t(1) << kTlsFirstFree) - 1;
};

KernelState& K() {
    Machine& m = M();
    if (!m.kernel) m.kernel = std::make_shared<KernelState>();
    return *static_cast<KernelState*>(m.kernel.get());
}

// The device's pseudo-handles: its headers compute them inline, so a program
// built for it passes these very values.
const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(uintptr_t(0x42));
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(uintptr_t(0x41));


bool FillEntry(Snapshot* s, LPPROCESSENTRY32 pe) {
    if (s->next >= s->entries.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return false;
    }
    const Snapshot::Entry& e = s->entries[s->next++];
    DWORD size = pe->dwSize;
    *pe = PROCESSENTRY32{};
    pe->dwSize = size;
    pe->cntUsage = 1;
    pe->th32ProcessID = e.pid;
    pe->cntThreads = e.threads;
    pe->th32ParentProcessID = e.parent;
    size_t n = std::min<size_t>(e.exe.size(), MAX_PATH - 1);
    std::copy_n(e.exe.data(), n, pe->szExeFile);
    pe->szExeFile[n] = 0;
    return true;
}

}  // namespace

}  // namespace sim

using namespace sim;

namespace {

// The snapshot, or null with the last error the platform sets: a bad handle,
// or a record smaller than the platform's.
Snapshot* CheckSnapshot(HANDLE h, LPPROCESSENTRY32 pe) {
    Snapshot* s = M().handles.Get<Snapshot>(h);
    if (!s || !pe || pe->dwSize < sizeof(PROCESSENTRY32)) {
        SetLastError(s ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return s;
}

}  // namespace

extern "C" {

DWORD WINAPI GetLastError(void) {
    Thread* t = CurrentThread();
    return t ? t->last_error : 0;
}

void WINAPI SetLastError(DWORD code) {
    if (Thread* t = CurrentThread()) t->last_error = code;
}

HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCWSTR name) {
    SIM_API("CreateMutexW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto handle = std::make_unique<MutexHandle>();
    handle->owner_pid = CurrentPid();
    bool existed = false;
    if (name && *name) {
        auto& slot = K().mutexes[name];
        if (auto live = slot.lock()) {
            handle->mutex = live;
            existed = true;
        } else {
            handle->mutex = std::make_shared<NamedMutex>(NamedMutex{name});
            slot = handle->mutex;
        }
    } else {
        handle->mutex = std::make_shared<NamedMutex>();
    }
    // An existing mutex keeps its owner: the flag counts only for a new one.
    Thread* t = CurrentThread();
    if (!existed && initial_owner && t) {
        handle->mutex->owner_tid = t->tid;
        handle->mutex->count = 1;
    }
    HANDLE h = ToHandle<HANDLE>(M().handles.Insert(std::move(handle)));
    // Opening an existing named mutex succeeds and says so.
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL WINAPI ReleaseMutex(HANDLE h) {
    SIM_API("ReleaseMutex");
    MutexHandle* mh = M().handles.Get<MutexHandle>(h);
    if (!mh) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    NamedMutex& mx = *mh->mutex;
    Thread* t = CurrentThread();
    if (!t || mx.owner_tid != t->tid || mx.count == 0) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mx.count == 0) mx.owner_tid = 0;
    return TRUE;
}

// Mutexes and semaphores. A mutex another thread owns, or a semaphore at 0, answers WAIT_TIMEOUT to a wait
// of no time; the simulator does not block a thread on it for longer (such a
// wait fails with ERROR_NOT_SUPPORTED rather than pretend).
DWORD WINAPI WaitForSingleObject(HANDLE h, DWORD ms) {
    SIM_API("WaitForSingleObject");
    Machine& m = M();
    if (Semaphore* sem = m.handles.Get<Semaphore>(h)) {
        if (sem->count->now > 0) {
            --sem->count->now;
            return WAIT_OBJECT_0;
        }
        if (ms == 0) return WAIT_TIMEOUT;
        SetLastError(ERROR_NOT_SUPPORTED);
        return WAIT_FAILED;
    }
    MutexHandle* mh = m.handles.Get<MutexHandle>(h);
    Thread* t = CurrentThread();
    if (!mh || !t) {
        SetLastError(mh || m.handles.Find(FromHandle(h)) ? ERROR_NOT_SUPPORTED : ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    NamedMutex& mx = *mh->mutex;
    bool abandoned = false;
    if (mx.owner_tid != 0 && mx.owner_tid != t->tid) {
        auto owner = m.threads.find(mx.owner_tid);
        abandoned = owner == m.threads.end() || owner->second->state == Thread::State::Exited;
        if (!abandoned) {
            if (ms == 0) return WAIT_TIMEOUT;
            SetLastError(ERROR_NOT_SUPPORTED);
            return WAIT_FAILED;
        }
        mx.count = 0;
    }
    mx.owner_tid = t->tid;
    ++mx.count;
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

BOOL WINAPI CloseHandle(HANDLE h) {
    SIM_API("CloseHandle");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Machine& m = M();
    Object* o = m.handles.Find(FromHandle(h));
    if (!o || (o->kind != Kind::Mutex && o->kind != Kind::Semaphore && o->kind != Kind::ProcessHandle &&
               o->kind != Kind::ThreadHandle && o->kind != Kind::Snapshot)) {
        InvalidFree("CloseHandle", FromHandle(h));
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    m.handles.Erase(FromHandle(h));
    return TRUE;
}

HANDLE WINAPI CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initial, LONG maximum, LPCWSTR name) {
    SIM_API("CreateSemaphoreW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (maximum <= 0 || initial < 0 || initial > maximum) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto handle = std::make_unique<Semaphore>();
    handle->owner_pid = CurrentPid();
    bool existed = false;
    if (name && *name) {
        auto& slot = K().semaphores[name];
        existed = bool(handle->count = slot.lock());
        if (!existed) slot = handle->count = std::make_shared<Semaphore::Count>(Semaphore::Count{initial, maximum});
    } else {
        handle->count = std::make_shared<Semaphore::Count>(Semaphore::Count{initial, maximum});
    }
    HANDLE h = ToHandle<HANDLE>(M().handles.Insert(std::move(handle)));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL WINAPI ReleaseSemaphore(HANDLE h, LONG n, LPLONG previous) {
    SIM_API("ReleaseSemaphore");
    Semaphore* sem = M().handles.Get<Semaphore>(h);
    if (!sem) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Semaphore::Count& c = *sem->count;
    if (n <= 0 || n > c.max - c.now) {
        SetLastError(n <= 0 ? ERROR_INVALID_PARAMETER : ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (previous) *previous = c.now;
    c.now += n;
    return TRUE;
}

// Ends a process. The caller's own, from its thread, does not return: the
// thread ends where it is, as on the device.
BOOL WINAPI TerminateProcess(HANDLE h, DWORD code) {
    SIM_API("TerminateProcess");
    Process* target = nullptr;
    if (h == kCurrentProcess) {
        target = CurrentProcess();
    } else if (ProcessHandle* ph = M().handles.Get<ProcessHandle>(h)) {
        target = FindProcess(ph->pid);
    }
    if (!target || !target->alive) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Thread* os = CurrentOsThread();
    if (os && os->process == target) EndThread(os, int(code));
    TerminateOther(target, int(code));
    return TRUE;
}

DWORD WINAPI TlsCall(DWORD func, DWORD slot) {
    SIM_API("TlsCall");
    uint64_t& taken = K().tls_taken;
    if (func == TLS_FUNCALLOC) {
        for (DWORD i = kTlsFirstFree; i < kTlsSlots; ++i) {
            if (taken & (uint64_t(1) << i)) continue;
            taken |= uint64_t(1) << i;
            for (auto& [tid, t] : M().threads)
                if (t->tls_slots.size() > i) t->tls_slots[i] = 0;
            return i;
        }
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return TLS_OUT_OF_INDEXES;
    }
    if (func == TLS_FUNCFREE && slot >= kTlsFirstFree && slot < kTlsSlots && (taken & (uint64_t(1) << slot))) {
        taken &= ~(uint64_t(1) << slot);
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

LPVOID WINAPI TlsGetValue(DWORD slot) {
    SIM_API("TlsGetValue");
    Thread* t = CurrentThread();
    if (!t || slot >= kTlsSlots) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);  // a value of 0 is told from a failure so
    return slot < t->tls_slots.size() ? reinterpret_cast<LPVOID>(t->tls_slots[slot]) : nullptr;
}

BOOL WINAPI TlsSetValue(DWORD slot, LPVOID value) {
    SIM_API("TlsSetValue");
    Thread* t = CurrentThread();
    if (!t || slot >= kTlsSlots) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (t->tls_slots.size() <= slot) t->tls_slots.resize(kTlsSlots);
    t->tls_slots[slot] = reinterpret_cast<uintptr_t>(value);
    return TRUE;
}

// One thread runs at a time on the simulated device: the exchanges are plain.
LONG WINAPI InterlockedIncrement(LONG* p) { return ++*p; }
LONG WINAPI InterlockedDecrement(LONG* p) { return --*p; }
LONG WINAPI InterlockedCompareExchange(LONG* p, LONG exchange, LONG comparand) {
    LONG old = *p;
    if (old == comparand) *p = exchange;
    return old;
}

HANDLE WINAPI GetCurrentThread(void) { return kCurrentThread; }
HANDLE WINAPI GetCurrentProcess(void) { return kCurrentProcess; }
DWORD WINAPI GetCurrentThreadId(void) {
    Thread* t = CurrentThread();
    return t ? t->tid : 0;
}
DWORD WINAPI GetCurrentProcessId(void) { return CurrentPid(); }

BOOL WINAPI SetThreadPriority(HANDLE h, int priority) {
    SIM_API("SetThreadPriority");
    if (SIM_FAIL()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    Thread* t = CurrentThread();
    if (h != kCurrentThread || !t || priority < THREAD_PRIORITY_TIME_CRITICAL || priority > THREAD_PRIORITY_IDLE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    t->priority = priority;
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE h) {
    SIM_API("GetThreadPriority");
    Thread* t = CurrentThread();
    if (h != kCurrentThread || !t) return THREAD_PRIORITY_ERROR_RETURN;
    return t->priority;
}

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD pid) {
    SIM_API("OpenProcess");
    if (SIM_FAIL()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    Process* p = FindProcess(pid);
    if (!p || !p->alive) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto handle = std::make_unique<ProcessHandle>();
    handle->owner_pid = CurrentPid();
    handle->pid = pid;
    return ToHandle<HANDLE>(M().handles.Insert(std::move(handle)));
}

// On Windows CE a process handle names the process's executable; a null
// module is the caller's own executable.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    SIM_API("GetModuleFileNameW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    Machine& m = M();
    const Process* p = nullptr;
    if (!module) {
        p = CurrentProcess();
    } else if (auto* ph = m.handles.Get<ProcessHandle>(module)) {
        p = FindProcess(ph->pid);
    } else {
        for (auto& [pid, proc] : m.processes)
            if (proc->instance == module && proc->alive) p = proc.get();
    }
    if (!p || !buffer || size == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    DWORD n = static_cast<DWORD>(std::min<size_t>(p->exe_path.size(), size - 1));
    std::copy_n(p->exe_path.data(), n, buffer);
    buffer[n] = 0;
    if (p->exe_path.size() >= size) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return n;
}

DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(M().now); }

// The thread does nothing for a while: the clock moves on, and timers that
// fall due meanwhile are delivered when a thread next looks for messages.
void WINAPI Sleep(DWORD ms) { M().now += ms; }

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    SIM_API("CreateToolhelp32Snapshot");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (!(flags & TH32CS_SNAPPROCESS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Machine& m = M();
    auto snap = std::make_unique<Snapshot>();
    snap->owner_pid = CurrentPid();
    for (auto& [pid, p] : m.processes) {
        if (!p->alive) continue;
        snap->entries.push_back(
            Snapshot::Entry{pid, m.shell ? m.shell->pid : 0, static_cast<DWORD>(p->threads.size()), p->exe_name});
    }
    return ToHandle<HANDLE>(m.handles.Insert(std::move(snap)));
}

BOOL WINAPI Process32First(HANDLE h, LPPROCESSENTRY32 pe) {
    SIM_API("Process32First");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    Snapshot* s = CheckSnapshot(h, pe);
    if (!s) return FALSE;
    s->next = 0;
    return FillEntry(s, pe);
}

BOOL WINAPI Process32Next(HANDLE h, LPPROCESSENTRY32 pe) {
    SIM_API("Process32Next");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    Snapshot* s = CheckSnapshot(h, pe);
    return s ? FillEntry(s, pe) : FALSE;
}

BOOL WINAPI CloseToolhelp32Snapshot(HANDLE h) {
    SIM_API("CloseToolhelp32Snapshot");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Machine& m = M();
    if (!m.handles.Get<Snapshot>(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    m.handles.Erase(FromHandle(h));
    return TRUE;
}

}  // extern "C"

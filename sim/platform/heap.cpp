// The heap as programs on the device see it: blocks that a program's own
// code takes with new are counted per process (the platform's own work on
// the program's thread is not), and a test can make the nth of them fail.
//
// Every block carries a small header. A block of a program with a private
// heap is linked into its process's list, so that the platform can take
// back what the program still holds when its process ends, as the device
// does when a process exits or is ended mid-call.
//
// A program's block comes filled with 0xCD bytes, not the zeros a fresh page
// happens to hold, so that reading what was never written shows as garbage.
// Eight guard bytes follow it; a program that wrote into them has damaged
// the heap, which on the device ends it sooner or later: here its process
// faults when it gives the block back.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "core.h"

#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#else
#define VALGRIND_MAKE_MEM_UNDEFINED(address, size) ((void)(address), (void)(size))
#define VALGRIND_MAKE_MEM_NOACCESS(address, size) ((void)(address), (void)(size))
#define VALGRIND_MAKE_MEM_DEFINED(address, size) ((void)(address), (void)(size))
#endif

namespace sim {
namespace detail {
int& TlsApiDepth();
}

namespace {

struct alignas(alignof(std::max_align_t)) Header {
    Header* prev;
    Header* next;
    Process* owner;  // set only for blocks of a private heap
    std::size_t size;
    bool program;    // taken by a program's own code: filled and guarded
};

constexpr unsigned char kFresh = 0xCD;
constexpr unsigned char kGuard = 0xFD;
constexpr std::size_t kGuardSize = 8;

unsigned char* GuardOf(Header* h) { return reinterpret_cast<unsigned char*>(h + 1) + h->size; }

// True when the bytes after a program's block are as they were made.
bool GuardIntact(Header* h) {
    unsigned char* guard = GuardOf(h);
    VALGRIND_MAKE_MEM_DEFINED(guard, kGuardSize);
    for (std::size_t i = 0; i < kGuardSize; ++i)
        if (guard[i] != kGuard) return false;
    return true;
}

std::mutex& ListLock() {
    static std::mutex lock;
    return lock;
}

Process* CountedProcess() {
    if (!MaybeM()) return nullptr;
    Thread* t = CurrentThread();
    if (!t || !t->process->image || detail::TlsApiDepth() != 0) return nullptr;
    return t->process;
}

void Link(Header* h, Process* p) {
    std::lock_guard<std::mutex> hold(ListLock());
    h->owner = p;
    h->prev = nullptr;
    h->next = static_cast<Header*>(p->heap_list);
    if (h->next) h->next->prev = h;
    p->heap_list = h;
}

void Unlink(Header* h) {
    std::lock_guard<std::mutex> hold(ListLock());
    if (h->prev) h->prev->next = h->next;
    else h->owner->heap_list = h->next;
    if (h->next) h->next->prev = h->prev;
    --h->owner->heap_blocks;
}

void* TakeFor(Process* p, std::size_t n) {
    if (p && M().faults.OnAllocation()) return nullptr;
    if (n > SIZE_MAX - sizeof(Header) - kGuardSize) return nullptr;
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + n + (p ? kGuardSize : 0)));
    if (!h) return nullptr;
    h->owner = nullptr;
    h->size = n;
    h->program = p != nullptr;
    if (p) {
        std::memset(h + 1, kFresh, n);
        std::memset(GuardOf(h), kGuard, kGuardSize);
        // To memcheck the block is still unwritten, and the guard out of bounds.
        VALGRIND_MAKE_MEM_UNDEFINED(h + 1, n);
        VALGRIND_MAKE_MEM_NOACCESS(GuardOf(h), kGuardSize);
        ++p->heap_blocks;
        ++p->heap_allocations;
        if (p->image->private_heap) Link(h, p);
    }
    return h + 1;
}

void* Take(std::size_t n) { return TakeFor(CountedProcess(), n); }

void GiveFor(void* block, Process* p) {
    if (!block) return;
    Header* h = static_cast<Header*>(block) - 1;
    Process* owner = h->owner ? h->owner : p;
    if (h->program && owner && !GuardIntact(h)) {
        PlatformScope platform;  // the log's own blocks are not the program's
        Log("fault in " + owner->name + ": wrote past the end of a heap block of " + std::to_string(h->size) +
            " bytes");
        TerminateOther(owner, static_cast<int>(0xC0000005));  // STATUS_ACCESS_VIOLATION
    }
    if (h->owner) Unlink(h);
    else if (p) --p->heap_blocks;
    std::free(h);
}

void Give(void* block) { GiveFor(block, block ? CountedProcess() : nullptr); }

}  // namespace

void* ProgramAlloc(size_t n) { return TakeFor(CurrentProcess(), n ? n : 1); }

void* ProgramRealloc(void* block, size_t n) {
    if (!block) return ProgramAlloc(n);
    if (n == 0) {
        ProgramFree(block);
        return nullptr;
    }
    void* moved = ProgramAlloc(n);
    if (!moved) return nullptr;  // the old block stays as it was
    Header* h = static_cast<Header*>(block) - 1;
    std::memcpy(moved, block, std::min(h->size, n));
    ProgramFree(block);
    return moved;
}

void ProgramFree(void* block) { GiveFor(block, CurrentProcess()); }

void ReclaimHeap(Process* p) {
    std::lock_guard<std::mutex> hold(ListLock());
    auto* h = static_cast<Header*>(p->heap_list);
    while (h) {
        Header* next = h->next;
        std::free(h);
        h = next;
    }
    p->heap_list = nullptr;
    p->heap_blocks = 0;
}

}  // namespace sim

void* operator new(std::size_t n) {
    void* p = sim::Take(n);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t n) {
    void* p = sim::Take(n);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return sim::Take(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return sim::Take(n); }
void operator delete(void* p) noexcept { sim::Give(p); }
void operator delete[](void* p) noexcept { sim::Give(p); }
void operator delete(void* p, std::size_t) noexcept { sim::Give(p); }
void operator delete[](void* p, std::size_t) noexcept { sim::Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { sim::Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { sim::Give(p); }

namespace sim::detail {
// Referenced by the machine so that the linker always takes this file's
// replacements of the global allocation functions from the library.
void HeapAnchor() {}
}  // namespace sim::detail

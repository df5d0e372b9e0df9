// The heap as programs on the device see it: blocks that a program's own
// code takes with new are counted per process (the platform's own work on
// the program's thread is not), and a test can make the nth of them fail.
//
// Every block carries a small header. A block of a program with a private
// heap is linked into its process's list, so that the platform can take
// back what the program still holds when its process ends, as the device
// does when a process exits or is ended mid-call.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "core.h"

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
};

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
    if (n > SIZE_MAX - sizeof(Header)) return nullptr;
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + n));
    if (!h) return nullptr;
    h->owner = nullptr;
    h->size = n;
    if (p) {
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

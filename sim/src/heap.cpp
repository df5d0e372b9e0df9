// The heap as programs on the device see it: blocks that a program's own
// code takes with new are counted per process (the platform's own work on
// the program's thread is not), and a test can make the nth of them fail.
#include <cstdlib>
#include <new>

#include "core.h"

namespace sim {
namespace detail {
int& TlsApiDepth();
}

namespace {

Process* CountedProcess() {
    if (!MaybeM()) return nullptr;
    Thread* t = CurrentThread();
    if (!t || !t->process->image || detail::TlsApiDepth() != 0) return nullptr;
    return t->process;
}

void* Take(std::size_t n) {
    Process* p = CountedProcess();
    if (p && M().faults.OnAllocation()) return nullptr;
    void* block = std::malloc(n ? n : 1);
    if (block && p) {
        ++p->heap_blocks;
        ++p->heap_allocations;
    }
    return block;
}

void Give(void* block) {
    if (!block) return;
    if (Process* p = CountedProcess()) --p->heap_blocks;
    std::free(block);
}

}  // namespace
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

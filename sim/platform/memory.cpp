// Virtual memory as a program sees its own image: VirtualQuery and
// VirtualProtect over the pages of a loaded executable. Other addresses are
// no memory the simulated device gave the program.
#include <sys/mman.h>

#include <algorithm>
#include <mutex>

#include "core.h"
#include "exports.h"

namespace sim {
namespace {

constexpr uintptr_t kPage = 4096;

struct Pages {
    uintptr_t base, size;
    std::vector<DWORD> protect;  // one a page
};

// An image stays mapped for the life of the host process, whichever device
// runs it, so its pages are kept beside the devices rather than in one.
struct Images {
    std::mutex lock;
    std::vector<Pages> images;
} g_images;

Pages* Find(uintptr_t at) {
    for (Pages& p : g_images.images)
        if (at >= p.base && at - p.base < p.size) return &p;
    return nullptr;
}

int HostProtection(DWORD protect) {
    switch (protect & 0xff) {
    case PAGE_NOACCESS: return PROT_NONE;
    case PAGE_READONLY: return PROT_READ;
    case PAGE_READWRITE: return PROT_READ | PROT_WRITE;
    case PAGE_EXECUTE: return PROT_EXEC;
    case PAGE_EXECUTE_READ: return PROT_READ | PROT_EXEC;
    case PAGE_EXECUTE_READWRITE: return PROT_READ | PROT_WRITE | PROT_EXEC;
    default: return -1;
    }
}

}  // namespace

void AddImagePages(uintptr_t base, size_t size, DWORD protect) {
    std::lock_guard<std::mutex> hold(g_images.lock);
    size = (size + kPage - 1) / kPage * kPage;
    Pages* p = Find(base);
    if (!p) {
        g_images.images.push_back(Pages{base, size, std::vector<DWORD>(size / kPage, protect)});
        return;
    }
    for (uintptr_t at = base; at < base + size && at - p->base < p->size; at += kPage)
        p->protect[(at - p->base) / kPage] = protect;
}

}  // namespace sim

using namespace sim;

extern "C" {

DWORD WINAPI VirtualQuery(LPCVOID address, PMEMORY_BASIC_INFORMATION info, DWORD length) {
    SIM_API("VirtualQuery");
    std::lock_guard<std::mutex> hold(g_images.lock);
    Pages* p = Find(reinterpret_cast<uintptr_t>(address));
    if (!p || !info || length < sizeof(MEMORY_BASIC_INFORMATION)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t page = (reinterpret_cast<uintptr_t>(address) - p->base) / kPage;
    size_t end = page;
    while (end < p->protect.size() && p->protect[end] == p->protect[page]) ++end;
    *info = MEMORY_BASIC_INFORMATION{};
    info->BaseAddress = reinterpret_cast<PVOID>(p->base + page * kPage);
    info->AllocationBase = reinterpret_cast<PVOID>(p->base);
    info->AllocationProtect = PAGE_EXECUTE_READWRITE;
    info->RegionSize = DWORD((end - page) * kPage);
    info->State = MEM_COMMIT;
    info->Protect = p->protect[page];
    info->Type = MEM_IMAGE;
    return sizeof(MEMORY_BASIC_INFORMATION);
}

BOOL WINAPI VirtualProtect(LPVOID address, DWORD size, DWORD protect, PDWORD old) {
    SIM_API("VirtualProtect");
    std::lock_guard<std::mutex> hold(g_images.lock);
    uintptr_t from = reinterpret_cast<uintptr_t>(address) / kPage * kPage;
    uintptr_t to = reinterpret_cast<uintptr_t>(address) + std::max<DWORD>(size, 1);
    Pages* p = Find(from);
    int host = HostProtection(protect);
    if (!p || !old || host < 0 || to - p->base > p->size || SIM_FAIL()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    to = (to + kPage - 1) / kPage * kPage;
    // The host keeps the pages writable and executable whatever the program
    // asks: its own loader writes them, and qemu needs no more.
    (void)host;
    *old = p->protect[(from - p->base) / kPage];
    for (uintptr_t at = from; at < to; at += kPage) p->protect[(at - p->base) / kPage] = protect;
    return TRUE;
}

}  // extern "C"

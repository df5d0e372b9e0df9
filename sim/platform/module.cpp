#include "module.h"

#include "core.h"

namespace sim {

namespace {

const Process* ProcessOf(HINSTANCE instance) {
    if (!instance) return nullptr;
    const Process* own = CurrentProcess();
    if (own && own->instance == instance && own->image) return own;
    for (const auto& [pid, process] : M().processes)
        if (process && process->instance == instance && process->image) return process.get();
    return nullptr;
}

}  // namespace

std::optional<res::ResourceFile> ModuleResources(HINSTANCE instance) {
    const Process* process = ProcessOf(instance);
    std::optional<res::ResourceFile> file;
    if (process) file = res::ResourceFile::Parse(process->image->resources.data(), process->image->resources.size());
    if (!file) SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return file;
}

res::Id ResourceName(LPCWSTR name) {
    return IS_INTRESOURCE(name) ? res::Id::Of(uint16_t(FromHandle(name))) : res::Id::FromName(name);
}

}  // namespace sim

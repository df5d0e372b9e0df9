// The resources of a program's module, as LoadIconW and LoadMenuW find them.
#pragma once

#include <sim/resources.h>
#include <windows.h>

#include <optional>

namespace sim {

// The parsed resources of the module that an instance handle names. Every
// instance of an image shares one handle, so the caller's own process comes
// first. Nothing, with ERROR_RESOURCE_DATA_NOT_FOUND as the last error, when
// the handle names no module or its resources are damaged.
std::optional<res::ResourceFile> ModuleResources(HINSTANCE instance);

// A resource name as programs pass it: an ordinal by MAKEINTRESOURCE, or a string.
res::Id ResourceName(LPCWSTR name);

}  // namespace sim

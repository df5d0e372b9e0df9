// What the DLLs of the simulated device export to a program loaded from a
// Windows CE executable, and the pages such a program's image occupies.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

// The function that the device's DLL exports under `name` (DLL names
// without regard to case, with or without ".dll"): the platform's own,
// called directly by the program's code. nullptr for a name it lacks.
const void* DeviceExport(std::string_view dll, std::string_view name);
// True for a DLL that the simulated device has (COREDLL, TOOLHELP,
// AYGSHELL, COMMCTRL).
bool DeviceDll(std::string_view dll);
// Every (DLL, name) that the simulated device exports.
std::vector<std::pair<std::string, std::string>> DeviceExportTable();

// The pages of a loaded image with their protection (PAGE_*), for
// VirtualQuery and VirtualProtect: the first call for an image gives all of
// it, later ones (within it) a section's.
void AddImagePages(uintptr_t base, size_t size, DWORD protect);

}  // namespace sim

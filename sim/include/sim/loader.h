// Windows CE ARM executables on the simulated device: read, checked and
// mapped as the device's loader does it, their imports bound to the
// simulated device's own DLL exports, so that the program's ARM code calls
// the platform directly. Only a build for 32-bit ARM (preset arm) runs that
// code; every build reads and checks an executable.
#pragma once

#include <sim/device.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace sim {

// True where this build can run a loaded executable's ARM code.
bool RunsArmCode();

// Loads FILE as the device's loader would: a PE32 image for ARM (0x1c0)
// with an ARM-state entry point and the Windows CE GUI subsystem, whose
// every import, by name, is exported by a DLL of the simulated device. The
// image is mapped at its base address (rebased where it has relocations and
// the address is taken), its imports bound, and each fresh process gets its
// data as the file declares it; its resources are those of its .rsrc.
// Started, it runs as the device starts a program:
// WinMainCRTStartup(image base, NULL, "", SW_SHOW) on the process's GUI
// thread. nullopt when the device would refuse the file (or this build runs
// no ARM code), with *error naming the file and the reason.
std::optional<ProgramImage> LoadExecutable(const std::string& file, std::string* error);
// The same for an executable's bytes (a file of the device's own store);
// `name` names it in the refusal, `device_path` is where the device keeps it.
std::optional<ProgramImage> LoadExecutable(const std::vector<uint8_t>& bytes, const std::string& name,
                                           const sim::WString& device_path, std::string* error);

// Every (DLL, function) that the simulated device exports to a loaded
// executable.
std::vector<std::pair<std::string, std::string>> DeviceExports();

}  // namespace sim

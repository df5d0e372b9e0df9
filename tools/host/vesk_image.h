// vesk as a program image for the simulated device: its WinMain, its
// compiled resources and a fresh set of globals for every new process.
#pragma once

#include <sim/device.h>

#include <optional>
#include <string>

namespace vesk_host {

// The image that sim::Device::Start runs: "\Windows\vesk.exe".
const sim::ProgramImage& VeskImage();

// The program that StartVesk starts from now on: a Windows CE executable
// loaded from FILE (sim/loader.h) in place of the vesk built into this
// program. False, with *error naming the file and why, when it cannot be
// loaded. Without a call, the environment's VESK_DEVICE_EXE names one.
bool UseExecutable(const std::string& file, std::string* error);
// The executable in use, or "" for the built-in vesk.
const std::string& ExecutableInUse();

// Boots nothing; starts vesk on the device and returns its process id.
DWORD StartVesk(sim::Device& device);

// The program image that a file of the device stands for, when the shell
// starts it (sim::Device::Reset): the one place that decides what runs. A
// Windows CE executable runs as itself where this build runs ARM code (the
// arm build), loaded from the file's bytes as the device's loader would,
// and a file the loader refuses does not start (*why says why). Elsewhere,
// and for a file that is no executable (the tests' stand-in), the paths
// where vesk.exe is, \Program Files\vesk\vesk.exe as its cabinet installs
// it and \Windows\vesk.exe where `start` puts it, stand for vesk built from
// source. Any other path: none.
std::optional<sim::ProgramImage> ImageFor(const sim::WString& path, const std::vector<uint8_t>& file,
                                          std::string* why);

}  // namespace vesk_host

// vesk as a program image for the simulated device: its WinMain, its
// compiled resources and a fresh set of globals for every new process.
#pragma once

#include <sim/device.h>

#include <optional>

namespace vesk_host {

// The image that sim::Device::Start runs: "\Windows\vesk.exe".
const sim::ProgramImage& VeskImage();

// Boots nothing; starts vesk on the device and returns its process id.
DWORD StartVesk(sim::Device& device);

// The program image that a device path stands for, when the shell starts a
// file (sim::Device::Reset): the one place that decides what runs. The
// simulator cannot run the ARM code of a Windows CE executable yet, so the
// paths where vesk.exe is, \Program Files\vesk\vesk.exe as its cabinet
// installs it and \Windows\vesk.exe where `start` puts it, stand for vesk
// built from source, whatever bytes the file holds. Any other path: none.
std::optional<sim::ProgramImage> ImageFor(const sim::WString& path);

}  // namespace vesk_host

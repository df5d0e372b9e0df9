// vesk as a program image for the simulated device: its WinMain, its
// compiled resources and a fresh set of globals for every new process.
#pragma once

#include <sim/device.h>

namespace vesk_host {

// The image that sim::Device::Start runs: "\Windows\vesk.exe".
const sim::ProgramImage& VeskImage();

// Boots nothing; starts vesk on the device and returns its process id.
DWORD StartVesk(sim::Device& device);

}  // namespace vesk_host

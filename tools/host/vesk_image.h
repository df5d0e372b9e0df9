// vesk as a program image for the simulated device: its WinMain, its
// compiled resources and a fresh set of globals for every new process.
#pragma once

#include <sim/device.h>

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

}  // namespace vesk_host

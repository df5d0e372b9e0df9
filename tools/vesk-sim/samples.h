// The sample applications that make the simulated device look lived in.
#pragma once

#include <sim/device.h>

#include <vector>

namespace vesk_sim {

// The applications launched at boot, back to front: windows that close on
// WM_CLOSE, one with the caption's "ok" button, a property sheet, the
// applications whose icons come from the shell's shortcut files, one whose
// title is too long for the task menu, and a window of the shell's own
// process.
std::vector<sim::AppConfig> BootSamples();

// The n-th application launched on request (n from 0): more samples first,
// then further copies of the boot set under numbered names.
sim::AppConfig ExtraSample(int n);

}  // namespace vesk_sim

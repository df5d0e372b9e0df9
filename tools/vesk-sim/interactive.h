// The interactive device window: the simulated screen in a real window,
// the mouse as the pen, the virtual clock following real time.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

#include "options.h"

namespace vesk_sim {

// Boots the device with the sample applications and vesk and runs the window
// until Escape or until it is closed. With a cabinet (--install), the device
// installs it and soft-resets, so that what the cabinet put in StartUp
// starts, before the sample applications are launched; a cabinet the
// installer cannot use throws. Sets *no_display (and returns without
// booting anything) when no display can be opened. Returns the exit code.
int RunWindow(const Options& options, std::ostream& out, std::ostream& err, bool* no_display,
              const std::vector<uint8_t>* cabinet = nullptr);

}  // namespace vesk_sim

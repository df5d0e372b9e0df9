// The interactive device window: the simulated screen in a real window,
// the mouse as the pen, the virtual clock following real time.
#pragma once

#include <iosfwd>

#include "options.h"

namespace vesk_sim {

// Boots the device with the sample applications and vesk and runs the window
// until Escape or until it is closed. Sets *no_display (and returns without
// booting anything) when no display can be opened. Returns the exit code.
int RunWindow(const Options& options, std::ostream& out, std::ostream& err, bool* no_display);

}  // namespace vesk_sim

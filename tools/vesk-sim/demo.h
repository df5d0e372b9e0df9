// The demo tour: the built-in script that shows what vesk does, played into
// a folder with its screenshots, its event log and a contact sheet.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>

namespace vesk_sim {

// The tour's script text, built into the program from demo.vsk.
std::string DemoScript();

// Plays the tour into `dir` and prints where everything is. Returns the exit
// code (player.h).
int RunDemo(const std::filesystem::path& dir, std::ostream& out, std::ostream& err);

}  // namespace vesk_sim

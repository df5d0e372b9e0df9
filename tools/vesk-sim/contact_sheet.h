// The contact sheet: every screenshot of a play as a captioned thumbnail on
// one PNG, so a whole tour can be looked over at a glance.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "player.h"

namespace vesk_sim {

// Reads the shots back from their files and writes the sheet. The captions
// are drawn with the simulator's own text engine, for which this boots a
// device of its own: no other simulated device may be on. False (and why) on
// failure.
bool WriteContactSheet(const std::vector<ShotRecord>& shots, const std::string& title,
                       const std::filesystem::path& path, std::string* error);

}  // namespace vesk_sim

// The script player: boots the script's device, plays its commands through
// the driver API, checks its expectations and writes the event log and the
// screenshots into the output folder.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

#include "script.h"

namespace vesk_sim {

// The player's exit codes, which are also vesk-sim's.
enum ExitCode : int {
    kExitOk = 0,
    kExitExpectation = 1,  // an expect... command failed
    kExitScript = 2,       // bad usage, a malformed script, or a command that cannot be carried out
};

struct ShotRecord {
    std::string file;             // as the script names it, relative to the output folder
    std::filesystem::path path;   // where it was written
    std::string caption;          // the comment or command before it
    int line = 0;
};

struct PlayResult {
    int exit_code = kExitOk;
    std::string message;  // "FILE:LINE: ..." when the play did not succeed
    std::vector<ShotRecord> shots;
    std::vector<std::string> log;  // every event line, as events.log holds them
    std::filesystem::path log_path;
    sim::DeviceConfig device;
};

// Plays the script; creates `out_dir` if missing. Writes events.log even when
// a command fails. Messages go to `err`. `files` reads the cabinets that
// `install` names.
PlayResult Play(const Script& script, const std::filesystem::path& out_dir, std::ostream& err,
                const Loader& files = ReadScriptFile);

// Writes the lines, one a line, to a file; false (and why) on failure.
bool WriteLines(const std::filesystem::path& path, const std::vector<std::string>& lines, std::string* error);

}  // namespace vesk_sim

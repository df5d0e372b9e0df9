// The script player of the Wine test host: plays a vesk-sim script (the same
// language, parsed by the same parser) on desktop Windows, with vesk inside
// the stand-in shell and every application a process of its own, and writes
// the same event log lines as the simulator does.
//
// The platform runs on real time: `wait` lets real milliseconds pass, and a
// check holds once the platform has settled: `expect`, `expect-window` and
// `expect-pixel` wait (boundedly) for what they name, `expect-not` waits for
// a quiet spell first. What this side cannot honour is reported as skipped
// for its line, with the reason; a command after which the script cannot go
// on here (turning the screen) skips the rest of the script, with the reason.
#pragma once

#include <string>

namespace host {

// Plays the script and writes OUT/events.log. The player sets the script's
// device up (its screen size and dpi) and plays the script again in a process
// of its own on a desktop of that size; the second process is told so by
// `on_device`. While the pen is down, the
// commands are made at their times in the script, or the play does not
// count: that process then answers 4 and the script is played again, three
// plays at most; in the last (`last_play`) the same lateness skips the rest of
// the script. Prints
// one line a skipped command and a closing "[ PASS ]", "[ SKIP ]" or
// "[ FAIL ]" line; answers 0 when the script passed, 1 when an expectation
// failed, 2 when the script could not be played.
int PlayScript(const std::string& script, const std::string& out, bool on_device, bool last_play = false);

}  // namespace host

#include "demo.h"

#include <cstddef>
#include <ostream>

#include "contact_sheet.h"
#include "player.h"
#include "script.h"

// The demo tour, built in from demo.vsk (cmake/embed.cmake).
extern "C" const unsigned char g_demoScript[];
extern "C" const unsigned long g_demoScriptSize;

namespace vesk_sim {

std::string DemoScript() { return std::string(reinterpret_cast<const char*>(g_demoScript), g_demoScriptSize); }

int RunDemo(const std::filesystem::path& dir, std::ostream& out, std::ostream& err) {
    // The tour includes nothing: it must play the same wherever the program is.
    ParseResult parsed = ParseScript(DemoScript(), "demo.vsk", nullptr);
    if (!parsed.ok()) {
        err << parsed.error.Format() << '\n';
        return kExitScript;
    }
    out << "vesk-sim: playing the demo tour into " << dir.string() << std::endl;
    PlayResult played = Play(*parsed.script, dir, err);
    if (played.log_path.empty()) return played.exit_code;

    const sim::DeviceConfig& d = parsed.script->device;
    std::string title = "vesk demo tour - Pocket PC " + std::to_string(d.width) + "x" + std::to_string(d.height) +
                        ", " + std::to_string(d.dpi) + " dpi";
    std::filesystem::path sheet = dir / "contact-sheet.png";
    std::string why;
    bool sheet_ok = WriteContactSheet(played.shots, title, sheet, &why);
    if (!sheet_ok) err << "vesk-sim: no contact sheet: " << why << '\n';

    out << "  screenshots:   " << played.shots.size() << " in " << dir.string() << '\n';
    if (sheet_ok) out << "  contact sheet: " << sheet.string() << '\n';
    out << "  event log:     " << played.log_path.string() << '\n';
    if (played.exit_code != kExitOk) {
        out << "vesk-sim: the tour stopped early, at the step reported above" << std::endl;
        return played.exit_code;
    }
    if (!sheet_ok) return kExitScript;
    out << std::flush;
    return kExitOk;
}

}  // namespace vesk_sim

// The script parser of vesk-sim on any bytes: it answers a script or an
// error with a file and a line, and never crashes. Included files come from
// a loader that knows one small script and one that includes itself.
#include <string>

#include "script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto loader = [](const std::string& path, std::string* error) -> std::optional<std::string> {
        if (path.find("apps.vsk") != std::string::npos) return std::string("app notes title=\"Notes\"\nstart\n");
        if (path.find("self.vsk") != std::string::npos) return std::string("include \"self.vsk\"\n");
        *error = "no such file";
        return std::nullopt;
    };
    vesk_sim::ParseResult result = vesk_sim::ParseScript(text, "fuzz.vsk", loader);
    if (result.ok()) {
        for (const vesk_sim::Command& cmd : result.script->commands)
            if (const auto* shot = std::get_if<vesk_sim::ShotCmd>(&cmd.action))
                (void)vesk_sim::CheckShotName(shot->file);
    } else {
        (void)result.error.Format();
    }
    return 0;
}

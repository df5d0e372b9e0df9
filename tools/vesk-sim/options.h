// vesk-sim's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vesk_sim {

struct Options {
    enum class Mode { Window, Demo, Script, Help, Version };
    Mode mode = Mode::Window;
    std::string script;            // --script FILE
    std::string exe;               // --exe FILE: the Windows CE executable that runs as vesk
    std::string install;           // --install FILE.cab
    std::filesystem::path out;     // --out DIR, or the demo's DIR
    bool out_given = false;
    int width = 240, height = 320, dpi = 96;  // --device WxH, --dpi N (the window's device)
    int dpi_y = 0;                            // --dpi HxV: V; 0 the same as dpi
    bool device_given = false;
    int zoom = 0;  // --zoom N; 0: 2 for screens up to 320 pixels wide, else 1
    int Zoom() const { return zoom > 0 ? zoom : (width <= 320 ? 2 : 1); }
};

struct OptionsResult {
    std::optional<Options> options;
    std::string error;  // what is wrong with the command line
};

OptionsResult ParseOptions(const std::vector<std::string>& args);

// The whole manual: options, the script language and its event log.
const char* HelpText();
std::string VersionText();

inline constexpr const char* kDefaultDemoDir = "vesk-sim-demo";
inline constexpr const char* kDefaultOutDir = "vesk-sim-out";

}  // namespace vesk_sim

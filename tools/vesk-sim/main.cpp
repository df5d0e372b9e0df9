// vesk-sim: vesk on a simulated Pocket PC, in a window, as a demo tour, or
// playing a script.
#include <filesystem>
#include <iostream>

#include "demo.h"
#include "interactive.h"
#include "options.h"
#include "player.h"
#include "script.h"
#include "vesk_image.h"

namespace {

int PlayScript(const vesk_sim::Options& o) {
    std::string why;
    std::optional<std::string> text = vesk_sim::ReadScriptFile(o.script, &why);
    if (!text) {
        std::cerr << "vesk-sim: cannot read the script " << o.script << ": " << why << '\n';
        return vesk_sim::kExitScript;
    }
    vesk_sim::ParseResult parsed = vesk_sim::ParseScript(*text, o.script);
    if (!parsed.ok()) {
        std::cerr << parsed.error.Format() << '\n';
        return vesk_sim::kExitScript;
    }
    vesk_sim::PlayResult played = vesk_sim::Play(*parsed.script, o.out, std::cerr);
    if (!played.log_path.empty())
        std::cout << "vesk-sim: " << played.shots.size() << " screenshots and events.log in " << o.out.string()
                  << std::endl;
    return played.exit_code;
}

// --install without a display: the device installs the cabinet and
// soft-resets, what StartUp started is quit, and the event log is written.
int InstallWithoutWindow(const vesk_sim::Options& o, const std::vector<uint8_t>& cabinet) {
    sim::Device device(sim::DeviceConfig{.width = o.width, .height = o.height, .dpi = o.dpi, .dpi_y = o.dpi_y});
    std::string why;
    if (!device.Install(cabinet, &why)) {
        std::cerr << "vesk-sim: " << o.install << ": " << why << '\n';
        return vesk_sim::kExitScript;
    }
    int code = vesk_sim::kExitOk;
    for (DWORD pid : device.Reset(vesk_host::ImageFor)) {
        device.Close(pid, u"VeskClass");
        if (device.Running(pid)) {
            std::cerr << "vesk-sim: vesk did not end after WM_CLOSE to its button\n";
            code = vesk_sim::kExitScript;
        }
    }
    std::error_code ec;
    std::filesystem::create_directories(o.out, ec);
    std::filesystem::path log = o.out / "events.log";
    if (!vesk_sim::WriteLines(log, device.Log(), &why)) {
        std::cerr << "vesk-sim: " << why << '\n';
        return vesk_sim::kExitScript;
    }
    std::cout << "vesk-sim: installed " << o.install << " and reset the device; event log: " << log.string()
              << std::endl;
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vesk_sim::OptionsResult parsed = vesk_sim::ParseOptions(args);
    if (!parsed.options) {
        std::cerr << "vesk-sim: " << parsed.error << "\nTry 'vesk-sim --help' for the options.\n";
        return vesk_sim::kExitScript;
    }
    const vesk_sim::Options& o = *parsed.options;
    if (!o.exe.empty()) {
        std::string why;
        if (!vesk_host::UseExecutable(o.exe, &why)) {
            std::cerr << "vesk-sim: " << why << '\n';
            return vesk_sim::kExitScript;
        }
    }
    try {
        switch (o.mode) {
        case vesk_sim::Options::Mode::Help: std::cout << vesk_sim::HelpText(); return 0;
        case vesk_sim::Options::Mode::Version: std::cout << vesk_sim::VersionText() << '\n'; return 0;
        case vesk_sim::Options::Mode::Script: return PlayScript(o);
        case vesk_sim::Options::Mode::Demo: return vesk_sim::RunDemo(o.out, std::cout, std::cerr);
        case vesk_sim::Options::Mode::Window: {
            std::vector<uint8_t> cabinet;
            if (!o.install.empty()) {
                std::string why;
                std::optional<std::string> bytes = vesk_sim::ReadScriptFile(o.install, &why);
                if (!bytes) {
                    std::cerr << "vesk-sim: cannot read the cabinet " << o.install << ": " << why << '\n';
                    return vesk_sim::kExitScript;
                }
                cabinet.assign(bytes->begin(), bytes->end());
            }
            bool no_display = false;
            int code = vesk_sim::RunWindow(o, std::cout, std::cerr, &no_display, o.install.empty() ? nullptr : &cabinet);
            if (!no_display) return code;
            if (!o.install.empty()) {
                std::cout << "vesk-sim: no display; installing without the window" << std::endl;
                return InstallWithoutWindow(o, cabinet);
            }
            std::cout << "vesk-sim: no display; playing the demo tour instead";
            if (o.device_given || o.dpi != 96 || o.dpi_y) std::cout << " (on its own device, 240x320 at 96 dpi)";
            std::cout << std::endl;
            return vesk_sim::RunDemo(o.out_given ? o.out : vesk_sim::kDefaultDemoDir, std::cout, std::cerr);
        }
        }
    } catch (const std::exception& e) {
        std::cerr << "vesk-sim: " << e.what() << '\n';
        return vesk_sim::kExitScript;
    }
    return 0;
}

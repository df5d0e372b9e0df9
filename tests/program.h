// Test support: code that runs as a program on the simulated device, on a
// GUI thread of its own, as vesk does.
#pragma once

#include <sim/device.h>

#include <functional>
#include <string>

#include "vesk_image.h"

namespace testing_support {

// Runs body as the whole of a program's code on the device and returns its
// exit code; the device is idle again afterwards.
inline int RunProgram(sim::Device& device, std::function<int()> body,
                      const sim::WString& exe = u"\\Windows\\probe.exe") {
    sim::ProgramImage image;
    image.exe_path = exe;
    image.resources = vesk_host::VeskImage().resources;
    image.entry = [body](HINSTANCE) { return body(); };
    DWORD pid = device.Start(image);
    auto code = device.ExitCode(pid);
    return code ? *code : -1000;
}

// Lines of the device's event log from index `from` on that contain text.
inline std::vector<std::string> LogLines(const sim::Device& device, const std::string& text, size_t from = 0) {
    std::vector<std::string> out;
    const auto& log = device.Log();
    for (size_t i = from; i < log.size(); ++i)
        if (log[i].find(text) != std::string::npos) out.push_back(log[i]);
    return out;
}

}  // namespace testing_support

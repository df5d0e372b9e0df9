#include "vesk_image.h"

#include <sim/loader.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "vesk.h"
#include "vesk_res.h"

namespace vesk_host {

namespace {

// vesk's writable data, gathered into two sections when vesk is built
// (cmake/fresh_globals.cmake); the linker marks where each begins and ends.
extern "C" {
extern char __start_vesk_data[] __attribute__((weak));
extern char __stop_vesk_data[] __attribute__((weak));
extern char __start_vesk_bss[] __attribute__((weak));
extern char __stop_vesk_bss[] __attribute__((weak));
}

// Byte by byte and uninstrumented: the sections hold the sanitizers' guard
// bytes between globals as well.
__attribute__((no_sanitize("address"))) void CopyBytes(volatile char* to, const volatile char* from, size_t n) {
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
}
__attribute__((no_sanitize("address"))) void ZeroBytes(volatile char* to, size_t n) {
    for (size_t i = 0; i < n; ++i) to[i] = 0;
}

size_t DataSize() { return size_t(__stop_vesk_data - __start_vesk_data); }

// The initialised data as the image declares it, taken before any vesk code runs.
const std::vector<char> g_initialData = [] {
    std::vector<char> copy(DataSize());
    CopyBytes(copy.data(), __start_vesk_data, copy.size());
    return copy;
}();

// A new process starts with its globals as the program's image declares them.
void ResetGlobals() {
    CopyBytes(__start_vesk_data, g_initialData.data(), g_initialData.size());
    ZeroBytes(__start_vesk_bss, size_t(__stop_vesk_bss - __start_vesk_bss));
}

sim::ProgramImage MakeImage() {
    sim::ProgramImage image;
    image.exe_path = u"\\Windows\\vesk.exe";
    image.resources.assign(g_veskResources, g_veskResources + g_veskResourcesSize);
    image.entry = [](HINSTANCE instance) {
        static WCHAR command_line[] = u"";
        return WinMain(instance, NULL, command_line, SW_SHOW);
    };
    image.reset = ResetGlobals;
    image.private_heap = true;
    return image;
}

}  // namespace

const sim::ProgramImage& VeskImage() {
    static const sim::ProgramImage image = MakeImage();
    return image;
}

namespace {

struct InUse {
    std::string file;
    std::optional<sim::ProgramImage> image;
    bool decided = false;
};

InUse& Chosen() {
    static InUse in_use;
    return in_use;
}

}  // namespace

bool UseExecutable(const std::string& file, std::string* error) {
    InUse& c = Chosen();
    std::optional<sim::ProgramImage> image = sim::LoadExecutable(file, error);
    if (!image) return false;
    c.file = file;
    c.image = std::move(image);
    c.decided = true;
    return true;
}

const std::string& ExecutableInUse() {
    InUse& c = Chosen();
    if (!c.decided) {
        c.decided = true;
        if (const char* file = std::getenv("VESK_DEVICE_EXE"); file && *file) {
            std::string why;
            if (!UseExecutable(file, &why)) {
                std::fprintf(stderr, "VESK_DEVICE_EXE: %s\n", why.c_str());
                std::exit(2);
            }
        }
    }
    return c.file;
}

DWORD StartVesk(sim::Device& device) {
    if (!ExecutableInUse().empty()) return device.Start(*Chosen().image);
    return device.Start(VeskImage());
}

std::optional<sim::ProgramImage> ImageFor(const sim::WString& path, const std::vector<uint8_t>& file,
                                          std::string* why) {
    if (sim::RunsArmCode() && file.size() >= 2 && file[0] == 'M' && file[1] == 'Z')
        return sim::LoadExecutable(file, sim::Narrow(path), path, why);
    auto folded = [](sim::WString s) {
        for (WCHAR& c : s) c = sim::UpperCase(c);
        return s;
    };
    for (const WCHAR* vesk : {u"\\Program Files\\vesk\\vesk.exe", u"\\Windows\\vesk.exe"}) {
        if (folded(path) != folded(vesk)) continue;
        sim::ProgramImage image = VeskImage();
        image.exe_path = path;
        return image;
    }
    return std::nullopt;
}

}  // namespace vesk_host

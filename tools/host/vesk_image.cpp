#include "vesk_image.h"

#include <cstddef>
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

DWORD StartVesk(sim::Device& device) { return device.Start(VeskImage()); }

std::optional<sim::ProgramImage> ImageFor(const sim::WString& path) {
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

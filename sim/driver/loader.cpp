// The device's loader for Windows CE ARM executables.
#include <sim/loader.h>
#include <sim/pe_format.h>

#include <sys/mman.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

#include "exports.h"

namespace sim {
namespace {

constexpr uint32_t kScnWrite = 0x80000000u;
constexpr uint32_t kScnExecute = 0x20000000u;

// An image mapped into this host process. It stays for the life of the
// process, whichever devices run it: a program's code may be called until
// its last device is gone, and a second load of the same file is this one.
struct Mapped {
    std::vector<uint8_t> file;
    uintptr_t base = 0;
    size_t size = 0;
    uint32_t entry = 0;
    // The writable sections as a fresh process gets them: the file's data,
    // zeros past it, the imports bound.
    std::vector<std::pair<uintptr_t, std::vector<uint8_t>>> fresh;
};

struct Loaded {
    std::mutex lock;
    std::vector<std::unique_ptr<Mapped>> images;
} g_loaded;

std::string Refusal(const std::string& file, const std::string& why) { return file + ": " + why; }

DWORD Protection(uint32_t flags) {
    bool w = flags & kScnWrite, x = flags & kScnExecute;
    return x ? (w ? PAGE_EXECUTE_READWRITE : PAGE_EXECUTE_READ) : (w ? PAGE_READWRITE : PAGE_READONLY);
}

// Why the device would not start this image, or nothing.
std::optional<std::string> Check(const vesk_pe::Image& img) {
    using vesk_pe::Hex;
    if (img.machine != vesk_pe::kMachineArm)
        return "machine " + Hex(img.machine) + ", not ARM (0x1c0): not a program for this device";
    if (img.entry == 0 || img.entry % 4 != 0)
        return "entry point " + Hex(img.entry) + " is not ARM-state code: not a program for this device";
    if (img.subsystem != vesk_pe::kSubsystemCeGui)
        return "subsystem " + std::to_string(img.subsystem) + ", not Windows CE GUI (9)";
    if ((img.characteristics & vesk_pe::kCharDll) || !(img.characteristics & vesk_pe::kCharExecutable))
        return "a DLL or an object, not an executable";
    if (img.image_size == 0 || img.image_size > (64u << 20) || img.headers_size > img.image_size)
        return "truncated or malformed image: image size " + Hex(img.image_size);
    for (const vesk_pe::Section& s : img.sections)
        if (uint64_t(s.va) + std::max(s.vsize, s.raw_size) > img.image_size || s.va < img.headers_size)
            return "truncated or malformed image: section " + s.name + " lies outside the image";
    for (uint32_t r : img.relocations)
        if (uint64_t(r) + 4 > img.image_size) return "truncated or malformed image: a relocation outside the image";
    if (img.other_relocation)
        return "a relocation of type " + std::to_string(img.other_relocation) +
               ", which the loader of an ARM executable does not apply";
    if (img.entry >= img.image_size) return "truncated or malformed image: entry point outside the image";
    for (const vesk_pe::Import& imp : img.imports) {
        if (!DeviceDll(imp.dll)) return "imports from " + imp.dll + ", which the device does not have";
        for (size_t i = 0; i < imp.names.size(); ++i) {
            const std::string& n = imp.names[i];
            if (n[0] == '#')
                return "imports ordinal " + n.substr(1) + " of " + imp.dll +
                       ": the device's export lists give no ordinals, so only imports by name are loaded";
            if (!DeviceExport(imp.dll, n)) return imp.dll + " does not export " + n + ": the device refuses to start it";
            if (uint64_t(imp.slots[i]) + 4 > img.image_size)
                return "truncated or malformed image: an import address outside the image";
        }
    }
    return std::nullopt;
}

#if defined(__arm__)
constexpr bool kArm = true;
#else
constexpr bool kArm = false;
#endif

// Maps, rebases and binds the image; nullptr with *why when it cannot.
Mapped* Map(const std::vector<uint8_t>& bytes, const vesk_pe::Image& img, std::string* why) {
    std::lock_guard<std::mutex> hold(g_loaded.lock);
    for (auto& m : g_loaded.images)
        if (m->file == bytes) return m.get();
    size_t size = (size_t(img.image_size) + 4095) / 4096 * 4096;
    void* at = mmap(reinterpret_cast<void*>(uintptr_t(img.image_base)), size, PROT_READ | PROT_WRITE | PROT_EXEC,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (at == MAP_FAILED || reinterpret_cast<uintptr_t>(at) != img.image_base) {
        if (at != MAP_FAILED) munmap(at, size);
        at = MAP_FAILED;
        if (!img.relocations.empty())
            at = mmap(nullptr, size, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (at == MAP_FAILED) {
            *why = "its base address " + vesk_pe::Hex(img.image_base) +
                   " is taken and it has no relocations to be loaded elsewhere";
            return nullptr;
        }
    }
    auto m = std::make_unique<Mapped>();
    m->file = bytes;
    m->base = reinterpret_cast<uintptr_t>(at);
    m->size = size;
    m->entry = img.entry;
    auto* image = static_cast<uint8_t*>(at);
    std::memcpy(image, bytes.data(), std::min<size_t>(img.headers_size, bytes.size()));
    for (const vesk_pe::Section& s : img.sections)
        std::memcpy(image + s.va, bytes.data() + s.raw_ptr, s.vsize ? std::min(s.raw_size, s.vsize) : s.raw_size);
    const uint32_t delta = uint32_t(m->base - img.image_base);
    for (uint32_t r : img.relocations) {
        uint32_t word;
        std::memcpy(&word, image + r, 4);
        word += delta;
        std::memcpy(image + r, &word, 4);
    }
    for (const vesk_pe::Import& imp : img.imports) {
        for (size_t i = 0; i < imp.names.size(); ++i) {
            auto address = uint32_t(reinterpret_cast<uintptr_t>(DeviceExport(imp.dll, imp.names[i])));
            std::memcpy(image + imp.slots[i], &address, 4);
        }
    }
    AddImagePages(m->base, size, PAGE_READONLY);
    for (const vesk_pe::Section& s : img.sections) {
        size_t n = std::max(s.vsize, s.raw_size);
        AddImagePages(m->base + s.va, n, Protection(s.flags));
        if (s.flags & kScnWrite) m->fresh.emplace_back(m->base + s.va, std::vector<uint8_t>(image + s.va, image + s.va + n));
    }
    __builtin___clear_cache(reinterpret_cast<char*>(image), reinterpret_cast<char*>(image + size));
    g_loaded.images.push_back(std::move(m));
    return g_loaded.images.back().get();
}

}  // namespace

bool RunsArmCode() { return kArm; }

std::vector<std::pair<std::string, std::string>> DeviceExports() { return DeviceExportTable(); }

std::optional<ProgramImage> LoadExecutable(const std::string& file, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = Refusal(file, "cannot be read");
        return std::nullopt;
    }
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    size_t slash = file.find_last_of('/');
    return LoadExecutable(bytes, file, u"\\Windows\\" + Widen(slash == std::string::npos ? file : file.substr(slash + 1)),
                          error);
}

std::optional<ProgramImage> LoadExecutable(const std::vector<uint8_t>& bytes, const std::string& file,
                                           const sim::WString& device_path, std::string* error) {
    vesk_pe::Image img;
    try {
        img = vesk_pe::PeReader(bytes).Read();
    } catch (const vesk_pe::BadImage& e) {
        *error = Refusal(file, std::string("truncated or malformed image: ") + e.what());
        return std::nullopt;
    }
    if (auto why = Check(img)) {
        *error = Refusal(file, *why);
        return std::nullopt;
    }
    if (!kArm) {
        *error = Refusal(file, "this build of the simulator runs no ARM code (the arm preset's does)");
        return std::nullopt;
    }
    std::string why;
    Mapped* m = Map(bytes, img, &why);
    if (!m) {
        *error = Refusal(file, why);
        return std::nullopt;
    }
    ProgramImage program;
    program.exe_path = device_path;
    program.resources = vesk_pe::WriteRes(img.resources);
    program.private_heap = true;
    program.loaded = true;
    program.instance = m->base;
    using Entry = int (*)(HINSTANCE, HINSTANCE, LPWSTR, int);
    auto entry = reinterpret_cast<Entry>(m->base + m->entry);
    program.entry = [entry](HINSTANCE instance) {
        static WCHAR command_line[] = u"";
        return entry(instance, nullptr, command_line, SW_SHOW);
    };
    for (const auto& [at, bytes] : m->fresh) program.data.emplace_back(at, bytes.size());
    program.reset = [m] {
        for (const auto& [at, data] : m->fresh) std::memcpy(reinterpret_cast<void*>(at), data.data(), data.size());
    };
    return program;
}

}  // namespace sim

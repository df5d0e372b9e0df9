// The device's loader for Windows CE ARM executables: what it refuses, each
// with its reason, and, on a build that runs ARM code, a program it starts.
#include <gtest/gtest.h>
#include <sim/loader.h>

#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;

// A minimal Windows CE ARM executable: one section at 0x1000 with the code,
// the import directory and its names. Its entry point answers 42.
struct TinyExe {
    uint16_t machine = 0x1c0;
    uint16_t subsystem = 9;
    uint32_t entry = 0x1000;
    std::string dll = "COREDLL.dll";
    std::string function = "Sleep";  // "#N": by ordinal
    size_t cut = 0;                  // keep only so many bytes
    bool relocations = false;        // one HIGHLOW: the word at 0x11c0 holds the entry's address

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> b(0x400, 0);
        auto u16 = [&](size_t at, uint32_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); };
        auto u32 = [&](size_t at, uint32_t v) { u16(at, v & 0xffff), u16(at + 2, v >> 16); };
        u16(0, 0x5a4d);
        u32(0x3c, 0x40);
        u32(0x40, 0x4550);
        const size_t coff = 0x44, opt = coff + 20;
        u16(coff, machine);
        u16(coff + 2, 1);
        u16(coff + 16, 224);
        u16(coff + 18, 0x0102);  // an executable, 32-bit words
        u16(opt, 0x10b);
        u32(opt + 16, entry);
        u32(opt + 28, 0x400000);  // image base, apart from vesk.exe's (0x10000)
        u32(opt + 32, 0x1000);
        u32(opt + 36, 0x200);
        u16(opt + 48, 4), u16(opt + 50, 20);
        u32(opt + 56, 0x2000);  // image size
        u32(opt + 60, 0x200);   // headers
        u16(opt + 68, subsystem);
        u32(opt + 92, 16);
        u32(opt + 96 + 8, 0x1100), u32(opt + 100 + 8, 40);  // imports
        const size_t sec = opt + 224;
        std::memcpy(&b[sec], ".text", 5);
        u32(sec + 8, 0x200), u32(sec + 12, 0x1000), u32(sec + 16, 0x200), u32(sec + 20, 0x200);
        u32(sec + 36, 0xe0000020);  // code, executable, readable, writable
        // mov r0, #42; mov pc, lr
        u32(0x200, 0xe3a0002a), u32(0x204, 0xe1a0f00e);
        // The import descriptor at 0x1100, its lookup table at 0x1140, the
        // address table at 0x1150, the hint and name at 0x1160, the DLL's
        // name at 0x1180.
        u32(0x300, 0x1140), u32(0x30c, 0x1180), u32(0x310, 0x1150);
        uint32_t thunk = function[0] == '#' ? 0x80000000u | uint32_t(std::stoul(function.substr(1))) : 0x1160;
        u32(0x340, thunk), u32(0x350, thunk);
        std::memcpy(&b[0x362], function.data(), function.size());
        std::memcpy(&b[0x380], dll.data(), dll.size());
        if (relocations) {
            u32(opt + 136, 0x11a0), u32(opt + 140, 12);
            u32(0x3a0, 0x1000), u32(0x3a4, 12), u16(0x3a8, 0x3000 | 0x1c0);
            u32(0x3c0, 0x400000 + 0x1000);
        }
        if (cut) b.resize(cut);
        return b;
    }
};

std::string Load(const TinyExe& exe, std::optional<sim::ProgramImage>* image = nullptr) {
    fs::path file = fs::temp_directory_path() / ("vesk-loader-" + std::to_string(::getpid()) + ".exe");
    {
        std::vector<uint8_t> bytes = exe.Bytes();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
    }
    std::string error;
    auto loaded = sim::LoadExecutable(file.string(), &error);
    fs::remove(file);
    if (image) *image = std::move(loaded);
    return error.empty() ? "" : error.substr(error.find(": ") + 2);
}

TEST(Loader, RefusesWhatTheDeviceWouldNotStartAndSaysWhy) {
    struct Case {
        const char* what;
        std::function<void(TinyExe&)> change;
        const char* reason;
    };
    const Case cases[] = {
        {"x86", [](TinyExe& e) { e.machine = 0x14c; }, "machine 0x14c, not ARM (0x1c0): not a program for this device"},
        {"Thumb", [](TinyExe& e) { e.machine = 0x1c2; }, "machine 0x1c2, not ARM (0x1c0)"},
        {"Thumb entry", [](TinyExe& e) { e.entry = 0x1001; }, "entry point 0x1001 is not ARM-state code"},
        {"desktop", [](TinyExe& e) { e.subsystem = 2; }, "subsystem 2, not Windows CE GUI (9)"},
        {"cut short", [](TinyExe& e) { e.cut = 0x150; }, "truncated or malformed image: truncated at offset"},
        {"no header", [](TinyExe& e) { e.cut = 0x20; }, "truncated or malformed image: truncated at offset 60"},
        {"missing import", [](TinyExe& e) { e.function = "CreateWidgetW"; },
         "COREDLL.dll does not export CreateWidgetW: the device refuses to start it"},
        {"a DLL the device lacks", [](TinyExe& e) { e.dll = "OLE32.dll"; },
         "imports from OLE32.dll, which the device does not have"},
        {"by ordinal", [](TinyExe& e) { e.function = "#17"; },
         "imports ordinal 17 of COREDLL.dll: the device's export lists give no ordinals"},
    };
    for (const Case& c : cases) {
        TinyExe exe;
        c.change(exe);
        EXPECT_EQ(Load(exe).substr(0, std::string(c.reason).size()), c.reason) << c.what;
    }
    EXPECT_EQ(Load(TinyExe{}), sim::RunsArmCode() ? "" : "this build of the simulator runs no ARM code (the arm preset's does)");
}

TEST(Loader, StartsTheProgramAtItsEntryPointWithItsImportsBound) {
    if (!sim::RunsArmCode()) GTEST_SKIP() << "this build runs no ARM code: the arm build runs this";
    std::optional<sim::ProgramImage> image;
    ASSERT_EQ(Load(TinyExe{}, &image), "");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->instance, 0x400000u);
    uint32_t slot;
    std::memcpy(&slot, reinterpret_cast<const void*>(0x401150), 4);
    EXPECT_EQ(slot, uint32_t(reinterpret_cast<uintptr_t>(&Sleep)));
    sim::Device device;
    DWORD pid = device.Start(*image);
    EXPECT_EQ(device.ExitCode(pid), 42);
}

}  // namespace

TEST(Loader, AnImageWhoseBaseIsTakenIsRebasedByItsRelocations) {
    if (!sim::RunsArmCode()) GTEST_SKIP() << "this build runs no ARM code: the arm build runs this";
    // Something else at the image's base (another test's image may be there already).
    void* blocker = mmap(reinterpret_cast<void*>(0x400000), 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    TinyExe exe;
    exe.relocations = true;
    std::optional<sim::ProgramImage> image;
    ASSERT_EQ(Load(exe, &image), "");
    ASSERT_TRUE(image);
    EXPECT_NE(image->instance, 0x400000u);
    uint32_t word;
    std::memcpy(&word, reinterpret_cast<const void*>(image->instance + 0x11c0), 4);
    EXPECT_EQ(word, image->instance + 0x1000);
    sim::Device device;
    EXPECT_EQ(device.ExitCode(device.Start(*image)), 42);
    // Without relocations the same image cannot be loaded elsewhere.
    exe.relocations = false;
    exe.function = "GetTickCount";  // other bytes, so another image
    EXPECT_EQ(Load(exe), "its base address 0x400000 is taken and it has no relocations to be loaded elsewhere");
    if (blocker != MAP_FAILED) munmap(blocker, 4096);
}

// Two processes of one executable alive at once each have its data as the
// file declares it, as the device gives each process its own slot: the
// platform swaps each process's copy of the writable sections in while its
// code runs. Here host code stands for the executable's, and a static array
// for its data section.
int g_section[2];

LRESULT CALLBACK EndOnDestroy(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(h, m, w, l);
}

TEST(Loader, EveryProcessOfAnExecutableHasItsOwnData) {
    sim::ProgramImage image;
    image.exe_path = u"\\Windows\\twice.exe";
    image.loaded = true;
    image.private_heap = true;
    image.data = {{reinterpret_cast<uintptr_t>(g_section), sizeof g_section}};
    image.reset = [] { g_section[0] = 7, g_section[1] = 0; };
    image.entry = [](HINSTANCE) {
        ++g_section[0];  // 8 in every fresh process
        g_section[1] = int(GetCurrentProcessId());
        WNDCLASSW wc{};
        wc.lpfnWndProc = EndOnDestroy;
        wc.lpszClassName = u"Twice";
        RegisterClassW(&wc);
        CreateWindowExW(0, u"Twice", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        return g_section[1] == int(GetCurrentProcessId()) ? g_section[0] : -1;
    };
    sim::Device device;
    DWORD first = device.Start(image);
    DWORD second = device.Start(image);
    ASSERT_TRUE(device.Running(first) && device.Running(second));
    device.Close(first, u"Twice");
    device.Close(second, u"Twice");
    EXPECT_EQ(device.ExitCode(first), 8);
    EXPECT_EQ(device.ExitCode(second), 8);
}

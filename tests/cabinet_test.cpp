// Windows CE installation cabinets and the simulated device's installer:
// the real cabinets of ../shared/ce-cab read as their README says and
// install; a cabinet the installer cannot use is refused, saying why, and
// changes nothing; registry entries get the device's folders; a soft reset
// starts what StartUp holds, as far as the simulator has a program for it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "cab_format.h"
#include "player.h"
#include "program.h"
#include "script.h"
#include "vesk_image.h"

namespace fs = std::filesystem;
using namespace vesk_cab;
using testing_support::LogLines;

namespace {

std::vector<uint8_t> Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// vesk's cabinet as the build writes it for the scenarios.
std::vector<uint8_t> VeskCabinet() { return Slurp(fs::path(VESK_E2E_FILES) / "vesk.cab"); }

std::map<sim::WString, std::vector<uint8_t>> FilesOf(const sim::Device& d) {
    std::map<sim::WString, std::vector<uint8_t>> out;
    for (const sim::WString& path : d.StoredFiles()) out[path] = *d.StoredFile(path);
    return out;
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

std::string Joined(const std::vector<std::string>& problems) {
    std::string out;
    for (const std::string& p : problems) out += p + "; ";
    return out;
}

}  // namespace

TEST(Cabinet, TheRealCabinetsReadAndInstallAsTheirReadmeSays) {
    const char* shared = std::getenv("VESK_SHARED");
    fs::path dir = (shared && *shared ? fs::path(shared) : fs::path(VESK_SOURCE_DIR) / ".." / "shared") / "ce-cab";
    if (!fs::is_directory(dir)) GTEST_SKIP() << "no real cabinets in " << dir.string();
    struct Row {
        const char* file;
        uint16_t compression;
        bool reserved;       // space reserved in the cabinet's header
        const char* beside;  // a member beside the numbered ones
        const char *app, *provider;
        uint32_t processor;
        const char* versions;
        size_t files, entries;
        const char* shortcut;  // in %CE11%
        const char* installed;
    };
    const Row rows[] = {
        {"BenchmarkDotNet_PPC.ARMV4.CAB", kCompressNone, false, nullptr, "BenchmarkDotNet", "My Company", 0,
         "3.0 to 4.99", 3, 0, "BenchmarkDotNet.lnk", "\\Program Files\\BenchmarkDotNet\\BenchmarkDotNet.exe"},
        {"NSBasic.Showcase.CAB", kCompressNone, false, nullptr, "NS BASIC Showcase", "NSB", 2577, "4.2 to 100.0", 11,
         4, "BASIC Showcase.lnk", "\\Program Files\\NSBasic\\basic.exe"},
        {"App.WM.CAB", kCompressMszip, true, "_setup.xml", "My Great App", "MyCo", 2577, "4.2 to 100.0", 4, 29,
         "My Great App.lnk", "\\Program Files\\MyCo\\project1.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        std::vector<uint8_t> bytes = Slurp(dir / row.file);
        Cabinet cab = ReadCabinet(bytes);
        for (uint16_t type : cab.folders) EXPECT_EQ(type & 0x000f, row.compression);
        EXPECT_EQ(cab.folder_reserve > 0 || cab.header_reserve > 0, row.reserved);
        if (row.beside) {
            EXPECT_TRUE(cab.Find(row.beside));
        }
        vesk_cab::Setup s = ReadSetup(SetupMember(cab)->data);
        EXPECT_EQ(s.app, row.app);
        EXPECT_EQ(s.provider, row.provider);
        EXPECT_EQ(s.processor, row.processor);
        EXPECT_EQ(Version(s.min_major, s.min_minor) + " to " + Version(s.max_major, s.max_minor), row.versions);
        EXPECT_EQ(s.files.size(), row.files);
        EXPECT_EQ(s.keys.size(), row.entries);
        ASSERT_EQ(s.links.size(), 1u);
        EXPECT_EQ(s.links[0].base, 11);
        EXPECT_EQ(s.Join(s.links[0].parts), row.shortcut);
        EXPECT_EQ(Joined(CheckLength(s)) + Joined(CheckIds(s)) + Joined(CheckMembers(s, cab)), "");

        sim::Device device;
        std::string why;
        ASSERT_TRUE(device.Install(bytes, &why)) << why;
        EXPECT_TRUE(device.StoredFile(sim::Widen(row.installed)));
        EXPECT_TRUE(device.StoredFile(u"\\Windows\\Start Menu\\Programs\\" + sim::Widen(row.shortcut)));
        EXPECT_EQ(LogLines(device, " installed ").size(), row.files);
        EXPECT_EQ(LogLines(device, " registry ").size(), row.entries);
    }
}

TEST(Cabinet, TheInstallerRefusesACabinetItCannotUseAndChangesNothing) {
    const std::vector<uint8_t> good = VeskCabinet();
    const Cabinet base = ReadCabinet(good);
    const size_t setup_size = base.members[0].data.size();
    // vesk's cabinet with another vesk.exe, which would show wherever it went.
    auto variant = [&](const std::function<void(std::vector<Member>&)>& change) {
        std::vector<Member> members = base.members;
        members[1].data = {'n', 'e', 'w'};
        change(members);
        return WriteCabinet(members);
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> cabinet;
        std::string says;
    };
    const Case cases[] = {
        {"cut short", std::vector<uint8_t>(good.begin(), good.begin() + 300),
         "the cabinet is cut short: its header says " + std::to_string(good.size()) + " bytes, the file holds 300"},
        {"a .000 whose length is wrong", variant([&](auto& m) { Put32(m[0].data, 8, uint32_t(setup_size + 4)); }),
         "vesk.000: the .000 says it is " + std::to_string(setup_size + 4) + " bytes long, it holds " +
             std::to_string(setup_size)},
        {"a member missing", variant([](auto& m) { m.pop_back(); }),
         "file 1 (vesk.exe) has no member: the cabinet holds none ending in .001"},
        {"for another processor", variant([](auto& m) { Put32(m[0].data, 20, 10005); }),
         "it is for another processor, 10005 (Hitachi SH4); this device's is 2577 (StrongARM)"},
        {"for a later Windows CE", variant([](auto& m) {
             Put32(m[0].data, 24, 5);
             Put32(m[0].data, 28, 0);
         }),
         "it is for Windows CE 5.0 to 100.0; this device runs 4.20"},
    };
    fs::path dir = fs::temp_directory_path() / ("vesk-cabinet-" + std::to_string(getpid()));
    fs::create_directories(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            sim::Device device;
            ASSERT_TRUE(device.Install(good));
            auto files = FilesOf(device);
            size_t logged = device.Log().size();
            std::string why;
            EXPECT_FALSE(device.Install(c.cabinet, &why));
            EXPECT_EQ(why, c.says);
            EXPECT_EQ(FilesOf(device), files);
            EXPECT_EQ(device.Log().size(), logged);
        }
        // A script that installs it stops with 2, naming the file and the problem.
        fs::path file = dir / "broken.cab";
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(c.cabinet.data()),
                                                    std::streamsize(c.cabinet.size()));
        auto parsed = vesk_sim::ParseScript("install \"" + file.string() + "\"\n", "broken.vsk");
        ASSERT_TRUE(parsed.ok()) << parsed.error.Format();
        std::ostringstream err;
        vesk_sim::PlayResult played = vesk_sim::Play(*parsed.script, dir / "out", err);
        EXPECT_EQ(played.exit_code, vesk_sim::kExitScript);
        EXPECT_EQ(played.message, "broken.vsk:1: install: " + file.string() + ": " + c.says);
    }
    if (!HasFailure()) fs::remove_all(dir);
}

TEST(Cabinet, RegistryEntriesTakeTheDevicesFoldersAndAResetStartsWhatTheSimulatorCanRun) {
    Cabinet cab = ReadCabinet(VeskCabinet());
    vesk_cab::Setup s = ReadSetup(cab.members[0].data);
    s.strings.push_back({3, "Software\\vesk"});
    s.strings.push_back({4, "other.lnk"});
    s.files.push_back({2, 1, 2, 0, "other.exe"});
    s.hives.push_back({1, 3, 0, {3}});
    // A registry entry's data: the value's name, NUL, the value.
    auto entry = [](std::string_view name, std::vector<uint8_t> value) {
        std::vector<uint8_t> data(name.begin(), name.end());
        data.push_back(0);
        data.insert(data.end(), value.begin(), value.end());
        return data;
    };
    std::string_view install = "%InstallDir%\\vesk.exe";
    std::vector<uint8_t> text(install.begin(), install.end());
    text.push_back(0);
    s.keys.push_back({1, 1, 1, kRegSz, entry("Path", text)});
    s.keys.push_back({2, 1, 0, kRegDword, entry("Count", {7, 0, 0, 0})});
    s.links.push_back({3, 0, 4, 2, 1, {4}});
    cab.members[0].data = WriteSetup(s);
    cab.members.push_back({"other.002", {'x'}, 0, 0, 0, 0});

    sim::Device device;
    std::string why;
    ASSERT_TRUE(device.Install(WriteCabinet(cab.members), &why)) << why;
    // A shortcut file of Windows CE: the command line's length, '#', the command line.
    std::string shortcut = "30#\"\\Program Files\\vesk\\vesk.exe\"";
    EXPECT_EQ(device.StoredFile(u"\\windows\\startup\\VESK.LNK"), std::vector<uint8_t>(shortcut.begin(), shortcut.end()));

    std::vector<DWORD> started = device.Reset(vesk_host::ImageFor);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(device.Running(started[0]));
    EXPECT_EQ(LogLines(device, "startup \\Windows\\StartUp\\other.lnk -> \\Program Files\\vesk\\other.exe: the "
                               "simulator has no program image for it").size(),
              1u);
    // The registry outlives the reset, and its values have the device's folders.
    testing_support::RunProgram(device, [] {
        HKEY key;
        EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\vesk", 0, 0, &key), ERROR_SUCCESS);
        WCHAR text[64] = {};
        DWORD size = sizeof text, type = 0, value = 0;
        EXPECT_EQ(RegQueryValueExW(key, u"Path", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, DWORD(REG_SZ));
        EXPECT_EQ(sim::WString(text), u"\\Program Files\\vesk\\vesk.exe");
        size = sizeof value;
        EXPECT_EQ(RegQueryValueExW(key, u"Count", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
        EXPECT_EQ(value, 7u);
        RegCloseKey(key);
        return 0;
    });
    device.Close(started[0], u"VeskClass");
}

// Writes vesk's installation cabinet for a Pocket PC: the installation
// control file (vesk.000) and the executable as the cabinet's member vesk.001.
//
//   cab_make --res VESK.RES --exe VESK.EXE [--out DIR] [--cab FILE]
//
// --out DIR writes DIR/vesk.000 and DIR/vesk.001, dated 2026-01-01 00:00 UTC,
// for Debian's gcab to put into the cabinet (gcab -c -n vesk.cab vesk.000
// vesk.001, in that order). --cab FILE writes a whole uncompressed cabinet
// of the same members with vesk's own writer, as the simulator's tests use.
//
// What the control file says:
//   application "vesk"; provider: the CompanyName of the version block in
//   VESK.RES, the resources vesk.exe is built with;
//   processor 2577 (StrongARM): the code ARM Pocket PC cabinets carry and
//   every ARM Pocket PC accepts; vesk.exe is ARM code, which a device of
//   another processor could not run, so not 0 (any);
//   Windows CE 4.20 (Pocket PC 2003) to 100.0, builds 0 to 0xE0000000: the
//   "no upper limit" that CabWiz writes and devices accept;
//   vesk.exe into %CE1%\vesk (\Program Files\vesk);
//   the shortcut vesk.lnk in %CE4% (\Windows\StartUp), so that the shell
//   starts vesk at every soft reset, and one in %CE11% (Start > Programs), so
//   that vesk can be started again after "Exit" without a reset.
//
// The same inputs give the same bytes: the date is fixed, the order too.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <string>

#include "cab_format.h"
#include <sim/pe_format.h>

namespace {

using namespace vesk_cab;

// 2026-01-01 00:00:00: as an MS-DOS date and time, and in seconds since 1970.
constexpr uint16_t kDosDate = (2026 - 1980) << 9 | 1 << 5 | 1;
constexpr uint16_t kDosTime = 0;
constexpr time_t kUnixTime = 1767225600;
constexpr uint16_t kArchive = 0x20;  // the attribute gcab gives every member

std::vector<uint8_t> Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BadCabinet("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spill(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) throw BadCabinet("cannot write " + path);
}

// A string of the version block: VS_VERSIONINFO's tree of (length, value
// length, type, key, value, children), every part on a 4-byte boundary.
std::optional<std::u16string> VersionString(const std::vector<uint8_t>& block, const std::u16string& name) {
    vesk_pe::Bytes b{block};
    std::optional<std::u16string> found;
    auto align = [](size_t v) { return (v + 3) & ~size_t(3); };
    auto walk = [&](auto& self, size_t at, size_t end, int depth) -> void {
        while (!found && depth < 8 && at + 6 <= end) {
            size_t length = b.U16(at), value_length = b.U16(at + 2), type = b.U16(at + 4);
            if (length < 6) return;
            std::u16string key;
            size_t p = at + 6;
            for (; b.U16(p) != 0; p += 2) key += char16_t(b.U16(p));
            size_t value = align(p + 2), size = type == 1 ? 2 * value_length : value_length;
            if (key == name && type == 1) {
                std::u16string text;
                for (size_t i = 0; i + 1 < value_length; ++i) text += char16_t(b.U16(value + 2 * i));
                found = text;
                return;
            }
            self(self, align(value + size), std::min(end, at + length), depth + 1);
            at = align(at + length);
        }
    };
    walk(walk, 0, block.size(), 0);
    return found;
}

std::string Company(const std::string& res_path) {
    vesk_pe::Resources res = vesk_pe::ReadRes(vesk_pe::ReadFile(res_path));
    for (const auto& [key, data] : res) {
        if (!key.type.is_num || key.type.num != 16) continue;
        std::optional<std::u16string> company = VersionString(data, u"CompanyName");
        if (!company) continue;
        // The control file's strings are in the device's ANSI code page.
        std::string out;
        for (char16_t c : *company) {
            if (c > 0xff) throw BadCabinet(res_path + ": the company name has a character past Latin-1");
            out += char(c);
        }
        if (out.empty()) throw BadCabinet(res_path + ": the company name is empty");
        return out;
    }
    throw BadCabinet(res_path + ": no version block with a CompanyName");
}

Setup VeskSetup(const std::string& company) {
    Setup s;
    s.app = "vesk";
    s.provider = company;
    s.processor = kProcessorStrongArm;
    s.min_major = 4;
    s.min_minor = 20;
    s.max_major = 100;
    s.max_minor = 0;
    s.min_build = 0;
    s.max_build = 0xE0000000u;
    s.strings = {{1, "%CE1%\\vesk"}, {2, "vesk.lnk"}};
    s.dirs = {{1, {1}}};
    s.files = {{1, 1, 1, 0, "vesk.exe"}};
    s.links = {{1, 0, 4, 1, 1, {2}}, {2, 0, 11, 1, 1, {2}}};
    return s;
}

int Usage() {
    std::fprintf(stderr, "usage: cab_make --res VESK.RES --exe VESK.EXE [--out DIR] [--cab FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string res, exe, out_dir, cab;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return Usage();
        std::string v = argv[++i];
        if (a == "--res") res = v;
        else if (a == "--exe") exe = v;
        else if (a == "--out") out_dir = v;
        else if (a == "--cab") cab = v;
        else return Usage();
    }
    if (res.empty() || exe.empty() || (out_dir.empty() && cab.empty())) return Usage();
    try {
        std::vector<Member> members = {
            {"vesk.000", WriteSetup(VeskSetup(Company(res))), 0, kDosDate, kDosTime, kArchive},
            {"vesk.001", Slurp(exe), 0, kDosDate, kDosTime, kArchive},
        };
        if (!out_dir.empty()) {
            for (const Member& m : members) {
                std::string path = out_dir + "/" + m.name;
                Spill(path, m.data);
                const timespec times[2] = {{kUnixTime, 0}, {kUnixTime, 0}};
                if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
                    throw BadCabinet("cannot date " + path + ": " + std::strerror(errno));
            }
        }
        if (!cab.empty()) Spill(cab, WriteCabinet(members));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cab_make: %s\n", e.what());
        return 2;
    }
    return 0;
}

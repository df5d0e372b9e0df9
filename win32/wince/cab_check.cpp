// Reads a Windows CE installation cabinet as the device's installer does and
// says what it holds and whether the installer can use it.
//
//   cab_check CAB [--file NAME=PATH]...
//
// Prints the cabinet's members, then what its .000 says: the application,
// its provider, the processor and Windows CE versions it is for, the
// directories, files, shortcuts and registry entries, with the Pocket PC's
// folders for %CEn%. Then one line per check, "PASS what" or "FAIL what: why":
// the container reads whole (checksums, sizes), the .000's total length is its
// header's, every id an entry names exists, every file entry has its member
// and every member its entry. --file compares the member of the file entry
// NAME with PATH, byte for byte.
//
// MSZIP folders are inflated and checked like uncompressed ones; a folder of
// another compression is listed and refused.
//
// Exit status: 0 every check passed; 1 only a --file comparison failed;
// 2 bad use, or a cabinet the installer could not use (the problem is named
// on standard error with the file).
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cab_format.h"

namespace {

using namespace vesk_cab;

std::string N(uint64_t v) { return std::to_string(v); }

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
}

// The control file's text is in the device's ANSI code page; shown as Latin-1.
std::string Show(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xc0 | c >> 6);
            out += char(0x80 | (c & 0x3f));
        }
    }
    return out;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string Plural(size_t n, const std::string& one, const std::string& many) {
    return N(n) + " " + (n == 1 ? one : many);
}

std::vector<std::string> broken;  // what the installer could not get past
int mismatched = 0;

void Check(bool ok, const std::string& what, const std::vector<std::string>& why, bool about_cabinet = true) {
    std::string reasons;
    for (const std::string& w : why) reasons += (reasons.empty() ? "" : "; ") + w;
    std::printf("%s %s%s\n", ok ? "PASS" : "FAIL", what.c_str(), ok ? "" : (": " + reasons).c_str());
    if (ok) return;
    if (about_cabinet) broken.push_back(reasons);
    else ++mismatched;
}

std::string Value(const Setup::Key& k) {
    size_t nul = 0;
    while (nul < k.data.size() && k.data[nul]) ++nul;
    std::string name(k.data.begin(), k.data.begin() + long(nul));
    std::vector<uint8_t> v(k.data.begin() + long(std::min(nul + 1, k.data.size())), k.data.end());
    std::string shown;
    switch (k.type & kRegTypeMask) {
    case kRegDword: {
        uint32_t d = 0;
        for (size_t i = 0; i < 4 && i < v.size(); ++i) d |= uint32_t(v[i]) << (8 * i);
        shown = Hex(d) + " (REG_DWORD)";
        break;
    }
    case kRegMultiSz:
    case kRegSz: {
        std::string text;
        for (uint8_t c : v) text += c ? char(c) : '\0';
        std::vector<std::string> parts;
        for (size_t i = 0; i < text.size();) {
            size_t end = text.find('\0', i);
            if (end == std::string::npos) end = text.size();
            if (end > i || parts.empty()) parts.push_back(text.substr(i, end - i));
            i = end + 1;
        }
        for (const std::string& p : parts) shown += (shown.empty() ? "" : ", ") + ("\"" + Show(p) + "\"");
        if ((k.type & kRegTypeMask) == kRegSz) {
            shown = (parts.empty() ? "\"\"" : "\"" + Show(parts.front()) + "\"") + " (REG_SZ)";
        } else {
            shown += " (REG_MULTI_SZ)";
        }
        break;
    }
    default: {
        for (size_t i = 0; i < v.size() && i < 16; ++i) {
            char b[4];
            std::snprintf(b, sizeof b, "%02x", v[i]);
            shown += b;
        }
        if (v.size() > 16) shown += "...";
        shown += " (REG_BINARY, " + Plural(v.size(), "byte", "bytes") + ")";
    }
    }
    std::string flags;
    if (k.substitute) flags += ", folders substituted";
    if (k.type & kRegNoClobber) flags += ", kept where it exists";
    return "\"" + Show(name) + "\" = " + shown + flags;
}

void Describe(const Setup& s, const Cabinet& cab, const std::string& setup_name) {
    for (const Member& m : cab.members) {
        std::string role;
        std::optional<unsigned> n = MemberNumber(m.name);
        if (m.name == setup_name) role = "the installation control file";
        else if (n == 999u) role = "the setup DLL, which the installer runs";
        else if (n && s.FileOf(uint16_t(*n))) role = "file " + N(*n);
        else if (!n && m.name == "_setup.xml") role = "the provisioning document (not read)";
        std::printf("member       %-14s %8zu bytes  %s\n", Show(m.name).c_str(), m.data.size(), role.c_str());
    }
    std::string install = InstallDir(s);
    std::printf("application  \"%s\"\n", Show(s.app).c_str());
    std::printf("provider     \"%s\"\n", Show(s.provider).c_str());
    std::string cpu = ProcessorName(s.processor);
    std::printf("processor    %u%s\n", s.processor, cpu.empty() ? "" : (" (" + cpu + ")").c_str());
    std::printf("versions     Windows CE %s to %s, builds %u to %s\n", Version(s.min_major, s.min_minor).c_str(),
                Version(s.max_major, s.max_minor).c_str(), s.min_build, Hex(s.max_build).c_str());
    std::string unsupported;
    for (const std::string& u : s.unsupported) unsupported += (unsupported.empty() ? "" : ", ") + Show(u);
    std::printf("unsupported  %s\n", unsupported.empty() ? "none" : unsupported.c_str());
    std::printf("install dir  %s\n", install.empty() ? "(none: no string 1)" : Show(install).c_str());
    for (const auto& d : s.dirs) {
        std::string path = s.Join(d.parts);
        std::printf("directory    %-3u %s = %s\n", d.id, Show(path).c_str(), Show(Expand(path, install)).c_str());
    }
    auto dir_of = [&](uint16_t id) {
        const Setup::Dir* d = s.DirOf(id);
        return d ? Expand(s.Join(d->parts), install) : "<directory " + N(id) + ">";
    };
    for (const auto& f : s.files) {
        const Member* m = MemberOf(cab, f.id);
        std::printf("file         %-3u %s -> %s, member %s, flags %s\n", f.id, Show(f.name).c_str(),
                    Show(dir_of(f.dir)).c_str(), m ? Show(m->name).c_str() : "(none)", Hex(f.flags).c_str());
    }
    for (const auto& l : s.links) {
        std::string where = (l.base ? "%CE" + N(l.base) + "%" : std::string("%InstallDir%")) + "\\" + s.Join(l.parts);
        std::string target;
        if (l.type == 0) {
            target = "directory " + N(l.target) + " (" + dir_of(l.target) + ")";
        } else {
            const Setup::File* f = s.FileOf(l.target);
            target = "file " + N(l.target) + (f ? " (" + dir_of(f->dir) + "\\" + f->name + ")" : "");
        }
        std::printf("shortcut     %-3u %s = %s -> %s\n", l.id, Show(where).c_str(), Show(Expand(where, install)).c_str(),
                    Show(target).c_str());
    }
    if (s.keys.empty()) std::printf("registry     none\n");
    for (const auto& k : s.keys) {
        const Setup::Hive* h = s.HiveOf(k.hive);
        std::string key = h ? RootName(h->root) + "\\" + s.Join(h->parts) : "<key " + N(k.hive) + ">";
        std::printf("registry     %-3u %s %s\n", k.id, Show(key).c_str(), Value(k).c_str());
    }
}

int Usage() {
    std::fprintf(stderr, "usage: cab_check CAB [--file NAME=PATH]...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-') return Usage();
    std::string path = argv[1];
    std::vector<std::pair<std::string, std::string>> compare;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a != "--file" || i + 1 >= argc) return Usage();
        std::string v = argv[++i];
        size_t eq = v.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == v.size()) {
            std::fprintf(stderr, "cab_check: --file wants NAME=PATH, got \"%s\"\n", v.c_str());
            return 2;
        }
        compare.push_back({v.substr(0, eq), v.substr(eq + 1)});
    }
    auto refuse = [&](const std::string& what, const std::string& why) {
        std::printf("FAIL %s: %s\n", what.c_str(), why.c_str());
        std::fprintf(stderr, "cab_check: %s: %s\n", path.c_str(), why.c_str());
        return 2;
    };

    std::vector<uint8_t> file;
    if (!ReadFile(path, &file)) {
        std::fprintf(stderr, "cab_check: %s: cannot read it\n", path.c_str());
        return 2;
    }
    Cabinet cab;
    try {
        cab = ReadCabinet(file);
    } catch (const BadCabinet& e) {
        return refuse("a Microsoft cabinet", e.what());
    }
    std::string types;
    for (uint16_t t : cab.folders)
        if (types.find(CompressionName(t)) == std::string::npos) types += (types.empty() ? "" : ", ") + CompressionName(t);
    std::printf("cabinet      %s: %s, %s in %s (%s)%s\n", path.c_str(), Plural(cab.size, "byte", "bytes").c_str(),
                Plural(cab.members.size(), "member", "members").c_str(),
                Plural(cab.folders.size(), "folder", "folders").c_str(), types.empty() ? "none" : types.c_str(),
                cab.folder_reserve || cab.header_reserve
                    ? (", space reserved in the header (" + N(cab.header_reserve) + ") and each folder (" +
                       N(cab.folder_reserve) + ")").c_str()
                    : "");
    if (!cab.unread.empty()) {
        for (const Member& m : cab.members) std::printf("member       %s\n", Show(m.name).c_str());
        return refuse("member data", cab.unread);
    }
    std::string what = "a Microsoft cabinet: " + Plural(cab.members.size(), "member", "members") + ", every data block's size and checksum right";

    const Member* setup_member = SetupMember(cab);
    if (!setup_member) return refuse(what, "no member is numbered .000: no installation control file");
    Setup setup;
    try {
        setup = ReadSetup(setup_member->data);
    } catch (const BadCabinet& e) {
        return refuse(what, setup_member->name + ": " + e.what());
    }
    Describe(setup, cab, setup_member->name);
    Check(true, what, {});
    std::vector<std::string> length = CheckLength(setup);
    for (std::string& why : length) why = setup_member->name + ": " + why;
    Check(length.empty(), setup_member->name + ": its total length is its header's, " + N(setup.length) + " bytes", length);
    Check(CheckIds(setup).empty(),
          "every id resolves: " + Plural(setup.strings.size(), "string", "strings") + ", " +
              Plural(setup.dirs.size(), "directory", "directories") + ", " + Plural(setup.files.size(), "file", "files") +
              ", " + Plural(setup.hives.size(), "registry key", "registry keys") + ", " +
              Plural(setup.keys.size(), "registry entry", "registry entries") + ", " +
              Plural(setup.links.size(), "shortcut", "shortcuts"),
          CheckIds(setup));
    Check(CheckMembers(setup, cab).empty(), "every file entry has its member, every member its entry",
          CheckMembers(setup, cab));
    for (const auto& [name, other] : compare) {
        const Setup::File* entry = nullptr;
        for (const auto& f : setup.files)
            if (f.name == name) entry = &f;
        const Member* m = entry ? MemberOf(cab, entry->id) : nullptr;
        std::vector<uint8_t> want;
        std::string label = name + " holds " + other + " byte for byte";
        if (!entry) {
            Check(false, label, {"the .000 lists no file " + name}, false);
        } else if (!m) {
            Check(false, label, {"file " + N(entry->id) + " has no member"}, false);
        } else if (!ReadFile(other, &want)) {
            Check(false, label, {"cannot read " + other}, false);
        } else {
            bool same = m->data == want;
            Check(same, same ? label + ": " + Plural(want.size(), "byte", "bytes") + " (" + m->name + ")" : label,
                  {m->name + " holds " + N(m->data.size()) + " bytes that differ from its " + N(want.size())}, false);
        }
    }
    for (const std::string& why : broken) std::fprintf(stderr, "cab_check: %s: %s\n", path.c_str(), why.c_str());
    if (!broken.empty()) return 2;
    return mismatched ? 1 : 0;
}

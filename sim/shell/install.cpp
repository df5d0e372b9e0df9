// The device's installer: what a Pocket PC does with a Windows CE
// installation cabinet that is tapped or sent by the desktop. It reads the
// whole cabinet and its control file first and refuses one it cannot use;
// only then does it store the files, write the shortcuts and the registry
// entries. The simulated device is an ARM Pocket PC on Windows CE 4.20.
#include <algorithm>

#include "cab_format.h"
#include "core.h"
#include "registry.h"
#include "shell.h"

namespace sim::shell {

namespace {

using namespace vesk_cab;

// What the device reports: GetSystemInfo's processor type on an ARM Pocket
// PC, and its Windows CE release.
constexpr uint32_t kDeviceProcessor = kProcessorStrongArm;
constexpr uint32_t kDeviceMajor = 4, kDeviceMinor = 20;

// The control file's text is in the device's ANSI code page, Latin-1 here.
sim::WString FromAnsi(const std::string& s) {
    sim::WString out;
    for (unsigned char c : s) out += WCHAR(c);
    return out;
}

std::vector<uint8_t> Utf16Bytes(const sim::WString& s) {
    std::vector<uint8_t> out;
    for (WCHAR c : s) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    return out;
}

// A folder as the device names it: from the root, no '\' at the end.
std::string Folder(std::string path) {
    if (path.empty() || path[0] != '\\') path = "\\" + path;
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

// A shortcut file of Windows CE: the length of the command line, '#', and
// the command line, the target in quotes.
std::vector<uint8_t> ShortcutFile(const std::string& target) {
    std::string line = "\"" + target + "\"";
    std::string text = std::to_string(line.size()) + "#" + line;
    return {text.begin(), text.end()};
}

sim::WString ShortcutTarget(const std::vector<uint8_t>& file) {
    std::string text(file.begin(), file.end());
    size_t hash = text.find('#');
    if (hash == std::string::npos) return {};
    std::string line = text.substr(hash + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        line = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return FromAnsi(line);
}

HKEY RootKey(uint16_t root) {
    switch (root) {
    case 1: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_CURRENT_USER;
    case 3: return HKEY_LOCAL_MACHINE;
    default: return HKEY_USERS;
    }
}

struct Value {
    HKEY root;
    std::string key;  // "HKCR\..." in the log
    sim::WString path, name;
    DWORD type;
    std::vector<uint8_t> data;
    bool keep_existing;
};

Value ValueOf(const Setup& s, const Setup::Key& k, const std::string& install_dir) {
    const Setup::Hive& hive = *s.HiveOf(k.hive);
    Value v{RootKey(hive.root), RootName(hive.root) + "\\" + s.Join(hive.parts), FromAnsi(s.Join(hive.parts)), {}, REG_SZ,
            {}, (k.type & kRegNoClobber) != 0};
    size_t nul = std::find(k.data.begin(), k.data.end(), 0) - k.data.begin();
    v.name = FromAnsi(std::string(k.data.begin(), k.data.begin() + long(nul)));
    std::vector<uint8_t> raw(k.data.begin() + long(std::min(nul + 1, k.data.size())), k.data.end());
    auto text = [&](const std::string& t) { return FromAnsi(k.substitute ? Expand(t, install_dir) : t); };
    switch (k.type & kRegTypeMask) {
    case kRegDword:
        v.type = REG_DWORD;
        raw.resize(4, 0);
        v.data = raw;
        break;
    case kRegBinary:
        v.type = REG_BINARY;
        v.data = raw;
        break;
    case kRegMultiSz: {
        v.type = REG_MULTI_SZ;
        std::string all(raw.begin(), raw.end());
        sim::WString out;
        for (size_t i = 0; i < all.size();) {
            size_t end = std::min(all.find('\0', i), all.size());
            if (end > i) out += text(all.substr(i, end - i)) + WCHAR(0);
            i = end + 1;
        }
        v.data = Utf16Bytes(out + WCHAR(0));
        break;
    }
    default: {
        std::string all(raw.begin(), raw.end());
        v.data = Utf16Bytes(text(all.substr(0, all.find('\0'))) + WCHAR(0));
    }
    }
    return v;
}

// Everything the installer is about to do, worked out before any of it is done.
struct Plan {
    std::vector<std::pair<std::string, const Member*>> files;
    std::vector<std::pair<std::string, std::string>> shortcuts;  // path, target
    std::vector<Value> values;
};

Plan Read(const std::vector<uint8_t>& bytes, Cabinet& cab) {
    cab = ReadCabinet(bytes);
    if (!cab.unread.empty()) throw BadCabinet(cab.unread);
    const Member* member = SetupMember(cab);
    if (!member) throw BadCabinet("no member is numbered .000: it holds no installation control file");
    Setup s;
    try {
        s = ReadSetup(member->data);
    } catch (const BadCabinet& e) {
        throw BadCabinet(member->name + ": " + e.what());
    }
    for (auto* check : {&CheckLength, &CheckIds})
        if (auto problems = (*check)(s); !problems.empty()) throw BadCabinet(member->name + ": " + problems.front());
    if (auto problems = CheckMembers(s, cab); !problems.empty()) throw BadCabinet(problems.front());
    if (s.processor != kProcessorAny && s.processor != kDeviceProcessor) {
        std::string name = ProcessorName(s.processor);
        throw BadCabinet("it is for another processor, " + std::to_string(s.processor) +
                         (name.empty() ? "" : " (" + name + ")") + "; this device's is 2577 (StrongARM)");
    }
    auto below = [](uint32_t a_major, uint32_t a_minor, uint32_t b_major, uint32_t b_minor) {
        return a_major < b_major || (a_major == b_major && a_minor < b_minor);
    };
    if (below(kDeviceMajor, kDeviceMinor, s.min_major, s.min_minor) ||
        below(s.max_major, s.max_minor, kDeviceMajor, kDeviceMinor))
        throw BadCabinet("it is for Windows CE " + Version(s.min_major, s.min_minor) + " to " +
                         Version(s.max_major, s.max_minor) + "; this device runs 4.20");

    Plan plan;
    std::string install_dir = InstallDir(s);
    auto dir = [&](uint16_t id) { return Folder(Expand(s.Join(s.DirOf(id)->parts), install_dir)); };
    for (const Setup::File& f : s.files) plan.files.push_back({dir(f.dir) + "\\" + f.name, MemberOf(cab, f.id)});
    for (const Setup::Link& l : s.links) {
        std::string base = Folder(l.base ? PocketPcFolder(l.base) : install_dir);
        std::string target = l.type == 0 ? dir(l.target) : dir(s.FileOf(l.target)->dir) + "\\" + s.FileOf(l.target)->name;
        plan.shortcuts.push_back({base + "\\" + s.Join(l.parts), target});
    }
    for (const Setup::Key& k : s.keys) plan.values.push_back(ValueOf(s, k, install_dir));
    return plan;
}

}  // namespace

bool Install(const std::vector<uint8_t>& bytes, std::string* error) {
    Cabinet cab;
    Plan plan;
    try {
        plan = Read(bytes, cab);
    } catch (const BadCabinet& e) {
        if (error) *error = e.what();
        return false;
    }
    for (const auto& [path, member] : plan.files) {
        StoreFile(FromAnsi(path), member->data);
        Log("installed " + Narrow(FromAnsi(path)));
    }
    for (const auto& [path, target] : plan.shortcuts) {
        StoreFile(FromAnsi(path), ShortcutFile(target));
        Log("shortcut " + Narrow(FromAnsi(path)) + " -> " + Narrow(FromAnsi(target)));
    }
    for (const Value& v : plan.values) {
        if (v.keep_existing && reg::ValueExists(v.root, v.path, v.name)) continue;
        reg::Set(v.root, v.path, v.name, v.type, v.data);
        Log("registry " + Narrow(FromAnsi(v.key)) + " \"" + Narrow(v.name) + "\"");
    }
    return true;
}

std::vector<std::pair<sim::WString, sim::WString>> StartUpShortcuts() {
    std::vector<std::pair<sim::WString, sim::WString>> out;
    for (const sim::WString& path : StoredFiles(u"\\Windows\\StartUp")) {
        // A shortcut starts its target; any other file starts itself.
        sim::WString ext = path.size() >= 4 ? path.substr(path.size() - 4) : sim::WString();
        for (WCHAR& c : ext) c = UpperCase(c);
        sim::WString target = ext == u".LNK" ? ShortcutTarget(*StoredFile(path)) : path;
        if (!target.empty()) out.push_back({path, target});
    }
    return out;
}

}  // namespace sim::shell

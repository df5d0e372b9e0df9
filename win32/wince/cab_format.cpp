// Windows CE installation cabinets: reading and writing the container and
// the installation control file, and the installer's checks.
#include "cab_format.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <set>

namespace vesk_cab {

namespace {

constexpr size_t kHeader = 36;       // CFHEADER without its optional parts
constexpr size_t kSetupHeader = 100;  // the control file's header
constexpr size_t kBlock = 32768;     // the data of one CFDATA block, uncompressed
constexpr uint16_t kFlagPrev = 1, kFlagNext = 2, kFlagReserve = 4;

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", v);
    return buf;
}
std::string N(uint64_t v) { return std::to_string(v); }

char Fold(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }
bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Fold(x) == Fold(y); });
}

// Little-endian reads that refuse to leave the buffer; `what` says whose bytes they are.
struct Bytes {
    const std::vector<uint8_t>& b;
    size_t end;
    std::string what;
    void Need(size_t off, size_t n) const {
        if (off > end || n > end - off)
            throw BadCabinet(what + " is cut short: " + N(n) + " bytes at offset " + N(off) + " lie past its end (" +
                             N(end) + " bytes)");
    }
    uint8_t U8(size_t off) const {
        Need(off, 1);
        return b[off];
    }
    uint16_t U16(size_t off) const {
        Need(off, 2);
        return uint16_t(b[off] | b[off + 1] << 8);
    }
    uint32_t U32(size_t off) const {
        Need(off, 4);
        return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 | uint32_t(b[off + 3]) << 24;
    }
    // Text of n bytes, up to its first NUL (newer CabWiz pads strings with NULs).
    std::string Text(size_t off, size_t n) const {
        Need(off, n);
        std::string s(b.begin() + long(off), b.begin() + long(off + n));
        return s.substr(0, s.find('\0'));
    }
};

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void Set16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}
void PutText(std::vector<uint8_t>& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
    out.push_back(0);
}

struct Inflater {
    z_stream z{};
    Inflater() {
        if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::runtime_error("zlib cannot start inflating");
    }
    ~Inflater() { inflateEnd(&z); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    // One MSZIP block: "CK", then deflate data whose history is the folder's
    // last 32 KiB, giving `size` bytes appended to `out`.
    bool Block(const uint8_t* in, size_t n, size_t size, std::vector<uint8_t>& out) {
        if (n < 2 || in[0] != 'C' || in[1] != 'K') return false;
        if (inflateReset(&z) != Z_OK) return false;
        size_t history = std::min<size_t>(out.size(), kBlock);
        if (history && inflateSetDictionary(&z, out.data() + out.size() - history, uInt(history)) != Z_OK) return false;
        size_t at = out.size();
        out.resize(at + size);
        z.next_in = const_cast<Bytef*>(in + 2);
        z.avail_in = uInt(n - 2);
        z.next_out = out.data() + at;
        z.avail_out = uInt(size);
        int rc = inflate(&z, Z_FINISH);
        return z.avail_out == 0 && (rc == Z_STREAM_END || rc == Z_OK || rc == Z_BUF_ERROR);
    }
};

}  // namespace

std::string CompressionName(uint16_t type) {
    switch (type & 0x000f) {
    case 0: return "uncompressed";
    case 1: return "MSZIP";
    case 2: return "Quantum";
    case 3: return "LZX";
    default: return "compression " + N(type & 0x000f);
    }
}

uint32_t Checksum(const uint8_t* data, size_t size, uint32_t seed) {
    uint32_t sum = seed;
    size_t words = size / 4;
    for (size_t i = 0; i < words; ++i, data += 4)
        sum ^= uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    // The last one to three bytes go in from the top down.
    uint32_t tail = 0;
    switch (size % 4) {
    case 3: tail |= uint32_t(*data++) << 16; [[fallthrough]];
    case 2: tail |= uint32_t(*data++) << 8; [[fallthrough]];
    case 1: tail |= *data; break;
    default: break;
    }
    return sum ^ tail;
}

const Member* Cabinet::Find(std::string_view name) const {
    for (const Member& m : members)
        if (SameNoCase(m.name, name)) return &m;
    return nullptr;
}

Cabinet ReadCabinet(const std::vector<uint8_t>& file) {
    if (file.empty()) throw BadCabinet("the file is empty");
    if (file.size() < 4 || !std::equal(file.begin(), file.begin() + 4, "MSCF"))
        throw BadCabinet("not a Microsoft cabinet: it does not begin with MSCF");
    if (file.size() < kHeader)
        throw BadCabinet("the cabinet is cut short: " + N(file.size()) + " bytes, less than its header");
    Bytes f{file, file.size(), "the cabinet"};
    Cabinet cab;
    cab.size = f.U32(8);
    if (cab.size > file.size())
        throw BadCabinet("the cabinet is cut short: its header says " + N(cab.size) + " bytes, the file holds " +
                         N(file.size()));
    f.end = cab.size;
    uint32_t files_at = f.U32(16);
    uint8_t minor = f.U8(24), major = f.U8(25);
    if (major != 1) throw BadCabinet("cabinet format " + N(major) + "." + N(minor) + ", not 1.3");
    uint16_t nfolders = f.U16(26), nfiles = f.U16(28), flags = f.U16(30);
    cab.set_id = f.U16(32);
    if (flags & (kFlagPrev | kFlagNext))
        throw BadCabinet("the cabinet is one of a set that spans several files; an installation cabinet is whole");
    size_t at = kHeader;
    uint8_t data_reserve = 0;
    if (flags & kFlagReserve) {
        cab.header_reserve = f.U16(at);
        cab.folder_reserve = f.U8(at + 2);
        data_reserve = f.U8(at + 3);
        at += 4 + cab.header_reserve;
    }
    struct Folder {
        uint32_t first;
        uint16_t blocks, type;
    };
    std::vector<Folder> folders;
    for (uint16_t i = 0; i < nfolders; ++i, at += 8 + cab.folder_reserve) {
        folders.push_back({f.U32(at), f.U16(at + 4), f.U16(at + 6)});
        cab.folders.push_back(folders.back().type);
    }
    struct Entry {
        uint32_t size, offset;
    };
    std::vector<Entry> entries;
    at = files_at;
    for (uint16_t i = 0; i < nfiles; ++i) {
        Member m;
        Entry e{f.U32(at), f.U32(at + 4)};
        m.folder = f.U16(at + 8);
        m.date = f.U16(at + 10);
        m.time = f.U16(at + 12);
        m.attribs = f.U16(at + 14);
        size_t name = at + 16, len = 0;
        while (f.U8(name + len) != 0)
            if (++len > 255) throw BadCabinet("member " + N(i) + "'s name has no end");
        m.name = f.Text(name, len);
        at = name + len + 1;
        if (m.folder >= nfolders)
            throw BadCabinet("member " + m.name +
                             (m.folder >= 0xfffd ? " continues from or into another cabinet"
                                                 : " is in folder " + N(m.folder) + ", the cabinet has " + N(nfolders)));
        cab.members.push_back(std::move(m));
        entries.push_back(e);
    }

    std::vector<std::vector<uint8_t>> contents(nfolders);
    for (uint16_t fi = 0; fi < nfolders; ++fi) {
        const Folder& folder = folders[fi];
        uint16_t type = folder.type & 0x000f;
        if (type != kCompressNone && type != kCompressMszip) {
            cab.unread = "folder " + N(fi) + " is " + CompressionName(folder.type) +
                         "-compressed, which this reader does not undo";
            continue;
        }
        std::unique_ptr<Inflater> inflater;
        if (type == kCompressMszip) inflater = std::make_unique<Inflater>();
        std::vector<uint8_t>& out = contents[fi];
        size_t block = folder.first;
        for (uint16_t k = 0; k < folder.blocks; ++k) {
            std::string where = "data block " + N(k) + " of folder " + N(fi);
            uint32_t sum = f.U32(block);
            uint16_t packed = f.U16(block + 4), unpacked = f.U16(block + 6);
            size_t data = block + 8 + data_reserve;
            f.Need(data, packed);
            if (sum != 0) {
                uint32_t want = Checksum(file.data() + block + 4, 4, Checksum(file.data() + data, packed, 0));
                if (want != sum) throw BadCabinet(where + ": its checksum is " + Hex(sum) + ", its bytes give " + Hex(want));
            }
            if (unpacked > kBlock) throw BadCabinet(where + " says it holds " + N(unpacked) + " bytes, more than 32768");
            if (!inflater) {
                if (packed != unpacked)
                    throw BadCabinet(where + " is uncompressed but holds " + N(packed) + " bytes for " + N(unpacked));
                out.insert(out.end(), file.begin() + long(data), file.begin() + long(data + packed));
            } else if (!inflater->Block(file.data() + data, packed, unpacked, out)) {
                throw BadCabinet(where + " does not inflate to its " + N(unpacked) + " bytes");
            }
            block = data + packed;
        }
    }
    for (size_t i = 0; i < cab.members.size(); ++i) {
        Member& m = cab.members[i];
        const std::vector<uint8_t>& folder = contents[m.folder];
        uint16_t type = folders[m.folder].type & 0x000f;
        if (type != kCompressNone && type != kCompressMszip) continue;
        uint64_t end = uint64_t(entries[i].offset) + entries[i].size;
        if (end > folder.size())
            throw BadCabinet("member " + m.name + " lies outside its folder: bytes " + N(entries[i].offset) + " to " +
                             N(end) + " of " + N(folder.size()));
        m.data.assign(folder.begin() + long(entries[i].offset), folder.begin() + long(end));
    }
    return cab;
}

std::vector<uint8_t> WriteCabinet(const std::vector<Member>& members) {
    if (members.size() > 0xffff) throw BadCabinet("a cabinet holds at most 65535 members");
    size_t files_size = 0, data_size = 0;
    for (const Member& m : members) {
        files_size += 16 + m.name.size() + 1;
        data_size += m.data.size();
    }
    size_t blocks = (data_size + kBlock - 1) / kBlock;
    if (blocks > 0xffff) throw BadCabinet("too much data for one folder");
    size_t files_at = kHeader + 8, data_at = files_at + files_size;
    size_t total = data_at + blocks * 8 + data_size;
    if (total > 0xffffffffu) throw BadCabinet("a cabinet is at most 4 GiB");

    std::vector<uint8_t> out = {'M', 'S', 'C', 'F'};
    out.reserve(total);
    Put32(out, 0);
    Put32(out, uint32_t(total));
    Put32(out, 0);
    Put32(out, uint32_t(files_at));
    Put32(out, 0);
    out.push_back(3);  // format 1.3
    out.push_back(1);
    Put16(out, 1);  // one folder
    Put16(out, uint16_t(members.size()));
    Put16(out, 0);  // no set, no reserved space
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, uint32_t(data_at));
    Put16(out, uint16_t(blocks));
    Put16(out, kCompressNone);
    uint32_t offset = 0;
    for (const Member& m : members) {
        Put32(out, uint32_t(m.data.size()));
        Put32(out, offset);
        Put16(out, 0);
        Put16(out, m.date);
        Put16(out, m.time);
        Put16(out, m.attribs);
        PutText(out, m.name);
        offset += uint32_t(m.data.size());
    }
    std::vector<uint8_t> data;
    data.reserve(data_size);
    for (const Member& m : members) data.insert(data.end(), m.data.begin(), m.data.end());
    for (size_t b = 0; b < blocks; ++b) {
        size_t from = b * kBlock, n = std::min(kBlock, data_size - from);
        size_t head = out.size();
        Put32(out, 0);
        Put16(out, uint16_t(n));
        Put16(out, uint16_t(n));
        out.insert(out.end(), data.begin() + long(from), data.begin() + long(from + n));
        Set32(out, head, Checksum(out.data() + head + 4, 4, Checksum(out.data() + head + 8, n, 0)));
    }
    return out;
}

// ---------------------------------------------------------------------------
// The control file

std::string ProcessorName(uint32_t code) {
    static const std::map<uint32_t, const char*> kNames = {
        {0, "any"},          {103, "SH3"},          {104, "SH4"},          {386, "Intel 386"},
        {486, "Intel 486"},  {586, "Pentium"},      {601, "PowerPC 601"},  {821, "Motorola 821"},
        {1824, "ARM720"},    {2080, "ARM820"},      {2336, "ARM920"},      {2577, "StrongARM"},
        {4000, "MIPS R4000"}, {10003, "Hitachi SH3"}, {10004, "Hitachi SH3E"}, {10005, "Hitachi SH4"},
        {70001, "ARM 7TDMI"}};
    auto it = kNames.find(code);
    return it == kNames.end() ? "" : it->second;
}

const std::string* Setup::StringOf(uint16_t id) const {
    for (const String& s : strings)
        if (s.id == id) return &s.text;
    return nullptr;
}
const Setup::Dir* Setup::DirOf(uint16_t id) const {
    for (const Dir& d : dirs)
        if (d.id == id) return &d;
    return nullptr;
}
const Setup::File* Setup::FileOf(uint16_t id) const {
    for (const File& f : files)
        if (f.id == id) return &f;
    return nullptr;
}
const Setup::Hive* Setup::HiveOf(uint16_t id) const {
    for (const Hive& h : hives)
        if (h.id == id) return &h;
    return nullptr;
}

std::string Setup::Join(const std::vector<uint16_t>& parts) const {
    std::string out;
    for (uint16_t id : parts) {
        const std::string* s = StringOf(id);
        out += (out.empty() ? "" : "\\") + (s ? *s : "<id " + N(id) + ">");
    }
    return out;
}

Setup ReadSetup(const std::vector<uint8_t>& bytes) {
    Bytes f{bytes, bytes.size(), "the .000"};
    if (bytes.size() < kSetupHeader)
        throw BadCabinet("the .000 is " + N(bytes.size()) + " bytes, less than its 100-byte header");
    if (!std::equal(bytes.begin(), bytes.begin() + 4, "MSCE"))
        throw BadCabinet("the .000 does not begin with MSCE: it is no installation control file");
    Setup s;
    s.held = bytes.size();
    s.length = f.U32(8);
    s.processor = f.U32(20);
    s.min_major = f.U32(24);
    s.min_minor = f.U32(28);
    s.max_major = f.U32(32);
    s.max_minor = f.U32(36);
    s.min_build = f.U32(40);
    s.max_build = f.U32(44);
    std::array<uint16_t, 6> count{};
    std::array<uint32_t, 6> offset{};
    for (size_t i = 0; i < 6; ++i) {
        count[i] = f.U16(48 + 2 * i);
        offset[i] = f.U32(60 + 4 * i);
    }
    s.app = f.Text(f.U16(84), f.U16(86));
    s.provider = f.Text(f.U16(88), f.U16(90));
    {
        size_t at = f.U16(92), n = f.U16(94);
        f.Need(at, n);
        for (size_t i = at; i < at + n;) {
            size_t end = i;
            while (end < at + n && bytes[end]) ++end;
            if (end > i) s.unsupported.push_back(f.Text(i, end - i));
            i = end + 1;
        }
    }
    auto ids = [&](size_t at, size_t n, const std::string& what) {
        if (n % 2) throw BadCabinet("the .000's " + what + " has a path of " + N(n) + " bytes, not whole string ids");
        std::vector<uint16_t> out;
        for (size_t i = 0; i < n; i += 2) out.push_back(f.U16(at + i));
        if (!out.empty() && out.back() == 0) out.pop_back();  // the terminating 0, where there is one
        return out;
    };
    size_t at = offset[0];
    for (uint16_t i = 0; i < count[0]; ++i) {
        Setup::String e{f.U16(at), {}};
        uint16_t n = f.U16(at + 2);
        e.text = f.Text(at + 4, n);
        s.strings.push_back(e);
        at += 4 + n;
    }
    at = offset[1];
    for (uint16_t i = 0; i < count[1]; ++i) {
        uint16_t n = f.U16(at + 2);
        s.dirs.push_back({f.U16(at), ids(at + 4, n, "directory " + N(f.U16(at)))});
        at += 4 + n;
    }
    at = offset[2];
    for (uint16_t i = 0; i < count[2]; ++i) {
        Setup::File e{f.U16(at), f.U16(at + 2), f.U16(at + 4), f.U32(at + 6), {}};
        uint16_t n = f.U16(at + 10);
        e.name = f.Text(at + 12, n);
        s.files.push_back(e);
        at += 12 + n;
    }
    at = offset[3];
    for (uint16_t i = 0; i < count[3]; ++i) {
        uint16_t n = f.U16(at + 6);
        s.hives.push_back({f.U16(at), f.U16(at + 2), f.U16(at + 4), ids(at + 8, n, "registry key " + N(f.U16(at)))});
        at += 8 + n;
    }
    at = offset[4];
    for (uint16_t i = 0; i < count[4]; ++i) {
        Setup::Key e{f.U16(at), f.U16(at + 2), f.U16(at + 4), f.U32(at + 6), {}};
        uint16_t n = f.U16(at + 10);
        f.Need(at + 12, n);
        e.data.assign(bytes.begin() + long(at + 12), bytes.begin() + long(at + 12 + n));
        s.keys.push_back(e);
        at += 12 + n;
    }
    at = offset[5];
    for (uint16_t i = 0; i < count[5]; ++i) {
        uint16_t n = f.U16(at + 10);
        s.links.push_back({f.U16(at), f.U16(at + 2), f.U16(at + 4), f.U16(at + 6), f.U16(at + 8),
                           ids(at + 12, n, "shortcut " + N(f.U16(at)))});
        at += 12 + n;
    }
    return s;
}

std::vector<uint8_t> WriteSetup(const Setup& s) {
    std::vector<uint8_t> out(kSetupHeader, 0);
    auto text16 = [&](size_t field, const std::string& text) {
        if (out.size() > 0xffff || text.size() >= 0xffff) throw BadCabinet("a name is too long for the .000");
        Set16(out, field, uint16_t(out.size()));
        Set16(out, field + 2, uint16_t(text.size() + 1));
        PutText(out, text);
    };
    auto len16 = [](size_t n) {
        if (n > 0xffff) throw BadCabinet("an entry is too long for the .000");
        return uint16_t(n);
    };
    auto path = [&](const std::vector<uint16_t>& parts, bool terminated) {
        Put16(out, len16(2 * (parts.size() + (terminated ? 1 : 0))));
        for (uint16_t id : parts) Put16(out, id);
        if (terminated) Put16(out, 0);
    };
    out[0] = 'M', out[1] = 'S', out[2] = 'C', out[3] = 'E';
    Set32(out, 16, 1);  // every cabinet CabWiz writes has 1 here
    Set32(out, 20, s.processor);
    Set32(out, 24, s.min_major);
    Set32(out, 28, s.min_minor);
    Set32(out, 32, s.max_major);
    Set32(out, 36, s.max_minor);
    Set32(out, 40, s.min_build);
    Set32(out, 44, s.max_build);
    text16(84, s.app);
    text16(88, s.provider);
    Set16(out, 92, uint16_t(out.size()));
    size_t unsupported = out.size();
    for (const std::string& u : s.unsupported) PutText(out, u);
    if (!s.unsupported.empty()) out.push_back(0);
    Set16(out, 94, len16(out.size() - unsupported));
    const size_t counts[6] = {s.strings.size(), s.dirs.size(), s.files.size(), s.hives.size(), s.keys.size(), s.links.size()};
    for (size_t section = 0; section < 6; ++section) {
        Set16(out, 48 + 2 * section, len16(counts[section]));
        Set32(out, 60 + 4 * section, uint32_t(out.size()));
        switch (section) {
        case 0:
            for (const auto& e : s.strings) {
                Put16(out, e.id);
                Put16(out, len16(e.text.size() + 1));
                PutText(out, e.text);
            }
            break;
        case 1:
            for (const auto& e : s.dirs) {
                Put16(out, e.id);
                path(e.parts, true);
            }
            break;
        case 2:
            for (const auto& e : s.files) {
                Put16(out, e.id);
                Put16(out, e.dir);
                Put16(out, e.unknown);
                Put32(out, e.flags);
                Put16(out, len16(e.name.size() + 1));
                PutText(out, e.name);
            }
            break;
        case 3:
            for (const auto& e : s.hives) {
                Put16(out, e.id);
                Put16(out, e.root);
                Put16(out, e.unknown);
                path(e.parts, true);
            }
            break;
        case 4:
            for (const auto& e : s.keys) {
                Put16(out, e.id);
                Put16(out, e.hive);
                Put16(out, e.substitute);
                Put32(out, e.type);
                Put16(out, len16(e.data.size()));
                out.insert(out.end(), e.data.begin(), e.data.end());
            }
            break;
        default:
            // As CabWiz writes them, and as devices read them: no 0 after
            // the shortcut's path.
            for (const auto& e : s.links) {
                Put16(out, e.id);
                Put16(out, e.unknown);
                Put16(out, e.base);
                Put16(out, e.target);
                Put16(out, e.type);
                path(e.parts, false);
            }
            break;
        }
    }
    Set32(out, 8, uint32_t(out.size()));
    return out;
}

std::string Version(uint32_t major, uint32_t minor) { return N(major) + "." + N(minor); }

std::string PocketPcFolder(unsigned n) {
    static const char* const kFolders[] = {"",
                                           "\\Program Files",
                                           "\\Windows",
                                           "\\Windows\\Desktop",
                                           "\\Windows\\StartUp",
                                           "\\My Documents",
                                           "\\Program Files\\Accessories",
                                           "\\Program Files\\Communication",
                                           "\\Program Files\\Games",
                                           "\\Program Files\\Pocket Outlook",
                                           "\\Program Files\\Office",
                                           "\\Windows\\Start Menu\\Programs",
                                           "\\Windows\\Start Menu\\Programs\\Accessories",
                                           "\\Windows\\Start Menu\\Programs\\Communications",
                                           "\\Windows\\Start Menu\\Programs\\Games",
                                           "\\Windows\\Fonts",
                                           "\\Windows\\Recent",
                                           "\\Windows\\Start Menu"};
    return n < std::size(kFolders) ? kFolders[n] : "";
}

std::string Expand(const std::string& path, const std::string& install_dir) {
    std::string out;
    for (size_t i = 0; i < path.size();) {
        size_t close = path[i] == '%' ? path.find('%', i + 1) : std::string::npos;
        if (close != std::string::npos) {
            std::string name = path.substr(i + 1, close - i - 1);
            std::string folder;
            if (SameNoCase(name, "InstallDir")) {
                folder = install_dir;
            } else if (name.size() > 2 && SameNoCase(name.substr(0, 2), "CE") &&
                       name.find_first_not_of("0123456789", 2) == std::string::npos && name.size() <= 4) {
                folder = PocketPcFolder(unsigned(std::stoul(name.substr(2))));
            }
            if (!folder.empty()) {
                out += folder;
                i = close + 1;
                continue;
            }
        }
        out += path[i++];
    }
    return out;
}

std::string InstallDir(const Setup& setup) {
    const std::string* first = setup.StringOf(1);
    return first ? Expand(*first, "") : "";
}

std::string RootName(uint16_t root) {
    switch (root) {
    case 1: return "HKCR";
    case 2: return "HKCU";
    case 3: return "HKLM";
    case 4: return "HKU";
    default: return "";
    }
}

std::optional<unsigned> MemberNumber(const std::string& name) {
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 4) return std::nullopt;
    std::string digits = name.substr(dot + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return unsigned(std::stoul(digits));
}

const Member* MemberOf(const Cabinet& cab, uint16_t file_id) {
    for (const Member& m : cab.members)
        if (MemberNumber(m.name) == file_id) return &m;
    return nullptr;
}

const Member* SetupMember(const Cabinet& cab) { return MemberOf(cab, 0); }

std::vector<std::string> CheckLength(const Setup& s) {
    if (s.length == s.held) return {};
    return {"the .000 says it is " + N(s.length) + " bytes long, it holds " + N(s.held)};
}

std::vector<std::string> CheckIds(const Setup& s) {
    std::vector<std::string> out;
    auto strings = [&](const std::vector<uint16_t>& parts, const std::string& who) {
        for (uint16_t id : parts)
            if (!s.StringOf(id)) out.push_back(who + " names string " + N(id) + ", which the .000 does not have");
    };
    for (const auto& d : s.dirs) strings(d.parts, "directory " + N(d.id));
    for (const auto& f : s.files)
        if (!s.DirOf(f.dir))
            out.push_back("file " + N(f.id) + " (" + f.name + ") goes to directory " + N(f.dir) + ", which the .000 does not have");
    for (const auto& h : s.hives) {
        strings(h.parts, "registry key " + N(h.id));
        if (RootName(h.root).empty())
            out.push_back("registry key " + N(h.id) + " has root " + N(h.root) + ", none of HKCR, HKCU, HKLM, HKU");
    }
    for (const auto& k : s.keys)
        if (!s.HiveOf(k.hive))
            out.push_back("registry entry " + N(k.id) + " is under key " + N(k.hive) + ", which the .000 does not have");
    for (const auto& l : s.links) {
        std::string who = "shortcut " + N(l.id);
        strings(l.parts, who);
        if (l.parts.empty()) out.push_back(who + " has no name");
        if (l.base != 0 && PocketPcFolder(l.base).empty()) out.push_back(who + " is in %CE" + N(l.base) + "%, which no device has");
        bool found = l.type == 0 ? s.DirOf(l.target) != nullptr : s.FileOf(l.target) != nullptr;
        if (!found)
            out.push_back(who + " points to " + (l.type == 0 ? "directory " : "file ") + N(l.target) +
                          ", which the .000 does not have");
    }
    return out;
}

std::vector<std::string> CheckMembers(const Setup& s, const Cabinet& cab) {
    std::vector<std::string> out;
    char digits[8];
    for (const auto& f : s.files) {
        std::snprintf(digits, sizeof digits, "%03u", unsigned(f.id));
        if (!MemberOf(cab, f.id))
            out.push_back("file " + N(f.id) + " (" + f.name + ") has no member: the cabinet holds none ending in ." + digits);
    }
    std::set<unsigned> seen;
    for (const Member& m : cab.members) {
        std::optional<unsigned> n = MemberNumber(m.name);
        if (!n) {
            if (!SameNoCase(m.name, "_setup.xml")) out.push_back("member " + m.name + " is not numbered (.NNN)");
            continue;
        }
        if (!seen.insert(*n).second) out.push_back("two members are numbered " + N(*n));
        if (*n != 0 && *n != 999 && !s.FileOf(uint16_t(*n)))
            out.push_back("member " + m.name + " has no file entry in the .000");
    }
    return out;
}

}  // namespace vesk_cab

// Windows CE executables and compiled resources, as the device's loader and
// the build's tools read them: bounded little-endian reads, the PE32 image
// (headers, sections, imports, relocations, the resource tree), resource
// identifiers and the compiled resource script (.res) format. Header-only and
// free of the simulator, so that the build's host tools (pe_check,
// res_object) and the simulator's loader read a file the same way.
#ifndef VESK_PE_FORMAT_H
#define VESK_PE_FORMAT_H

#include <compare>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vesk_pe {

constexpr uint16_t kMachineArm = 0x1c0;  // ARM-state code, what every Pocket PC CPU runs
constexpr uint32_t kHighBit = 0x80000000u;

struct BadImage : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BadImage("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Little-endian reads that refuse to leave the buffer.
struct Bytes {
  const std::vector<uint8_t>& b;
  void Need(uint64_t off, uint64_t n) const {
    if (off > b.size() || n > b.size() - off) throw BadImage("truncated at offset " + std::to_string(off));
  }
  uint16_t U16(uint64_t off) const {
    Need(off, 2);
    return uint16_t(b[off] | b[off + 1] << 8);
  }
  uint32_t U32(uint64_t off) const {
    Need(off, 4);
    return uint32_t(b[off]) | uint32_t(b[off + 1]) << 8 | uint32_t(b[off + 2]) << 16 | uint32_t(b[off + 3]) << 24;
  }
};

// A resource type or name: a number or a string. Strings sort before
// numbers, as a resource directory lists them.
struct ResId {
  bool is_num = true;
  uint32_t num = 0;
  std::u16string str;
  auto operator<=>(const ResId&) const = default;
};

inline std::string Show(const ResId& id) {
  if (id.is_num) return std::to_string(id.num);
  std::string out;
  for (char16_t c : id.str) out += c < 0x80 ? char(c) : '?';
  return out;
}

struct ResKey {
  ResId type, name;
  uint32_t lang = 0;
  auto operator<=>(const ResKey&) const = default;
};

inline std::string Show(const ResKey& k) {
  static const std::map<uint32_t, const char*> kTypes = {{3, "icon"}, {4, "menu"}, {14, "icon group"}, {16, "version"}};
  std::string type = Show(k.type);
  if (k.type.is_num && kTypes.count(k.type.num)) type = kTypes.at(k.type.num);
  char lang[16];
  std::snprintf(lang, sizeof lang, "0x%04x", k.lang);
  return type + " " + Show(k.name) + " (language " + lang + ")";
}

using Resources = std::map<ResKey, std::vector<uint8_t>>;

// A compiled resource script: after an empty entry, one header and its data
// per resource, each on a 4-byte boundary.
inline Resources ReadRes(const std::vector<uint8_t>& file) {
  Bytes f{file};
  Resources out;
  uint64_t off = 0;
  while (off + 32 <= file.size()) {
    uint32_t data_size = f.U32(off), header_size = f.U32(off + 4);
    if (header_size < 32) throw BadImage("resource header too short at offset " + std::to_string(off));
    f.Need(off, header_size);
    uint64_t p = off + 8;
    auto id = [&] {
      ResId r;
      if (f.U16(p) == 0xffff) {
        r.num = f.U16(p + 2);
        p += 4;
      } else {
        r.is_num = false;
        for (; f.U16(p) != 0; p += 2) r.str += char16_t(f.U16(p));
        p += 2;
      }
      return r;
    };
    ResKey k;
    k.type = id();
    k.name = id();
    p = (p + 3) & ~uint64_t(3);
    k.lang = f.U16(p + 6);
    f.Need(off + header_size, data_size);
    bool empty = data_size == 0 && k.type.is_num && k.type.num == 0;
    if (!empty) {
      if (out.count(k)) throw BadImage(Show(k) + " twice");
      out[k].assign(file.begin() + long(off + header_size), file.begin() + long(off + header_size + data_size));
    }
    off = (off + header_size + data_size + 3) & ~uint64_t(3);
  }
  if (off < file.size()) throw BadImage("trailing bytes after the last resource");
  return out;
}

// The compiled resource script that holds `resources`: the empty entry,
// then each resource's header and data on 4-byte boundaries, in the order
// of the map (types and names as a resource directory sorts them).
inline std::vector<uint8_t> WriteRes(const Resources& resources) {
  std::vector<uint8_t> out(32, 0);
  out[4] = 32;
  out[8] = out[9] = out[12] = out[13] = 0xff;
  auto u16 = [&](uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
  };
  auto u32 = [&](uint32_t v) {
    u16(uint16_t(v));
    u16(uint16_t(v >> 16));
  };
  auto id = [&](const ResId& r) {
    if (r.is_num) {
      u16(0xffff);
      u16(uint16_t(r.num));
    } else {
      for (char16_t c : r.str) u16(uint16_t(c));
      u16(0);
    }
  };
  auto align = [&] {
    while (out.size() % 4) out.push_back(0);
  };
  for (const auto& [key, data] : resources) {
    size_t start = out.size();
    u32(uint32_t(data.size()));
    u32(0);  // the header's size, once known
    id(key.type);
    id(key.name);
    align();
    u32(0);       // data version
    u16(0x1030);  // moveable, pure, discardable
    u16(uint16_t(key.lang));
    u32(0);  // version
    u32(0);  // characteristics
    uint32_t header = uint32_t(out.size() - start);
    for (int i = 0; i < 4; ++i) out[start + 4 + size_t(i)] = uint8_t(header >> (8 * i));
    out.insert(out.end(), data.begin(), data.end());
    align();
  }
  return out;
}

constexpr uint16_t kSubsystemCeGui = 9;
constexpr uint16_t kCharExecutable = 0x0002;
constexpr uint16_t kCharDll = 0x2000;

struct Import {
  std::string dll;                // as the image names it
  std::vector<std::string> names; // "#N" for an import by ordinal
  std::vector<uint32_t> slots;    // the address-table entry of each, as image addresses
};

struct Section {
  std::string name;
  uint32_t vsize = 0, va = 0, raw_size = 0, raw_ptr = 0, flags = 0;
};

struct Image {
  uint64_t size = 0;
  uint16_t machine = 0, characteristics = 0, subsystem = 0;
  uint32_t entry = 0;
  uint32_t image_base = 0, image_size = 0, headers_size = 0;
  uint16_t os_major = 0, os_minor = 0, sub_major = 0, sub_minor = 0;
  std::vector<Section> sections;
  std::vector<Import> imports;
  std::vector<uint32_t> relocations;  // image addresses of the 32-bit words to rebase
  uint16_t other_relocation = 0;      // the first relocation type beyond those, if any
  Resources resources;
};

inline std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", v);
  return buf;
}

inline std::string Upper(std::string s) {
  for (char& c : s) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

// The DLL's name as an export list names it: upper case, no ".DLL".
inline std::string DllKey(const std::string& dll) {
  std::string k = Upper(dll);
  if (k.size() > 4 && k.ends_with(".DLL")) k.resize(k.size() - 4);
  return k;
}

class PeReader {
 public:
  explicit PeReader(const std::vector<uint8_t>& file) : f_{file} {}

  Image Read() {
    Image img;
    img.size = f_.b.size();
    if (f_.U16(0) != 0x5a4d) throw BadImage("no MZ header");
    uint32_t pe = f_.U32(0x3c);
    if (f_.U32(pe) != 0x00004550) throw BadImage("no PE signature");
    uint64_t fh = pe + 4;
    img.machine = f_.U16(fh);
    uint16_t nsections = f_.U16(fh + 2);
    uint16_t opt_size = f_.U16(fh + 16);
    img.characteristics = f_.U16(fh + 18);
    uint64_t opt = fh + 20;
    if (f_.U16(opt) != 0x10b) throw BadImage("not a PE32 optional header");
    if (opt_size < 96) throw BadImage("optional header too short");
    img.entry = f_.U32(opt + 16);
    img.image_base = f_.U32(opt + 28);
    img.image_size = f_.U32(opt + 56);
    img.headers_size = f_.U32(opt + 60);
    img.os_major = f_.U16(opt + 40);
    img.os_minor = f_.U16(opt + 42);
    img.sub_major = f_.U16(opt + 48);
    img.sub_minor = f_.U16(opt + 50);
    img.subsystem = f_.U16(opt + 68);
    uint32_t ndirs = f_.U32(opt + 92);
    auto dir = [&](uint32_t i) -> std::pair<uint32_t, uint32_t> {
      if (i >= ndirs || 96 + 8 * (i + 1) > opt_size) return {0, 0};
      return {f_.U32(opt + 96 + 8 * i), f_.U32(opt + 100 + 8 * i)};
    };
    uint64_t sec = opt + opt_size;
    for (uint16_t i = 0; i < nsections; ++i, sec += 40) {
      Section s;
      f_.Need(sec, 40);
      for (int c = 0; c < 8 && f_.b[sec + c]; ++c) s.name += char(f_.b[sec + c]);
      s.vsize = f_.U32(sec + 8);
      s.va = f_.U32(sec + 12);
      s.raw_size = f_.U32(sec + 16);
      s.raw_ptr = f_.U32(sec + 20);
      s.flags = f_.U32(sec + 36);
      f_.Need(s.raw_ptr, s.raw_size);
      sections_.push_back(s);
    }
    img.sections = sections_;
    if (auto [rva, size] = dir(1); rva != 0 && size != 0) ReadImports(rva, img);
    if (auto [rva, size] = dir(2); rva != 0 && size != 0) {
      rsrc_ = rva;
      ReadResourceDir(rva, 0, {}, img.resources);
    }
    if (auto [rva, size] = dir(5); rva != 0 && size != 0) ReadRelocations(rva, size, img);
    return img;
  }

 private:
  // The file offset of an image address, or an error when no section holds it.
  uint64_t Offset(uint32_t rva, uint32_t n = 1) const {
    for (const Section& s : sections_) {
      if (rva >= s.va && uint64_t(rva) + n <= uint64_t(s.va) + s.raw_size) return s.raw_ptr + (rva - s.va);
    }
    throw BadImage("address " + Hex(rva) + " is in no section's file data");
  }

  std::string CString(uint32_t rva) const {
    uint64_t off = Offset(rva);
    std::string s;
    for (;; ++off) {
      f_.Need(off, 1);
      if (f_.b[off] == 0) return s;
      s += char(f_.b[off]);
      if (s.size() > 4096) throw BadImage("unterminated name at " + Hex(rva));
    }
  }

  void ReadImports(uint32_t rva, Image& img) const {
    for (uint32_t d = rva;; d += 20) {
      uint64_t off = Offset(d, 20);
      uint32_t lookup = f_.U32(off), name = f_.U32(off + 12), iat = f_.U32(off + 16);
      if (lookup == 0 && name == 0 && iat == 0) return;
      if (img.imports.size() > 1000) throw BadImage("import directory without end");
      Import imp;
      imp.dll = CString(name);
      for (uint32_t t = lookup ? lookup : iat;; t += 4) {
        uint32_t thunk = f_.U32(Offset(t, 4));
        if (thunk == 0) break;
        imp.slots.push_back(iat + (t - (lookup ? lookup : iat)));
        if (thunk & kHighBit) {
          imp.names.push_back("#" + std::to_string(thunk & 0xffff));
        } else {
          f_.Need(Offset(thunk, 2), 2);
          imp.names.push_back(CString(thunk + 2));
        }
        if (imp.names.size() > 100000) throw BadImage("import list of " + imp.dll + " without end");
      }
      img.imports.push_back(imp);
    }
  }

  // Blocks of 16-bit entries, a type in the top four bits: 0 pads a block,
  // 3 (HIGHLOW) rebases a 32-bit word, the only kind an ARM executable's
  // loader applies; the first of any other kind is noted.
  void ReadRelocations(uint32_t rva, uint32_t size, Image& img) const {
    for (uint32_t at = 0; at + 8 <= size;) {
      uint64_t off = Offset(rva + at, 8);
      uint32_t page = f_.U32(off), block = f_.U32(off + 4);
      if (block < 8 || block > size - at) throw BadImage("relocation block of " + std::to_string(block) + " bytes");
      for (uint32_t e = 8; e + 2 <= block; e += 2) {
        uint16_t entry = f_.U16(Offset(rva + at + e, 2));
        if (entry >> 12 == 0) continue;
        if (entry >> 12 != 3) {
          if (!img.other_relocation) img.other_relocation = uint16_t(entry >> 12);
          continue;
        }
        img.relocations.push_back(page + (entry & 0xfff));
      }
      at += block;
    }
  }

  // Type, name and language directories, then the data entries.
  void ReadResourceDir(uint32_t rva, int level, ResKey key, Resources& out) {
    if (++visited_ > 10000) throw BadImage("resource directory loops");
    uint64_t off = Offset(rva, 16);
    uint32_t n = uint32_t(f_.U16(off + 12)) + f_.U16(off + 14);
    for (uint32_t i = 0; i < n; ++i) {
      uint64_t e = Offset(rva + 16 + 8 * i, 8);
      uint32_t name = f_.U32(e), target = f_.U32(e + 4);
      ResId id;
      if (name & kHighBit) {
        id.is_num = false;
        uint64_t s = Offset(rsrc_ + (name & 0x7fffffffu), 2);
        uint16_t len = f_.U16(s);
        f_.Need(s + 2, 2u * len);
        for (uint16_t c = 0; c < len; ++c) id.str += char16_t(f_.U16(s + 2 + 2 * c));
      } else {
        id.num = name;
      }
      ResKey k = key;
      if (level == 0) k.type = id;
      else if (level == 1) k.name = id;
      else k.lang = id.num;
      bool subdir = target & kHighBit;
      uint32_t at = rsrc_ + (target & 0x7fffffffu);
      if (subdir != (level < 2)) throw BadImage("resource tree is not type/name/language");
      if (subdir) {
        ReadResourceDir(at, level + 1, k, out);
      } else {
        uint64_t d = Offset(at, 16);
        uint32_t data = f_.U32(d), size = f_.U32(d + 4);
        uint64_t from = size ? Offset(data, size) : 0;
        out[k].assign(f_.b.begin() + long(from), f_.b.begin() + long(from + size));
      }
    }
  }

  Bytes f_;
  std::vector<Section> sections_;
  uint32_t rsrc_ = 0;
  int visited_ = 0;
};

}  // namespace vesk_pe

#endif

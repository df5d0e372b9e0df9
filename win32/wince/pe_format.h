// What pe_check and res_object share: bounded little-endian reads, resource
// identifiers and the compiled resource script (.res) format.
#ifndef VESK_WINCE_PE_FORMAT_H
#define VESK_WINCE_PE_FORMAT_H

#include <compare>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
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

}  // namespace vesk_pe

#endif

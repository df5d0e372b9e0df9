// Turns a compiled resource script (.res) into an ARM COFF object holding its
// .rsrc section, for the Windows CE linker:
//
//   res_object IN.res OUT.o
//
// The device build links the very bytes that the simulator loads (the .res that
// Debian's windres writes). The cross toolchain's own windres re-encodes what it
// reads: its version block marks the text blocks as binary.
//
// The section is laid out as a linker expects it: the type, name and language
// directories (named entries first, then ids in ascending order), the data
// entries, the directory strings, then the data on 8-byte boundaries. Every
// data entry's address is relocated against the section (image-relative).
#include <algorithm>
#include <type_traits>

#include <sim/pe_format.h>

namespace {

using namespace vesk_pe;

constexpr uint16_t kRelArmRva32 = 2;
constexpr uint32_t kSectionFlags = 0xc0300040;  // initialized data, 4-byte aligned, read/write

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, uint16_t(v));
  Put16(b, at + 2, uint16_t(v >> 16));
}

size_t Align(size_t v, size_t a) { return (v + a - 1) / a * a; }

struct Section {
  std::vector<uint8_t> data;
  std::vector<uint32_t> relocs;  // offsets of the data entries' addresses
};

Section BuildSection(const Resources& res) {
  // The tree: type -> name -> language -> data.
  std::map<ResId, std::map<ResId, std::map<uint32_t, const std::vector<uint8_t>*>>> tree;
  for (const auto& [k, data] : res) tree[k.type][k.name][k.lang] = &data;

  auto dir_size = [](size_t entries) { return 16 + 8 * entries; };
  size_t dirs = dir_size(tree.size());
  for (const auto& [type, names] : tree) {
    dirs += dir_size(names.size());
    for (const auto& [name, langs] : names) dirs += dir_size(langs.size());
  }
  size_t entries_at = dirs;
  size_t strings_at = entries_at + 16 * res.size();
  size_t strings = 0;
  std::map<std::u16string, size_t> string_at;
  auto add_string = [&](const ResId& id) {
    if (!id.is_num && !string_at.count(id.str)) {
      string_at[id.str] = strings_at + strings;
      strings += 2 + 2 * id.str.size();
    }
  };
  for (const auto& [type, names] : tree) {
    add_string(type);
    for (const auto& [name, langs] : names) add_string(name);
  }
  size_t data_at = Align(strings_at + strings, 8);
  size_t total = data_at;
  for (const auto& [k, data] : res) total = Align(total, 8) + data.size();

  Section s;
  s.data.assign(Align(total, 4), 0);
  for (const auto& [str, at] : string_at) {
    Put16(s.data, at, uint16_t(str.size()));
    for (size_t i = 0; i < str.size(); ++i) Put16(s.data, at + 2 + 2 * i, str[i]);
  }

  size_t next_dir = 0, next_entry = entries_at, next_data = data_at;
  // Writes a directory header for `count` entries and returns where its first entry goes.
  auto open_dir = [&](const auto& children) {
    size_t at = next_dir;
    uint16_t named = 0;
    for (const auto& child : children) {
      if constexpr (std::is_same_v<std::decay_t<decltype(child.first)>, ResId>) named += !child.first.is_num;
    }
    Put16(s.data, at + 12, named);
    Put16(s.data, at + 14, uint16_t(children.size() - named));
    next_dir += dir_size(children.size());
    return at + 16;
  };
  auto id_field = [&](const ResId& id) { return id.is_num ? id.num : kHighBit | uint32_t(string_at.at(id.str)); };

  size_t type_entry = open_dir(tree);
  for (const auto& [type, names] : tree) {
    Put32(s.data, type_entry, id_field(type));
    Put32(s.data, type_entry + 4, kHighBit | uint32_t(next_dir));
    type_entry += 8;
    size_t name_entry = open_dir(names);
    for (const auto& [name, langs] : names) {
      Put32(s.data, name_entry, id_field(name));
      Put32(s.data, name_entry + 4, kHighBit | uint32_t(next_dir));
      name_entry += 8;
      size_t lang_entry = open_dir(langs);
      for (const auto& [lang, data] : langs) {
        Put32(s.data, lang_entry, lang);
        Put32(s.data, lang_entry + 4, uint32_t(next_entry));
        lang_entry += 8;
        next_data = Align(next_data, 8);
        Put32(s.data, next_entry, uint32_t(next_data));  // relocated to an image address
        Put32(s.data, next_entry + 4, uint32_t(data->size()));
        s.relocs.push_back(uint32_t(next_entry));
        std::copy(data->begin(), data->end(), s.data.begin() + long(next_data));
        next_data += data->size();
        next_entry += 16;
      }
    }
  }
  return s;
}

std::vector<uint8_t> BuildObject(const Section& s) {
  const size_t header = 20, section_header = 40;
  size_t raw_at = header + section_header;
  size_t relocs_at = raw_at + s.data.size();
  size_t symbols_at = relocs_at + 10 * s.relocs.size();
  std::vector<uint8_t> o(symbols_at + 18 + 4, 0);
  Put16(o, 0, kMachineArm);
  Put16(o, 2, 1);  // one section
  Put32(o, 8, uint32_t(symbols_at));
  Put32(o, 12, 1);      // one symbol: the section
  Put16(o, 18, 0x104);  // 32-bit words, no line numbers
  std::copy_n(".rsrc", 5, o.begin() + header);
  Put32(o, header + 16, uint32_t(s.data.size()));
  Put32(o, header + 20, uint32_t(raw_at));
  Put32(o, header + 24, uint32_t(relocs_at));
  Put16(o, header + 32, uint16_t(s.relocs.size()));
  Put32(o, header + 36, kSectionFlags);
  std::copy(s.data.begin(), s.data.end(), o.begin() + long(raw_at));
  for (size_t i = 0; i < s.relocs.size(); ++i) {
    Put32(o, relocs_at + 10 * i, s.relocs[i]);
    Put32(o, relocs_at + 10 * i + 4, 0);  // the section's symbol
    Put16(o, relocs_at + 10 * i + 8, kRelArmRva32);
  }
  std::copy_n(".rsrc", 5, o.begin() + long(symbols_at));
  Put16(o, symbols_at + 12, 1);  // section number
  o[symbols_at + 16] = 3;        // static
  Put32(o, symbols_at + 18, 4);  // an empty string table
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: res_object IN.res OUT.o\n");
    return 2;
  }
  try {
    Resources res = ReadRes(ReadFile(argv[1]));
    if (res.empty()) throw BadImage(std::string(argv[1]) + " holds no resources");
    std::vector<uint8_t> obj = BuildObject(BuildSection(res));
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(obj.data()), std::streamsize(obj.size()));
    if (!out.flush()) throw BadImage(std::string("cannot write ") + argv[2]);
  } catch (const BadImage& e) {
    std::fprintf(stderr, "res_object: %s\n", e.what());
    return 1;
  }
  return 0;
}

#include <sim/resources.h>

#include <cstring>

namespace sim::res {
namespace {

constexpr size_t Align4(size_t n) { return (n + 3) & ~size_t(3); }

// Little-endian reads over a byte range. Every read is checked against the
// range; a failed read leaves the reader failed, so a parser can check once
// after a run of reads.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t pos() const { return pos_; }
  size_t size() const { return size_; }
  size_t left() const { return size_ - pos_; }
  bool ok() const { return ok_; }
  const uint8_t* here() const { return data_ + pos_; }

  bool Seek(size_t pos) {
    if (pos > size_) return Fail();
    pos_ = pos;
    return true;
  }
  bool Skip(size_t n) { return n <= left() ? Seek(pos_ + n) : Fail(); }

  uint16_t U16() {
    if (!ok_ || left() < 2) return Fail(), 0;
    uint16_t v = uint16_t(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    uint32_t lo = U16();
    uint32_t hi = U16();
    return lo | hi << 16;
  }

  // A NUL-terminated UTF-16 string; fails if the terminator is missing.
  sim::WString Utf16z() {
    sim::WString units;
    for (;;) {
      uint16_t c = U16();
      if (!ok_) return {};
      if (c == 0) break;
      units.push_back(WCHAR(c));
    }
    return units;
  }

 private:
  bool Fail() {
    ok_ = false;
    return false;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

bool Error(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

// A type or name in a resource header: 0xFFFF and an ordinal, or a string.
bool ReadId(Reader& r, Id& id) {
  if (r.left() >= 2 && r.here()[0] == 0xFF && r.here()[1] == 0xFF) {
    r.U16();
    id = Id::Of(r.U16());
  } else {
    id = Id::Of(sim::WStringView(r.Utf16z()));
  }
  return r.ok();
}

bool SameName(const sim::WString& a, const sim::WString& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperCase(a[i]) != UpperCase(b[i])) return false;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Resource file

Id Id::FromName(sim::WStringView name) {
  if (name.size() > 1 && name[0] == u'#') {
    uint32_t v = 0;
    for (size_t i = 1; i < name.size(); ++i) {
      if (name[i] < u'0' || name[i] > u'9') return Of(name);
      v = v * 10 + uint32_t(name[i] - u'0');
      if (v > 0xFFFF) return Of(name);
    }
    return Of(uint16_t(v));
  }
  return Of(name);
}

bool Id::Matches(const Id& other) const {
  if (named != other.named) return false;
  return named ? SameName(name, other.name) : ordinal == other.ordinal;
}

std::optional<ResourceFile> ResourceFile::Parse(const uint8_t* data, size_t size,
                                                std::string* error) {
  if (!data && size) return Error(error, "no data"), std::nullopt;
  Reader r(data, size);
  ResourceFile file;
  bool first = true;
  while (r.left() > 0) {
    size_t start = r.pos();
    if (r.left() < 8) return Error(error, "truncated resource header"), std::nullopt;
    uint32_t dataSize = r.U32();
    uint32_t headerSize = r.U32();
    if (headerSize % 4 != 0 || headerSize < 8 + 4 + 4 + 16)
      return Error(error, "bad resource header size"), std::nullopt;
    if (headerSize > size - start) return Error(error, "resource header past the end"), std::nullopt;
    size_t dataStart = start + headerSize;
    if (dataSize > size - dataStart) return Error(error, "resource data past the end"), std::nullopt;

    // The header fields must lie within the header's own size.
    Reader h(data + start, headerSize);
    h.Skip(8);
    Entry e;
    if (!ReadId(h, e.type) || !ReadId(h, e.name) || !h.Seek(Align4(h.pos())) || h.left() != 16)
      return Error(error, "bad resource type, name or header size"), std::nullopt;
    h.U32();  // DataVersion
    e.memory_flags = h.U16();
    e.language = h.U16();
    h.U32();  // Version
    h.U32();  // Characteristics

    size_t next = Align4(dataStart + dataSize);
    if (next > size) return Error(error, "resource data not padded to a DWORD"), std::nullopt;

    if (first) {
      // The empty entry that tells the 32-bit format from the 16-bit one.
      if (dataSize != 0 || e.type.named || e.type.ordinal != 0 || e.name.named || e.name.ordinal != 0)
        return Error(error, "not a 32-bit resource file"), std::nullopt;
      first = false;
    } else {
      e.data.assign(data + dataStart, data + dataStart + dataSize);
      file.entries_.push_back(std::move(e));
    }
    r.Seek(next);
  }
  if (first) return Error(error, "empty resource file"), std::nullopt;
  return file;
}

const Entry* ResourceFile::Find(const Id& type, const Id& name) const {
  for (const Entry& e : entries_) {
    if (e.type.Matches(type) && e.name.Matches(name)) return &e;
  }
  return nullptr;
}

const Entry* ResourceFile::Find(const Id& type, const Id& name, uint16_t language) const {
  for (const Entry& e : entries_) {
    if (e.type.Matches(type) && e.name.Matches(name) && e.language == language) return &e;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Menu templates

namespace {

// Nesting deeper than any real menu is taken as a damaged template.
constexpr int kMaxMenuDepth = 16;

bool ReadMenuItems(Reader& r, int depth, std::vector<MenuItem>& items) {
  if (depth > kMaxMenuDepth) return false;
  for (;;) {
    MenuItem item;
    uint16_t options = r.U16();
    item.popup = (options & kMenuPopup) != 0;
    if (!item.popup) item.id = r.U16();
    item.text = r.Utf16z();
    if (!r.ok()) return false;
    item.flags = uint16_t(options & ~kMenuEnd);
    item.separator = (options & kMenuSeparator) != 0 || (!item.popup && item.id == 0 && item.text.empty());
    if (item.popup && !ReadMenuItems(r, depth + 1, item.items)) return false;
    items.push_back(std::move(item));
    if (options & kMenuEnd) return true;
  }
}

}  // namespace

std::optional<std::vector<MenuItem>> ParseMenu(const std::vector<uint8_t>& data) {
  Reader r(data.data(), data.size());
  uint16_t version = r.U16();
  uint16_t offset = r.U16();
  if (!r.ok() || version != 0 || !r.Skip(offset)) return std::nullopt;
  std::vector<MenuItem> items;
  if (!ReadMenuItems(r, 0, items)) return std::nullopt;
  return items;
}

// ---------------------------------------------------------------------------
// Icons

std::optional<IconImage> ParseIconImage(const uint8_t* dib, size_t size) {
  if (!dib) return std::nullopt;
  Reader r(dib, size);
  uint32_t headerSize = r.U32();
  int32_t width = int32_t(r.U32());
  int32_t doubledHeight = int32_t(r.U32());
  uint16_t planes = r.U16();
  uint16_t bpp = r.U16();
  uint32_t compression = r.U32();
  r.Skip(12);  // image size, resolution
  uint32_t clrUsed = r.U32();
  if (!r.ok() || headerSize < 40 || headerSize > size) return std::nullopt;
  // Icons are bottom-up and their height counts the mask too.
  if (width <= 0 || doubledHeight <= 0 || doubledHeight % 2 != 0 || planes != 1 || compression != 0)
    return std::nullopt;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return std::nullopt;

  IconImage img;
  img.width = width;
  img.height = doubledHeight / 2;
  img.bits_per_pixel = bpp;
  size_t paletteSize = 0;
  if (bpp <= 8) {
    size_t full = size_t(1) << bpp;
    if (clrUsed > full) return std::nullopt;
    paletteSize = clrUsed ? clrUsed : full;
    img.colours = int(paletteSize);
  }

  // Sizes in 64 bits: width < 2^31 and bpp <= 32 keep every product in range.
  uint64_t xorRow = (uint64_t(width) * bpp + 31) / 32 * 4;
  uint64_t andRow = (uint64_t(width) + 31) / 32 * 4;
  uint64_t h = uint64_t(img.height);
  uint64_t need = uint64_t(headerSize) + paletteSize * 4 + (xorRow + andRow) * h;
  if (need > size) return std::nullopt;

  const uint8_t* palette = dib + headerSize;
  const uint8_t* xorBits = palette + paletteSize * 4;
  const uint8_t* andBits = xorBits + xorRow * h;
  img.argb.resize(size_t(width) * size_t(h));
  for (uint64_t y = 0; y < h; ++y) {
    // Rows are stored bottom-up.
    const uint8_t* xr = xorBits + (h - 1 - y) * xorRow;
    const uint8_t* ar = andBits + (h - 1 - y) * andRow;
    for (uint64_t x = 0; x < uint64_t(width); ++x) {
      uint32_t rgb = 0;
      if (bpp <= 8) {
        uint64_t bit = x * bpp;
        unsigned shift = unsigned(8 - bpp - bit % 8);
        size_t index = (xr[bit / 8] >> shift) & ((1u << bpp) - 1);
        // An index past a short palette draws black.
        if (index < paletteSize) {
          const uint8_t* q = palette + index * 4;
          rgb = uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
        }
      } else {
        const uint8_t* p = xr + x * (bpp / 8);
        rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      }
      bool transparent = (ar[x / 8] >> (7 - x % 8)) & 1;
      img.argb[y * uint64_t(width) + x] = (transparent ? 0u : 0xFF000000u) | rgb;
    }
  }
  return img;
}

std::optional<std::vector<IconImage>> LoadIconGroup(const ResourceFile& file, const Id& name) {
  const Entry* group = file.Find(Id::Of(kTypeGroupIcon), name);
  if (!group) return std::nullopt;
  // GRPICONDIR, then 14-byte entries that name their RT_ICON by ordinal.
  Reader r(group->data.data(), group->data.size());
  uint16_t reserved = r.U16();
  uint16_t type = r.U16();
  uint16_t count = r.U16();
  if (!r.ok() || reserved != 0 || type != 1 || count == 0) return std::nullopt;
  std::vector<IconImage> images;
  for (uint16_t i = 0; i < count; ++i) {
    r.Skip(12);  // width, height, colours, reserved, planes, bit count, bytes in resource
    uint16_t id = r.U16();
    if (!r.ok()) return std::nullopt;
    const Entry* icon = file.Find(Id::Of(kTypeIcon), Id::Of(id), group->language);
    if (!icon) icon = file.Find(Id::Of(kTypeIcon), Id::Of(id));
    if (!icon) return std::nullopt;
    auto img = ParseIconImage(icon->data.data(), icon->data.size());
    if (!img) return std::nullopt;
    images.push_back(std::move(*img));
  }
  return images;
}

std::optional<std::vector<IconImage>> ParseIcoFile(const uint8_t* data, size_t size) {
  if (!data) return std::nullopt;
  Reader r(data, size);
  uint16_t reserved = r.U16();
  uint16_t type = r.U16();
  uint16_t count = r.U16();
  if (!r.ok() || reserved != 0 || type != 1 || count == 0) return std::nullopt;
  std::vector<IconImage> images;
  for (uint16_t i = 0; i < count; ++i) {
    r.Skip(8);  // width, height, colours, reserved, planes, bit count
    uint32_t bytes = r.U32();
    uint32_t offset = r.U32();
    if (!r.ok() || offset > size || bytes > size - offset) return std::nullopt;
    auto img = ParseIconImage(data + offset, bytes);
    if (!img) return std::nullopt;
    images.push_back(std::move(*img));
  }
  return images;
}

// ---------------------------------------------------------------------------
// Version block
//
// Every node is { WORD wLength; WORD wValueLength; WORD wType; WCHAR key[];
// DWORD padding; value; DWORD padding; children }. Offsets are aligned
// relative to the start of the resource, which the file keeps DWORD-aligned.

namespace {

struct Node {
  size_t end = 0;  // one past the node's last byte
  uint16_t value_length = 0;
  uint16_t type = 0;  // 1: text, 0: binary
  sim::WString key;
  size_t value = 0;   // offset of the value
};

bool ReadNode(Reader& r, size_t limit, Node& n) {
  size_t start = r.pos();
  uint16_t length = r.U16();
  n.value_length = r.U16();
  n.type = r.U16();
  if (!r.ok() || length < 6 || length > limit - start) return false;
  n.end = start + length;
  n.key = r.Utf16z();
  if (!r.ok() || r.pos() > n.end) return false;
  n.value = Align4(r.pos());
  return n.value <= n.end || (n.value_length == 0 && n.value - n.end < 4);
}

// The children of a node whose value starts at `from`, each handed to `visit`.
template <typename Visit>
bool ForEachChild(const std::vector<uint8_t>& data, size_t from, size_t end, Visit visit) {
  Reader r(data.data(), end);
  for (size_t pos = Align4(from); pos < end; ) {
    Node child;
    if (!r.Seek(pos) || !ReadNode(r, end, child) || !visit(child)) return false;
    pos = Align4(child.end);
  }
  return true;
}

// A String's value: UTF-16 text up to its terminator or the end of the node.
// The node's end bounds it rather than wValueLength, which compilers fill
// in differently (characters or bytes, with or without the terminator).
sim::WString TextValue(const std::vector<uint8_t>& data, const Node& n) {
  sim::WString units;
  for (size_t p = n.value; p + 2 <= n.end; p += 2) {
    char16_t c = char16_t(data[p] | data[p + 1] << 8);
    if (c == 0) break;
    units.push_back(c);
  }
  return units;
}

}  // namespace

std::optional<VersionInfo> ParseVersion(const std::vector<uint8_t>& data) {
  Reader r(data.data(), data.size());
  Node root;
  if (!ReadNode(r, data.size(), root) || root.key != u"VS_VERSION_INFO") return std::nullopt;
  if (root.value_length < 52 || root.value_length > root.end - root.value) return std::nullopt;

  VersionInfo v;
  Reader f(data.data() + root.value, root.value_length);
  uint32_t signature = f.U32();
  f.U32();  // structure version
  v.file_version_ms = f.U32();
  v.file_version_ls = f.U32();
  v.product_version_ms = f.U32();
  v.product_version_ls = f.U32();
  v.file_flags_mask = f.U32();
  v.file_flags = f.U32();
  v.file_os = f.U32();
  v.file_type = f.U32();
  v.file_subtype = f.U32();
  if (!f.ok() || signature != 0xFEEF04BD) return std::nullopt;

  bool ok = ForEachChild(data, root.value + root.value_length, root.end, [&](const Node& block) {
    if (block.key == u"StringFileInfo") {
      return ForEachChild(data, block.value, block.end, [&](const Node& table) {
        auto& strings = v.string_tables.emplace_back();
        strings.first = table.key;
        return ForEachChild(data, table.value, table.end, [&](const Node& s) {
          strings.second.emplace_back(s.key, TextValue(data, s));
          return true;
        });
      });
    }
    if (block.key == u"VarFileInfo") {
      return ForEachChild(data, block.value, block.end, [&](const Node& var) {
        if (var.key != u"Translation") return true;
        if (var.value_length % 4 != 0 || var.value > var.end || var.value_length > var.end - var.value)
          return false;
        Reader t(data.data() + var.value, var.value_length);
        while (t.left() >= 4) v.translations.push_back(t.U32());
        return true;
      });
    }
    return true;  // blocks of other kinds are skipped
  });
  if (!ok) return std::nullopt;
  return v;
}

}  // namespace sim::res

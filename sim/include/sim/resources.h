// Reading compiled resources: the 32-bit .res format that the resource
// compiler writes, and the formats of the resources inside it (menu
// templates, icons, version blocks) as the platform's loaders read them.
//
// Every parser takes untrusted bytes: it checks each size and offset against
// the data it was given and returns nullopt on anything malformed, without
// reading outside the buffer.
#ifndef VESK_SIM_RESOURCES_H
#define VESK_SIM_RESOURCES_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sim/utf8.h>

namespace sim::res {

// Standard resource types.
inline constexpr uint16_t kTypeIcon = 3;        // RT_ICON
inline constexpr uint16_t kTypeMenu = 4;        // RT_MENU
inline constexpr uint16_t kTypeGroupIcon = 14;  // RT_GROUP_ICON
inline constexpr uint16_t kTypeVersion = 16;    // RT_VERSION

// A resource type or name: an ordinal or a string, the file's UTF-16 units.
struct Id {
  bool named = false;
  uint16_t ordinal = 0;
  sim::WString name;

  static Id Of(uint16_t ordinal) { return Id{false, ordinal, {}}; }
  static Id Of(sim::WStringView name) { return Id{true, 0, sim::WString(name)}; }
  // A name as a program passes it to the loaders: "#123" stands for the
  // ordinal 123, as on the platform.
  static Id FromName(sim::WStringView name);

  // Ordinals compare by value, names without regard to case.
  bool Matches(const Id& other) const;
};

struct Entry {
  Id type;
  Id name;
  uint16_t language = 0;
  uint16_t memory_flags = 0;
  std::vector<uint8_t> data;
};

class ResourceFile {
 public:
  // Parses a whole .res file. It must begin with the empty entry that marks
  // the 32-bit format; headers and data are DWORD-aligned.
  static std::optional<ResourceFile> Parse(const uint8_t* data, size_t size,
                                           std::string* error = nullptr);

  // The first entry of this type and name, in any language (every resource
  // of vesk has the same one); nullptr if there is none.
  const Entry* Find(const Id& type, const Id& name) const;
  // The entry of this type, name and language; nullptr if there is none.
  const Entry* Find(const Id& type, const Id& name, uint16_t language) const;

  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

// Menu item option bits of a menu template.
inline constexpr uint16_t kMenuGrayed = 0x0001;
inline constexpr uint16_t kMenuChecked = 0x0008;
inline constexpr uint16_t kMenuPopup = 0x0010;
inline constexpr uint16_t kMenuEnd = 0x0080;  // last item of its level; not kept in `flags`
inline constexpr uint16_t kMenuSeparator = 0x0800;

struct MenuItem {
  sim::WString text;
  uint16_t id = 0;        // 0 for popups
  uint16_t flags = 0;     // the template's option bits without kMenuEnd
  bool separator = false; // kMenuSeparator, or an item with neither text nor id
  bool popup = false;
  std::vector<MenuItem> items;  // a popup's items
};

// A standard menu template (version 0): the items of the menu bar.
std::optional<std::vector<MenuItem>> ParseMenu(const std::vector<uint8_t>& data);

struct IconImage {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;
  int colours = 0;  // palette entries; 0 for 24 and 32 bits per pixel
  // 0xAARRGGBB, top row first. Alpha is 0 where the AND mask is set (the
  // colour bits are kept there) and 255 elsewhere.
  std::vector<uint32_t> argb;

  uint32_t At(int x, int y) const { return argb[size_t(y) * size_t(width) + size_t(x)]; }
};

// One icon image as stored in an RT_ICON resource or an .ico file: a
// BITMAPINFOHEADER whose height counts colour bitmap and mask together, the
// palette, the colour bitmap (1, 4, 8, 24 or 32 bits per pixel) and the
// 1-bit AND mask, both bottom-up with rows padded to four bytes.
std::optional<IconImage> ParseIconImage(const uint8_t* dib, size_t size);

// The images of an RT_GROUP_ICON resource, read from the RT_ICON resources
// it refers to, in the group's order.
std::optional<std::vector<IconImage>> LoadIconGroup(const ResourceFile& file, const Id& name);

// The images of a standalone .ico file, in the file's order.
std::optional<std::vector<IconImage>> ParseIcoFile(const uint8_t* data, size_t size);

struct VersionInfo {
  uint32_t file_version_ms = 0, file_version_ls = 0;
  uint32_t product_version_ms = 0, product_version_ls = 0;
  uint32_t file_flags_mask = 0, file_flags = 0;
  uint32_t file_os = 0, file_type = 0, file_subtype = 0;
  // StringFileInfo: one table per language and code page ("040504b0"),
  // each with its (name, value) pairs in file order.
  std::vector<std::pair<sim::WString, std::vector<std::pair<sim::WString, sim::WString>>>>
      string_tables;
  // VarFileInfo\Translation as stored: language in the low word, code page
  // in the high word (0x04B00405 for Czech, Unicode).
  std::vector<uint32_t> translations;
};

// An RT_VERSION resource: VS_VERSION_INFO with its fixed part and the
// StringFileInfo and VarFileInfo blocks.
std::optional<VersionInfo> ParseVersion(const std::vector<uint8_t>& data);

}  // namespace sim::res

#endif

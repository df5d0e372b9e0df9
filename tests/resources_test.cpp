// vesk's compiled resources, read back through the simulator's resource
// reader, and that reader's behaviour on damaged input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "resource.h"
#include <sim/resources.h>
#include "vesk_res.h"

namespace sim::res {
namespace {

using Bytes = std::vector<uint8_t>;

const ResourceFile& Vesk() {
  static const ResourceFile file = [] {
    std::string error;
    auto parsed = ResourceFile::Parse(g_veskResources, g_veskResourcesSize, &error);
    if (!parsed) ADD_FAILURE() << "vesk's resources do not parse: " << error;
    return parsed.value_or(ResourceFile{});
  }();
  return file;
}

const Bytes& VeskData(uint16_t type, const Id& name) {
  static const Bytes none;
  const Entry* e = Vesk().Find(Id::Of(type), name);
  EXPECT_NE(e, nullptr) << "resource type " << type;
  return e ? e->data : none;
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Put16(Bytes& b, unsigned v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutId(Bytes& b, const Id& id) {
  if (!id.named) {
    Put16(b, 0xFFFF);
    Put16(b, id.ordinal);
    return;
  }
  for (WCHAR c : id.name) Put16(b, unsigned(c));
  Put16(b, 0);
}

// A .res file as the resource compiler writes it, led by the empty entry.
Bytes MakeRes(const std::vector<Entry>& entries) {
  Bytes out;
  auto add = [&](const Entry& e) {
    Bytes h;
    PutId(h, e.type);
    PutId(h, e.name);
    while (h.size() % 4) h.push_back(0);
    Put32(out, uint32_t(e.data.size()));
    Put32(out, uint32_t(8 + h.size() + 16));
    out.insert(out.end(), h.begin(), h.end());
    Put32(out, 0);
    Put16(out, 0x1030);
    Put16(out, e.language);
    Put32(out, 0);
    Put32(out, 0);
    out.insert(out.end(), e.data.begin(), e.data.end());
    while (out.size() % 4) out.push_back(0);
  };
  add(Entry{Id::Of(0), Id::Of(0), 0, 0, {}});
  for (const Entry& e : entries) add(e);
  return out;
}

// A bottom-up icon DIB; `rows` are top row first, already packed and padded.
Bytes MakeDib(int width, int height, int bpp, const std::vector<uint32_t>& palette,
              const std::vector<Bytes>& rows, const std::vector<Bytes>& maskRows) {
  Bytes b;
  Put32(b, 40);
  Put32(b, uint32_t(width));
  Put32(b, uint32_t(height * 2));
  Put16(b, 1);
  Put16(b, unsigned(bpp));
  for (int i = 0; i < 4; ++i) Put32(b, 0);
  Put32(b, uint32_t(palette.size()));
  Put32(b, 0);
  for (uint32_t c : palette) Put32(b, c);
  for (auto r = rows.rbegin(); r != rows.rend(); ++r) b.insert(b.end(), r->begin(), r->end());
  for (auto r = maskRows.rbegin(); r != maskRows.rend(); ++r) b.insert(b.end(), r->begin(), r->end());
  return b;
}

// ---------------------------------------------------------------------------
// What vesk carries

TEST(VeskResources, EveryResourceIsCzechAndNothingIsMissing) {
  const auto& entries = Vesk().Entries();
  ASSERT_FALSE(entries.empty());
  for (const Entry& e : entries) EXPECT_EQ(e.language, 0x0405);
  EXPECT_NE(Vesk().Find(Id::Of(kTypeMenu), Id::Of(IDR_TASKMENU), 0x0405), nullptr);
  EXPECT_NE(Vesk().Find(Id::Of(kTypeGroupIcon), Id::Of(IDI_APP), 0x0405), nullptr);
  EXPECT_NE(Vesk().Find(Id::Of(kTypeGroupIcon), Id::Of(IDI_CLOSE), 0x0405), nullptr);
  EXPECT_NE(Vesk().Find(Id::Of(kTypeVersion), Id::Of(1), 0x0405), nullptr);
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [](const Entry& e) { return e.type.Matches(Id::Of(kTypeIcon)); }),
            5);
}

TEST(VeskResources, TaskMenuIsOnePopupWithTheFixedCommands) {
  auto bar = ParseMenu(VeskData(kTypeMenu, Id::Of(IDR_TASKMENU)));
  ASSERT_TRUE(bar);
  ASSERT_EQ(bar->size(), 1u);
  const MenuItem& popup = bar->front();
  EXPECT_TRUE(popup.popup);
  EXPECT_EQ(popup.text, u"Popup");

  struct Expected {
    const WCHAR* text;
    uint16_t id;
  } expected[] = {{u"&Minimize", IDM_MINIMIZE},
                  {u"Close &Background Tasks", IDM_CLOSE_BACKGROUND},
                  {u"Close &All Tasks", IDM_CLOSE_ALL},
                  {u"", 0},
                  {u"E&xit", IDM_EXIT}};
  ASSERT_EQ(popup.items.size(), std::size(expected));
  for (size_t i = 0; i < popup.items.size(); ++i) {
    const MenuItem& item = popup.items[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(item.text, expected[i].text);
    EXPECT_EQ(item.id, expected[i].id);
    EXPECT_EQ(item.separator, i == 3);
    EXPECT_FALSE(item.popup);
    EXPECT_TRUE(item.items.empty());
    EXPECT_EQ(item.flags & ~kMenuSeparator, 0);
  }
}

// The opaque pixels' bounding box; a box with left > right when none is.
struct Box {
  int left, top, right, bottom;
};
Box OpaqueBox(const IconImage& img) {
  Box b{img.width, img.height, -1, -1};
  for (int y = 0; y < img.height; ++y) {
    for (int x = 0; x < img.width; ++x) {
      if (img.At(x, y) >> 24) {
        b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x), std::max(b.bottom, y)};
      }
    }
  }
  return b;
}

bool Opaque(const IconImage& img, int x, int y) { return (img.At(x, y) >> 24) == 255; }

TEST(VeskResources, AppIconIsABlackDiscInThreeSizes) {
  auto images = LoadIconGroup(Vesk(), Id::Of(IDI_APP));
  ASSERT_TRUE(images);
  struct Expected {
    int size, bpp, colours, diameter;
  } expected[] = {{32, 4, 16, 19}, {16, 4, 16, 10}, {64, 8, 256, 38}};
  ASSERT_EQ(images->size(), std::size(expected));
  for (size_t i = 0; i < images->size(); ++i) {
    const IconImage& img = (*images)[i];
    const Expected& want = expected[i];
    SCOPED_TRACE(want.size);
    ASSERT_EQ(img.width, want.size);
    ASSERT_EQ(img.height, want.size);
    EXPECT_EQ(img.bits_per_pixel, want.bpp);
    EXPECT_EQ(img.colours, want.colours);

    for (uint32_t p : img.argb) EXPECT_TRUE(p == 0xFF000000u || (p >> 24) == 0) << std::hex << p;
    Box box = OpaqueBox(img);
    ASSERT_EQ(box.right - box.left + 1, want.diameter);
    ASSERT_EQ(box.bottom - box.top + 1, want.diameter);
    int lowMargin = box.left, highMargin = want.size - 1 - box.right;
    EXPECT_LE(std::abs(lowMargin - highMargin), 1);
    EXPECT_EQ(box.top, box.left);

    // A disc: through the centre it spans the whole box; every row and column
    // is one run, symmetric within the box; the box's corners are left out.
    int mid = box.left + (want.diameter - 1) / 2;
    for (int k = box.left; k <= box.right; ++k) {
      EXPECT_TRUE(Opaque(img, k, mid) && Opaque(img, mid, k)) << k;
    }
    for (int y = box.top; y <= box.bottom; ++y) {
      int runs = 0;
      for (int x = box.left; x <= box.right; ++x) {
        bool here = Opaque(img, x, y);
        runs += here && (x == box.left || !Opaque(img, x - 1, y));
        EXPECT_EQ(here, Opaque(img, box.left + box.right - x, y)) << x << "," << y;
        EXPECT_EQ(here, Opaque(img, x, box.top + box.bottom - y)) << x << "," << y;
        EXPECT_EQ(here, Opaque(img, y, x)) << x << "," << y;
      }
      EXPECT_EQ(runs, 1) << "row " << y;
    }
    EXPECT_FALSE(Opaque(img, box.left, box.top));
    EXPECT_FALSE(Opaque(img, box.right, box.bottom));
  }
}

TEST(VeskResources, CloseGlyphIsABlueSquareWithItsDiagonals) {
  auto images = LoadIconGroup(Vesk(), Id::Of(IDI_CLOSE));
  ASSERT_TRUE(images);
  ASSERT_EQ(images->size(), 2u);
  const int sizes[] = {32, 16};
  for (size_t i = 0; i < 2; ++i) {
    const IconImage& img = (*images)[i];
    SCOPED_TRACE(sizes[i]);
    ASSERT_EQ(img.width, sizes[i]);
    ASSERT_EQ(img.height, sizes[i]);
    EXPECT_EQ(img.bits_per_pixel, 8);
    EXPECT_EQ(img.colours, 256);
    for (uint32_t p : img.argb) EXPECT_TRUE(p == 0xFF006699u || (p >> 24) == 0) << std::hex << p;

    Box b = OpaqueBox(img);
    int side = b.right - b.left;
    ASSERT_GT(side, 4);
    EXPECT_EQ(b.bottom - b.top, side);
    EXPECT_EQ(b.left, img.width - 1 - b.right);  // centred
    EXPECT_EQ(b.top, b.left);
    EXPECT_FALSE(Opaque(img, 0, 0));
    EXPECT_FALSE(Opaque(img, img.width - 1, img.height - 1));
    for (int k = 0; k <= side; ++k) {
      EXPECT_TRUE(Opaque(img, b.left + k, b.top) && Opaque(img, b.left + k, b.bottom)) << k;
      EXPECT_TRUE(Opaque(img, b.left, b.top + k) && Opaque(img, b.right, b.top + k)) << k;
      EXPECT_TRUE(Opaque(img, b.left + k, b.top + k)) << k;
      EXPECT_TRUE(Opaque(img, b.right - k, b.top + k)) << k;
    }
    // An outline, not a filled square: between the cross and each side the
    // field shows through.
    int mid = b.left + side / 2, quarter = side / 4;
    EXPECT_FALSE(Opaque(img, mid, b.top + quarter));
    EXPECT_FALSE(Opaque(img, mid, b.bottom - quarter));
    EXPECT_FALSE(Opaque(img, b.left + quarter, mid));
    EXPECT_FALSE(Opaque(img, b.right - quarter, mid));
  }
}

TEST(VeskResources, VersionBlock) {
  auto v = ParseVersion(VeskData(kTypeVersion, Id::Of(1)));
  ASSERT_TRUE(v);
  EXPECT_EQ(v->file_version_ms, 0x00000009u);
  EXPECT_EQ(v->file_version_ls, 0x00010000u);
  EXPECT_EQ(v->product_version_ms, 0x00000009u);
  EXPECT_EQ(v->product_version_ls, 0x00010000u);
  EXPECT_EQ(v->file_flags, 0u);
  EXPECT_EQ(v->file_os, 0x40004u);
  EXPECT_EQ(v->file_type, 1u);
  EXPECT_EQ(v->file_subtype, 0u);

  ASSERT_EQ(v->string_tables.size(), 1u);
  EXPECT_EQ(v->string_tables[0].first, u"040504b0");
  std::vector<std::pair<sim::WString, sim::WString>> expected = {
      {u"Comments", u""},
      {u"CompanyName", u"vesk developers"},
      {u"FileDescription", u"vesk"},
      {u"FileVersion", u"0, 9, 1, 0"},
      {u"InternalName", u"vesk"},
      {u"LegalCopyright", u"Copyright (C) 2026 vesk developers"},
      {u"LegalTrademarks", u""},
      {u"OriginalFilename", u"vesk.exe"},
      {u"PrivateBuild", u""},
      {u"ProductName", u"  vesk"},
      {u"ProductVersion", u"0, 9, 1, 0"},
      {u"SpecialBuild", u""},
  };
  EXPECT_EQ(v->string_tables[0].second, expected);
  EXPECT_EQ(v->translations, std::vector<uint32_t>{0x04B00405u});
}

TEST(VeskResources, HighResolutionMarkerIsTheWordOne) {
  // Named types and names are found regardless of case, as on the platform.
  for (const WCHAR* type : {u"CEUX", u"ceux"}) {
    const Entry* e = Vesk().Find(Id::Of(type), Id::FromName(u"Hi_Res_Aware"));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->data, (Bytes{1, 0}));
    EXPECT_EQ(e->language, 0x0405);
  }
}

TEST(VeskResources, CheckedInIconsAreWhatMakeIconsDrawsAndWhatWasCompiled) {
  auto dir = std::filesystem::path(VESK_RES_BUILD_DIR) / "icons-check";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string command = std::string("\"") + VESK_MAKE_ICONS + "\" \"" + dir.string() + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (auto [file, group] : {std::pair{"app.ico", IDI_APP}, std::pair{"close.ico", IDI_CLOSE}}) {
    SCOPED_TRACE(file);
    Bytes checkedIn = ReadFile(std::filesystem::path(VESK_RES_DIR) / file);
    EXPECT_FALSE(checkedIn.empty());
    EXPECT_TRUE(ReadFile(dir / file) == checkedIn) << "run make_icons and check in the result";

    auto fromFile = ParseIcoFile(checkedIn.data(), checkedIn.size());
    auto compiled = LoadIconGroup(Vesk(), Id::Of(uint16_t(group)));
    ASSERT_TRUE(fromFile && compiled);
    ASSERT_EQ(fromFile->size(), compiled->size());
    for (size_t i = 0; i < compiled->size(); ++i) EXPECT_EQ((*fromFile)[i].argb, (*compiled)[i].argb);
  }
}

// ---------------------------------------------------------------------------
// The reader

TEST(ResourceReader, IdsCompareAsThePlatformDoes) {
  EXPECT_TRUE(Id::FromName(u"#102").Matches(Id::Of(102)));
  EXPECT_FALSE(Id::FromName(u"#102").named);
  EXPECT_TRUE(Id::FromName(u"#1x").named);
  EXPECT_TRUE(Id::FromName(u"#70000").named);
  EXPECT_TRUE(Id::Of(u"Příkaz").Matches(Id::Of(u"PŘÍKAZ")));
  EXPECT_FALSE(Id::Of(u"menu").Matches(Id::Of(u"menus")));
  EXPECT_FALSE(Id::Of(u"4").Matches(Id::Of(4)));
}

TEST(ResourceReader, FindsByTypeNameAndLanguage) {
  Bytes res = MakeRes({{Id::Of(u"DATA"), Id::Of(u"One"), 0x0409, 0, {1}},
                       {Id::Of(u"DATA"), Id::Of(u"One"), 0x0405, 0, {2, 3}},
                       {Id::Of(10), Id::Of(7), 0x0405, 0, {4, 5, 6, 7, 8}}});
  auto file = ResourceFile::Parse(res.data(), res.size());
  ASSERT_TRUE(file);
  ASSERT_EQ(file->Entries().size(), 3u);
  EXPECT_EQ(file->Find(Id::Of(u"data"), Id::Of(u"ONE"))->data, Bytes{1});
  EXPECT_EQ(file->Find(Id::Of(u"data"), Id::Of(u"ONE"), 0x0405)->data, (Bytes{2, 3}));
  EXPECT_EQ(file->Find(Id::Of(10), Id::Of(7))->data, (Bytes{4, 5, 6, 7, 8}));
  EXPECT_EQ(file->Find(Id::Of(10), Id::Of(u"7")), nullptr);
  EXPECT_EQ(file->Find(Id::Of(7), Id::Of(10)), nullptr);
}

// Each prefix is copied into a buffer of its own size, so a read past it is
// caught by the address sanitizer.
TEST(ResourceReader, EveryTruncationOfVeskResourcesIsRejectedOrAWholeEntryPrefix) {
  Bytes all(g_veskResources, g_veskResources + g_veskResourcesSize);
  const auto& full = Vesk().Entries();
  for (size_t n = 0; n < all.size(); ++n) {
    Bytes part(all.begin(), all.begin() + n);
    auto file = ResourceFile::Parse(part.data(), part.size());
    if (!file) continue;
    ASSERT_LT(file->Entries().size(), full.size()) << n;
    for (size_t i = 0; i < file->Entries().size(); ++i) EXPECT_EQ(file->Entries()[i].data, full[i].data);
  }
}

TEST(ResourceReader, RejectsDamagedHeaders) {
  const Bytes good = MakeRes({{Id::Of(u"T"), Id::Of(3), 0x0405, 0, {1, 2, 3, 4, 5}}});
  ASSERT_TRUE(ResourceFile::Parse(good.data(), good.size()));
  const size_t second = 32;  // the entry after the empty one
  auto rejected = [](Bytes b, const char* what) {
    std::string error;
    EXPECT_FALSE(ResourceFile::Parse(b.data(), b.size(), &error)) << what;
    EXPECT_FALSE(error.empty()) << what;
  };
  auto patch32 = [&](size_t at, uint32_t v) {
    Bytes b = good;
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return b;
  };
  rejected(patch32(0, 4), "leading entry with data");
  rejected(Bytes(good.begin() + second, good.end()), "no leading empty entry");
  rejected(patch32(second, 0xFFFFFFF0u), "data size past the end");
  rejected(patch32(second + 4, 30), "header size not a multiple of four");
  rejected(patch32(second + 4, 0xFFFFFFFCu), "header size past the end");
  rejected(patch32(second + 4, 36), "header longer than its fields");
  Bytes unterminated = good;
  std::fill(unterminated.begin() + second + 8, unterminated.begin() + second + 32, 0x41);
  rejected(unterminated, "type string without its terminator");
  rejected(Bytes(good.begin(), good.end() - 3), "data not padded to a DWORD");
  Bytes trailing = good;
  trailing.insert(trailing.end(), {0, 0, 0, 0});
  rejected(trailing, "trailing bytes");
  EXPECT_FALSE(ResourceFile::Parse(nullptr, 0));
}

TEST(ResourceReader, MenuTemplatesDamagedOrTooDeepAreRejected) {
  const Bytes& menu = VeskData(kTypeMenu, Id::Of(IDR_TASKMENU));
  ASSERT_TRUE(ParseMenu(menu));
  for (size_t n = 0; n < menu.size(); ++n) {
    EXPECT_FALSE(ParseMenu(Bytes(menu.begin(), menu.begin() + n))) << n;
  }
  Bytes ex = menu;
  ex[0] = 1;  // an extended template
  EXPECT_FALSE(ParseMenu(ex));
  Bytes offset = menu;
  offset[2] = 0xF0;  // items beyond the end
  EXPECT_FALSE(ParseMenu(offset));

  // Popups nested a thousand deep must not exhaust the stack.
  Bytes deep = {0, 0, 0, 0};
  for (int i = 0; i < 1000; ++i) deep.insert(deep.end(), {0x90, 0, 'p', 0, 0, 0});
  deep.insert(deep.end(), {0x80, 0, 1, 0, 'x', 0, 0, 0});
  EXPECT_FALSE(ParseMenu(deep));
}

TEST(ResourceReader, IconImagesOfEveryDepthAreReadBottomUpWithTheirMask) {
  // 3x2 pixels: rows are padded to four bytes, the mask makes (2, 0) and
  // (0, 1) transparent.
  const std::vector<Bytes> mask = {{0x20, 0, 0, 0}, {0x80, 0, 0, 0}};
  auto check = [](const std::optional<IconImage>& img, int bpp, int colours) {
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, 3);
    EXPECT_EQ(img->height, 2);
    EXPECT_EQ(img->bits_per_pixel, bpp);
    EXPECT_EQ(img->colours, colours);
    EXPECT_EQ(img->argb, (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0x000000FF,  //
                                                0x00112233, 0xFFFF0000, 0xFF00FF00}));
  };
  const std::vector<uint32_t> palette = {0xFF0000, 0x00FF00, 0x0000FF, 0x112233};
  Bytes b1 = MakeDib(3, 2, 1, {0xFF0000, 0x00FF00}, {{0x40, 0, 0, 0}, {0x20, 0, 0, 0}}, mask);
  auto one = ParseIconImage(b1.data(), b1.size());
  ASSERT_TRUE(one);
  EXPECT_EQ(one->argb, (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0x00FF0000,  //
                                              0x00FF0000, 0xFFFF0000, 0xFF00FF00}));
  Bytes b4 = MakeDib(3, 2, 4, palette, {{0x01, 0x20, 0, 0}, {0x30, 0x10, 0, 0}}, mask);
  check(ParseIconImage(b4.data(), b4.size()), 4, 4);
  Bytes b8 = MakeDib(3, 2, 8, palette, {{0, 1, 2, 0}, {3, 0, 1, 0}}, mask);
  check(ParseIconImage(b8.data(), b8.size()), 8, 4);
  Bytes b24 = MakeDib(3, 2, 24, {},
                      {{0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0},
                       {0x33, 0x22, 0x11, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0}},
                      mask);
  check(ParseIconImage(b24.data(), b24.size()), 24, 0);
  Bytes b32 = MakeDib(3, 2, 32, {},
                      {{0, 0, 0xFF, 0x80, 0, 0xFF, 0, 0x80, 0xFF, 0, 0, 0x80},
                       {0x33, 0x22, 0x11, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0}},
                      mask);
  check(ParseIconImage(b32.data(), b32.size()), 32, 0);

  // An index past a short palette draws black instead of reading beyond it.
  Bytes shortPalette = MakeDib(3, 2, 8, {0xFF0000}, {{0, 200, 0, 0}, {0, 0, 0, 0}}, mask);
  auto img = ParseIconImage(shortPalette.data(), shortPalette.size());
  ASSERT_TRUE(img);
  EXPECT_EQ(img->At(1, 0), 0xFF000000u);
}

TEST(ResourceReader, DamagedIconImagesAreRejected) {
  const Bytes& group = VeskData(kTypeGroupIcon, Id::Of(IDI_APP));
  ASSERT_GE(group.size(), 6u + 14u);
  const Bytes& dib = VeskData(kTypeIcon, Id::Of(uint16_t(group[18] | group[19] << 8)));
  ASSERT_TRUE(ParseIconImage(dib.data(), dib.size()));
  for (size_t n = 0; n < dib.size(); ++n) {
    Bytes part(dib.begin(), dib.begin() + n);
    EXPECT_FALSE(ParseIconImage(part.data(), part.size())) << n;
  }
  auto patched = [&](size_t at, uint32_t v, int width = 4) {
    Bytes b = dib;
    for (int i = 0; i < width; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return ParseIconImage(b.data(), b.size());
  };
  EXPECT_FALSE(patched(0, 12)) << "header too small";
  EXPECT_FALSE(patched(4, 0x7FFFFFFF)) << "width";
  EXPECT_FALSE(patched(4, 0)) << "width";
  EXPECT_FALSE(patched(8, 0x7FFFFFFE)) << "height";
  EXPECT_FALSE(patched(8, 63)) << "odd doubled height";
  EXPECT_FALSE(patched(8, uint32_t(-64))) << "top-down";
  EXPECT_FALSE(patched(14, 16, 2)) << "16 bits per pixel";
  EXPECT_FALSE(patched(16, 1)) << "compressed";
  EXPECT_FALSE(patched(32, 17)) << "more palette entries than the depth allows";
}

TEST(ResourceReader, DamagedIconFilesAndGroupsAreRejected) {
  Bytes ico = ReadFile(std::filesystem::path(VESK_RES_DIR) / "close.ico");
  ASSERT_TRUE(ParseIcoFile(ico.data(), ico.size()));
  for (size_t n = 0; n < ico.size(); ++n) {
    Bytes part(ico.begin(), ico.begin() + n);
    EXPECT_FALSE(ParseIcoFile(part.data(), part.size())) << n;
  }
  auto patched = [&](size_t at, uint32_t v) {
    Bytes b = ico;
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
    return ParseIcoFile(b.data(), b.size());
  };
  EXPECT_FALSE(patched(4, 0)) << "no images";
  EXPECT_FALSE(patched(6 + 8, 0xFFFFFFFFu)) << "image size";
  EXPECT_FALSE(patched(6 + 12, 0xFFFFFFF0u)) << "image offset";

  // A group whose icons the file lacks, and a group cut short.
  Bytes group = VeskData(kTypeGroupIcon, Id::Of(IDI_CLOSE));
  Bytes res = MakeRes({{Id::Of(kTypeGroupIcon), Id::Of(1), 0x0405, 0, group},
                       {Id::Of(kTypeGroupIcon), Id::Of(2), 0x0405, 0, Bytes(group.begin(), group.end() - 1)}});
  auto file = ResourceFile::Parse(res.data(), res.size());
  ASSERT_TRUE(file);
  EXPECT_FALSE(LoadIconGroup(*file, Id::Of(1)));
  EXPECT_FALSE(LoadIconGroup(*file, Id::Of(2)));
  EXPECT_FALSE(LoadIconGroup(*file, Id::Of(3)));
}

TEST(ResourceReader, DamagedVersionBlocksAreRejected) {
  const Bytes& version = VeskData(kTypeVersion, Id::Of(1));
  ASSERT_TRUE(ParseVersion(version));
  for (size_t n = 0; n < version.size(); ++n) {
    EXPECT_FALSE(ParseVersion(Bytes(version.begin(), version.begin() + n))) << n;
  }
  auto patched = [&](size_t at, uint16_t v) {
    Bytes b = version;
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
    return ParseVersion(b);
  };
  // wLength of VS_VERSION_INFO, the signature, and the first child's wLength.
  EXPECT_FALSE(patched(0, uint16_t(version.size() + 4)));
  EXPECT_FALSE(patched(0, 4));
  EXPECT_FALSE(patched(40, 0));
  EXPECT_FALSE(patched(92, 0xFFF0));
  EXPECT_FALSE(patched(92, 2));
}

}  // namespace
}  // namespace sim::res

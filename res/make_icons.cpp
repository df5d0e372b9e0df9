// make_icons: draws vesk's two icons and writes them as app.ico and close.ico
// into the folder given on the command line.
//
//   app.ico    a filled black disc centred on a transparent field, in three
//              images: 32x32 and 16x16 with 16 colours, 64x64 with 256 colours.
//              The disc is 19 pixels across at 32x32, 10 at 16x16 and 38 at
//              64x64. 32 - 19 is odd, so at 32x32 the disc covers columns and
//              rows 6..24 (one pixel more margin on the right and bottom).
//   close.ico  the close glyph drawn in task items, 32x32 and 16x16 with 256
//              colours: a square outline with both of its diagonals, in
//              RGB(0, 102, 153). At 16x16 the outline runs along rows and
//              columns 1 and 14, one pixel thick, and the diagonals are single
//              pixel 45-degree lines, so nothing is blurred; 32x32 doubles the
//              margin and the outline, and draws the diagonals three pixels
//              wide.
//
// The output depends on nothing but this file, so the checked-in icons can be
// compared byte for byte with a fresh run.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
  uint8_t r, g, b;
};

// A drawn image: one palette index per pixel (top row first) and a mask
// (true = transparent).
struct Image {
  int size = 0;
  int bpp = 0;
  std::vector<uint8_t> index;
  std::vector<bool> transparent;

  Image(int n, int bits) : size(n), bpp(bits), index(n * n, 0), transparent(n * n, true) {}
  void Set(int x, int y, uint8_t colour) {
    index[y * size + x] = colour;
    transparent[y * size + x] = false;
  }
};

// The platform's 16 standard colours; the 256-colour palette continues with
// the 6x6x6 colour cube (steps of 51) and 24 greys.
std::vector<Rgb> Palette(int bpp) {
  std::vector<Rgb> p = {
      {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
      {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
      {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
      {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
  };
  if (bpp == 8) {
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          p.push_back({uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)});
    for (int i = 0; i < 24; ++i) {
      uint8_t v = uint8_t(8 + i * 10);
      p.push_back({v, v, v});
    }
  }
  return p;
}

constexpr uint8_t kBlack = 0;
// RGB(0, 102, 153) in the colour cube: 16 + 0 * 36 + 2 * 6 + 3.
constexpr uint8_t kCloseBlue = 31;

// A disc of the given diameter whose bounding square starts at `first`.
// Pixel (x, y) is inside when its centre lies within the circle; in doubled
// coordinates everything stays integral, so the disc is exactly symmetric.
Image Disc(int size, int bpp, int diameter, int first) {
  Image img(size, bpp);
  int centre2 = 2 * first + diameter;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      int dx = 2 * x + 1 - centre2, dy = 2 * y + 1 - centre2;
      if (dx * dx + dy * dy <= diameter * diameter) img.Set(x, y, kBlack);
    }
  }
  return img;
}

// The close glyph: the outline of the square [margin, size - 1 - margin],
// `line` pixels thick, and its two diagonals, `spread` pixels either side of
// the exact 45-degree lines.
Image CloseGlyph(int size, int margin, int line, int spread) {
  Image img(size, 8);
  int lo = margin, hi = size - 1 - margin;
  for (int y = lo; y <= hi; ++y) {
    for (int x = lo; x <= hi; ++x) {
      bool edge = x < lo + line || x > hi - line || y < lo + line || y > hi - line;
      int d1 = x - y, d2 = x + y - (size - 1);
      bool diagonal = (d1 >= -spread && d1 <= spread) || (d2 >= -spread && d2 <= spread);
      if (edge || diagonal) img.Set(x, y, kCloseBlue);
    }
  }
  return img;
}

void Put16(std::vector<uint8_t>& out, unsigned v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

size_t RowBytes(int width, int bpp) { return size_t((width * bpp + 31) / 32) * 4; }

// One image as the platform stores it: BITMAPINFOHEADER with the height of
// colour and mask together, the palette, the colour bitmap and the AND mask,
// both bottom-up with rows padded to four bytes.
std::vector<uint8_t> Dib(const Image& img) {
  std::vector<Rgb> palette = Palette(img.bpp);
  size_t xorRow = RowBytes(img.size, img.bpp), andRow = RowBytes(img.size, 1);
  std::vector<uint8_t> out;
  Put32(out, 40);
  Put32(out, uint32_t(img.size));
  Put32(out, uint32_t(img.size * 2));
  Put16(out, 1);
  Put16(out, unsigned(img.bpp));
  Put32(out, 0);  // BI_RGB
  Put32(out, uint32_t((xorRow + andRow) * img.size));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (const Rgb& c : palette) {
    out.push_back(c.b);
    out.push_back(c.g);
    out.push_back(c.r);
    out.push_back(0);
  }
  for (int y = img.size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(xorRow, 0);
    for (int x = 0; x < img.size; ++x) {
      uint8_t v = img.index[y * img.size + x];
      if (img.bpp == 8) {
        row[x] = v;
      } else {
        row[x / 2] |= uint8_t(x % 2 ? v : v << 4);
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = img.size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(andRow, 0);
    for (int x = 0; x < img.size; ++x) {
      if (img.transparent[y * img.size + x]) row[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// ICONDIR, one ICONDIRENTRY per image, then the images in the same order.
std::vector<uint8_t> Ico(const std::vector<Image>& images) {
  std::vector<std::vector<uint8_t>> dibs;
  for (const Image& img : images) dibs.push_back(Dib(img));
  std::vector<uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, unsigned(images.size()));
  uint32_t offset = uint32_t(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const Image& img = images[i];
    out.push_back(uint8_t(img.size));  // 256 would be written as 0
    out.push_back(uint8_t(img.size));
    out.push_back(uint8_t(img.bpp == 4 ? 16 : 0));  // 0 stands for 256 or more colours
    out.push_back(0);
    Put16(out, 1);
    Put16(out, unsigned(img.bpp));
    Put32(out, uint32_t(dibs[i].size()));
    Put32(out, offset);
    offset += uint32_t(dibs[i].size());
  }
  for (const auto& dib : dibs) out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "%s: write failed\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
    return 2;
  }
  std::string dir = argv[1];
  std::vector<Image> app = {Disc(32, 4, 19, 6), Disc(16, 4, 10, 3), Disc(64, 8, 38, 13)};
  std::vector<Image> close = {CloseGlyph(32, 2, 2, 1), CloseGlyph(16, 1, 1, 0)};
  bool ok = Write(dir + "/app.ico", Ico(app));
  ok = Write(dir + "/close.ico", Ico(close)) && ok;
  return ok ? 0 : 1;
}

// Pixels of windows and the screen, and their PNG form for screenshots.
#include <sim/surface.h>

#include <png.h>

#include <algorithm>
#include <memory>

namespace sim {

void Surface::Resize(int w, int h, COLORREF fill) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    pixels.assign(size_t(width) * size_t(height), fill & 0x00FFFFFF);
}

void Surface::Fill(const RECT& rc, COLORREF c) {
    int left = std::max<int>(rc.left, 0), right = std::min<int>(rc.right, width);
    int top = std::max<int>(rc.top, 0), bottom = std::min<int>(rc.bottom, height);
    if (left >= right) return;
    c &= 0x00FFFFFF;
    for (int y = top; y < bottom; ++y) {
        COLORREF* row = pixels.data() + size_t(y) * size_t(width);
        std::fill(row + left, row + right, c);
    }
}

void Surface::Blit(const Surface& src, int x, int y) {
    int left = std::max(x, 0), right = std::min(x + src.width, width);
    int top = std::max(y, 0), bottom = std::min(y + src.height, height);
    if (left >= right) return;
    for (int row = top; row < bottom; ++row) {
        const COLORREF* from = src.pixels.data() + size_t(row - y) * size_t(src.width) + size_t(left - x);
        std::copy(from, from + (right - left), pixels.data() + size_t(row) * size_t(width) + size_t(left));
    }
}

namespace {

struct ImageFree {
    void operator()(png_image* image) const { png_image_free(image); }
};

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

}  // namespace

bool WritePng(const Surface& s, const std::string& path, std::string* error) {
    if (s.width <= 0 || s.height <= 0) return Fail(error, "empty surface");
    std::vector<png_byte> rgb(size_t(s.width) * size_t(s.height) * 3);
    for (size_t i = 0; i < s.pixels.size(); ++i) {
        rgb[3 * i] = png_byte(GetRValue(s.pixels[i]));
        rgb[3 * i + 1] = png_byte(GetGValue(s.pixels[i]));
        rgb[3 * i + 2] = png_byte(GetBValue(s.pixels[i]));
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(s.width);
    image.height = png_uint_32(s.height);
    image.format = PNG_FORMAT_RGB;
    std::unique_ptr<png_image, ImageFree> guard(&image);
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr))
        return Fail(error, path + ": " + image.message);
    return true;
}

bool ReadPng(const std::string& path, Surface* out, std::string* error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::unique_ptr<png_image, ImageFree> guard(&image);
    if (!png_image_begin_read_from_file(&image, path.c_str())) return Fail(error, path + ": " + image.message);
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    png_color white{255, 255, 255};  // the background that transparent pixels are composed on
    if (!png_image_finish_read(&image, &white, rgb.data(), 0, nullptr)) return Fail(error, path + ": " + image.message);
    Surface s;
    s.width = int(image.width);
    s.height = int(image.height);
    s.pixels.resize(size_t(s.width) * size_t(s.height));
    for (size_t i = 0; i < s.pixels.size(); ++i) s.pixels[i] = RGB(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    *out = std::move(s);
    return true;
}

}  // namespace sim

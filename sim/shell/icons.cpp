// Icons of the simulated file system: every executable gets one of its own
// colour, and the shell installs the four shortcut files of the Pocket PC's
// personal information applications with theirs.
#include "icons.h"

#include <algorithm>
#include <cmath>

namespace sim::shell {

namespace {

constexpr uint32_t kClear = 0x00000000;

uint32_t Argb(COLORREF c) { return 0xFF000000u | (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

struct Canvas {
    res::IconImage img;
    explicit Canvas(int size) {
        img.width = img.height = size;
        img.bits_per_pixel = 32;
        img.argb.assign(size_t(size) * size, kClear);
    }
    double s() const { return img.width / 32.0; }  // shapes are designed on 32x32
    void Px(int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < img.width && y < img.height) img.argb[size_t(y) * img.width + x] = c;
    }
    void Box(double l, double t, double r, double b, uint32_t c) {
        for (int y = int(std::lround(t * s())); y < int(std::lround(b * s())); ++y)
            for (int x = int(std::lround(l * s())); x < int(std::lround(r * s())); ++x) Px(x, y, c);
    }
    void Disc(double cx, double cy, double r, uint32_t c) {
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                double dx = (x + 0.5) / s() - cx, dy = (y + 0.5) / s() - cy;
                if (dx * dx + dy * dy <= r * r) Px(x, y, c);
            }
    }
    void Ring(double cx, double cy, double r, double w, uint32_t c) {
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                double dx = (x + 0.5) / s() - cx, dy = (y + 0.5) / s() - cy;
                double d = std::sqrt(dx * dx + dy * dy);
                if (d <= r && d >= r - w) Px(x, y, c);
            }
    }
    void Line(double x0, double y0, double x1, double y1, double w, uint32_t c) {
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x) {
                double px = (x + 0.5) / s(), py = (y + 0.5) / s();
                double vx = x1 - x0, vy = y1 - y0;
                double t = std::clamp(((px - x0) * vx + (py - y0) * vy) / (vx * vx + vy * vy), 0.0, 1.0);
                double dx = px - (x0 + t * vx), dy = py - (y0 + t * vy);
                if (dx * dx + dy * dy <= w * w / 4) Px(x, y, c);
            }
    }
};

std::vector<res::IconImage> Both(const std::function<void(Canvas&)>& draw) {
    std::vector<res::IconImage> out;
    for (int size : {32, 16}) {
        Canvas c(size);
        draw(c);
        out.push_back(std::move(c.img));
    }
    return out;
}

}  // namespace

std::vector<res::IconImage> ApplicationIcon(COLORREF accent) {
    return Both([&](Canvas& c) {
        uint32_t a = Argb(accent), white = 0xFFFFFFFF, dark = 0xFF202020;
        c.Box(3, 3, 29, 29, dark);
        c.Box(4, 4, 28, 28, a);
        c.Box(8, 9, 24, 24, white);
        c.Box(8, 9, 24, 12, dark);
        c.Box(10, 15, 22, 16, a);
        c.Box(10, 19, 19, 20, a);
    });
}

std::vector<res::IconImage> CalendarIcon() {
    return Both([](Canvas& c) {
        c.Box(4, 5, 28, 28, 0xFF404040);
        c.Box(5, 6, 27, 27, 0xFFFFFFFF);
        c.Box(5, 6, 27, 11, 0xFFD03020);
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 4; ++col) c.Box(7 + col * 5, 13 + row * 4.5, 10 + col * 5, 15.5 + row * 4.5, 0xFF505050);
    });
}

std::vector<res::IconImage> TasksIcon() {
    return Both([](Canvas& c) {
        c.Box(5, 4, 27, 29, 0xFF404040);
        c.Box(6, 5, 26, 28, 0xFFFFFFF0);
        c.Line(9, 16, 14, 22, 3, 0xFF209030);
        c.Line(14, 22, 24, 9, 3, 0xFF209030);
    });
}

std::vector<res::IconImage> ContactsIcon() {
    return Both([](Canvas& c) {
        c.Box(4, 6, 28, 27, 0xFF7A4A20);
        c.Box(5, 7, 27, 26, 0xFFF4E2C0);
        c.Disc(16, 13, 4, 0xFF7A4A20);
        c.Disc(16, 25, 7.5, 0xFF7A4A20);
        c.Box(5, 26, 27, 27, 0xFF7A4A20);
    });
}

std::vector<res::IconImage> FindIcon() {
    return Both([](Canvas& c) {
        c.Disc(13, 13, 8, 0xFFD8ECFF);
        c.Ring(13, 13, 9, 3, 0xFF303030);
        c.Line(19, 19, 27, 27, 4.5, 0xFF303030);
    });
}

}  // namespace sim::shell

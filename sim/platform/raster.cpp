// Rasterisation in the platform's conventions.
//
// Filled shapes are given by a bounding box [left, right) x [top, bottom):
// the right and bottom edges stay unpainted. A shape is a set of pixels; its
// outline is the part of that set within the pen's width of a pixel outside
// the set, and the brush paints the rest. A null pen paints no outline, and
// then the set itself is one pixel narrower and one pixel shorter: a null-pen
// rectangle fills [left, right - 1) x [top, bottom - 1), as the platform's
// documentation of Rectangle says and as its rasteriser does.
//
// An ellipse is the one that passes through the centres of the box's
// outermost pixels (axes of width - 1 and height - 1 pixels). Its curve is
// walked from the end of the horizontal axis towards the bottom with the
// error-driven midpoint rule for ellipses (the one due to Zingl): at each
// step the curve moves one pixel inwards, one row down, or both, judged on
// the error before the step. Every row is filled between the curve's
// outermost pixels in it and its mirror image; the upper half mirrors the
// lower one. The walk ends when it reaches the vertical axis, so the end rows
// of a box much taller than wide stay empty, as they do on the platform. A
// box two pixels wide or high, or less, is drawn as a rectangle. With a null
// pen these rules give the platform's pixels for every box up to 40 x 40.
//
// Lines are Bresenham's, stepping along the major axis; a tie in the minor
// axis goes away from the start point. A segment never paints its last
// point, so neither does a polyline. A pen N pixels wide paints an N x N
// square about each point of the line. A dashed pen (one pixel wide: the
// platform makes a wider one solid) paints 18 pixels and leaves 6, counted
// along the major axis from the start of each drawing call and carried from
// one segment of a polyline to the next; the gaps take the background colour
// when the background mode is OPAQUE and are left alone when it is
// TRANSPARENT. Outlines of filled shapes are drawn solid.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <vector>

#include "gdi.h"

using namespace sim;
using namespace sim::gdi;

namespace {

RECT Normalized(int left, int top, int right, int bottom) {
    return RECT{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

// Pen and brush of a filled shape as the DC holds them.
struct Paint {
    bool outline = false;
    int width = 1;
    COLORREF pen = 0;
    bool fill = false;
    COLORREF brush = 0;
};

Paint PaintOf(const DeviceContext& dc) {
    Paint p;
    LOGPEN pen = PenOf(dc);
    p.outline = pen.lopnStyle != PS_NULL;
    p.width = std::max<LONG>(pen.lopnWidth.x, 1);
    p.pen = pen.lopnColor;
    p.fill = BrushColourOf(dc, &p.brush);
    return p;
}

// The box a shape's pixels lie in: without an outline, one pixel less at
// the right and at the bottom.
RECT PaintedBox(const RECT& box, const Paint& paint) {
    if (paint.outline) return box;
    return RECT{box.left, box.top, std::max(box.left, box.right - 1), std::max(box.top, box.bottom - 1)};
}

template <class Inside>
void PaintShape(Canvas& canvas, const RECT& box, const Paint& paint, Inside inside) {
    int left = std::max(box.left, canvas.clip.left), right = std::min(box.right, canvas.clip.right);
    int top = std::max(box.top, canvas.clip.top), bottom = std::min(box.bottom, canvas.clip.bottom);
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (!inside(x, y)) continue;
            bool edge = false;
            for (int k = 1; paint.outline && !edge && k <= paint.width; ++k)
                edge = !inside(x - k, y) || !inside(x + k, y) || !inside(x, y - k) || !inside(x, y + k);
            if (edge)
                canvas.Plot(x, y, paint.pen);
            else if (paint.fill)
                canvas.Plot(x, y, paint.brush);
        }
    }
}

constexpr int64_t kMaxWalkedEllipse = 16384;

// Whether the centre of pixel (x, y) lies in the ellipse inscribed in the
// box whose doubled centre is (cx2, cy2) and whose axes are a by b pixels:
// the corners of RoundRect, and ellipses too large for the walk below.
bool InEllipse(int x, int y, int64_t cx2, int64_t cy2, int64_t a, int64_t b) {
    int64_t dx = 2 * int64_t(x) + 1 - cx2;
    int64_t dy = 2 * int64_t(y) + 1 - cy2;
    if (a <= (int64_t(1) << 31) / b) return dx * dx * b * b + dy * dy * a * a <= a * a * b * b;
    // In double, which every build computes alike: long double is 80 bits on
    // x86-64 and 64 on 32-bit ARM.
    double u = static_cast<double>(dx) / double(a), v = static_cast<double>(dy) / double(b);
    return u * u + v * v <= 1;
}

// For each row of a box w x h pixels (both more than 2), how many pixels the
// ellipse leaves out at each end of the row; w / 2 + 1 or more leaves the
// row empty. In doubled units the curve's axes are w - 1 and h - 1; `err` is
// the midpoint error of the next pixel, `dx` and `dy` what a step inwards or
// a step down adds to it, and they grow by constant amounts at each step.
std::vector<int> EllipseInsets(int64_t w, int64_t h) {
    std::vector<int> inset(size_t(h), int(std::min<int64_t>(w, INT32_MAX)));
    const int64_t a = w - 1, b = h - 1, odd = b % 2;
    const int64_t grow_dx = 8 * b * b, grow_dy = 8 * a * a;
    int64_t dx = 4 * b * b * (1 - a);
    int64_t dy = 4 * a * a * (1 + odd);
    int64_t err = dx + dy + a * a * odd;
    int64_t x = 0, row = h / 2;
    inset[size_t(row)] = 0;
    while (x <= w / 2) {
        const int64_t twice = 2 * err;
        if (twice >= dx) {
            ++x;
            dx += grow_dx;
            err += dx;
        }
        if (twice <= dy) {
            ++row;
            dy += grow_dy;
            err += dy;
            if (row < h) inset[size_t(row)] = int(x);
        }
    }
    for (int64_t r = 0; r < h / 2; ++r) inset[size_t(r)] = inset[size_t(h - 1 - r)];
    return inset;
}

// round(i * minor / major), halves away from the start: (2 i minor + major) /
// (2 major), for 0 <= i < major and 0 <= minor <= major, which may each
// approach 2^32. Exact where 2 i minor passes 64 bits too, without the
// 128-bit integers that a 32-bit build lacks: the product is built bit by
// bit of i as a quotient and a remainder below major.
int64_t RoundedShare(int64_t i, int64_t minor, int64_t major) {
    if (i == 0 || minor <= (INT64_MAX - major) / (2 * i)) return (2 * i * minor + major) / (2 * major);
    int64_t q = 0, r = 0;
    for (int bit = 63 - std::countl_zero(uint64_t(i)); bit >= 0; --bit) {
        q *= 2;
        r *= 2;
        if (r >= major) r -= major, ++q;
        if ((i >> bit) & 1) {
            r += minor;
            if (r >= major) r -= major, ++q;
        }
    }
    return q + (2 * r + major) / (2 * major);
}

// The pixels of a width-1 segment from (x0, y0) up to but not including
// (x1, y1) whose major coordinate lies in [lo, hi): the walk is clipped, so a
// huge line costs no more than the pixels it may touch.
template <class Plot>
void Segment(int x0, int y0, int x1, int y1, int lo_x, int hi_x, int lo_y, int hi_y, Plot plot) {
    int64_t dx = std::llabs(int64_t(x1) - x0), dy = std::llabs(int64_t(y1) - y0);
    int sx = x1 >= x0 ? 1 : -1, sy = y1 >= y0 ? 1 : -1;
    bool x_major = dx >= dy;
    int64_t steps = std::max(dx, dy);
    int64_t start = x_major ? x0 : y0;
    int s = x_major ? sx : sy;
    int64_t lo = x_major ? lo_x : lo_y, hi = x_major ? hi_x : hi_y;
    // Steps i with lo <= start + s * i < hi.
    int64_t first = s > 0 ? lo - start : start - (hi - 1);
    int64_t last = s > 0 ? hi - 1 - start : start - lo;
    first = std::max<int64_t>(first, 0);
    last = std::min<int64_t>(last, steps - 1);
    for (int64_t i = first; i <= last; ++i) {
        if (x_major)
            plot(int(x0 + sx * i), int(y0 + sy * RoundedShare(i, dy, dx)), i);
        else
            plot(int(x0 + sx * RoundedShare(i, dx, dy)), int(y0 + sy * i), i);
    }
}

constexpr int64_t kDashOn = 18, kDashPeriod = 24;

// One segment; *dash is where the dash pattern stands at its start, and is
// moved on by the segment's length.
void Line(const DeviceContext& dc, int x0, int y0, int x1, int y1, int64_t* dash) {
    LOGPEN pen = PenOf(dc);
    int64_t start = *dash;
    *dash += std::max(std::llabs(int64_t(x1) - x0), std::llabs(int64_t(y1) - y0));
    if (pen.lopnStyle == PS_NULL) return;
    Canvas canvas = CanvasOf(dc);
    if (!canvas.surface) return;
    const bool dashed = pen.lopnStyle == PS_DASH;
    const bool opaque_gaps = dc.state.bk_mode == OPAQUE;
    // A wider pen paints a square of its width about each point, reaching
    // width / 2 pixels up and to the left of it; the line is walked over a
    // clip grown by as much, so that its points just outside still paint.
    const int width = int(std::clamp<LONG>(pen.lopnWidth.x, 1, 64));
    const int before = width / 2, after = width - 1 - width / 2;
    const RECT& c = canvas.clip;
    auto plot = [&](int x, int y, COLORREF colour) {
        for (int dy = -before; dy <= after; ++dy)
            for (int dx = -before; dx <= after; ++dx) canvas.Plot(x + dx, y + dy, colour);
    };
    Segment(x0, y0, x1, y1, c.left - after, c.right + before, c.top - after, c.bottom + before,
            [&](int x, int y, int64_t i) {
                if (!dashed || (start + i) % kDashPeriod < kDashOn)
                    plot(x, y, pen.lopnColor);
                else if (opaque_gaps)
                    plot(x, y, dc.state.bk);
            });
}

}  // namespace

extern "C" {

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    SIM_API("Rectangle");
    if (SIM_FAIL()) return FALSE;
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return FALSE;
    Canvas canvas = CanvasOf(*dc);
    Paint paint = PaintOf(*dc);
    RECT box = PaintedBox(Normalized(left, top, right, bottom), paint);
    PaintShape(canvas, box, paint, [&](int x, int y) {
        return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
    });
    return TRUE;
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    SIM_API("Ellipse");
    if (SIM_FAIL()) return FALSE;
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return FALSE;
    Canvas canvas = CanvasOf(*dc);
    RECT box = Normalized(left, top, right, bottom);
    int64_t w = int64_t(box.right) - box.left, h = int64_t(box.bottom) - box.top;
    if (w <= 2 || h <= 2) return Rectangle(hdc, box.left, box.top, box.right, box.bottom);
    // A box larger than any surface shows only a clipped part of its curve;
    // it is not walked, and its pixels are those whose centres lie inside.
    if (w > kMaxWalkedEllipse || h > kMaxWalkedEllipse) {
        int64_t cx2 = int64_t(box.left) + box.right, cy2 = int64_t(box.top) + box.bottom;
        PaintShape(canvas, box, PaintOf(*dc), [&](int x, int y) {
            return x >= box.left && x < box.right && y >= box.top && y < box.bottom &&
                   InEllipse(x, y, cx2, cy2, w, h);
        });
        return TRUE;
    }
    std::vector<int> inset = EllipseInsets(w, h);
    PaintShape(canvas, box, PaintOf(*dc), [&](int x, int y) {
        if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) return false;
        int in = inset[size_t(y - box.top)];
        return x >= box.left + in && x < box.right - in;
    });
    return TRUE;
}

BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
    SIM_API("RoundRect");
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return FALSE;
    Canvas canvas = CanvasOf(*dc);
    RECT box = Normalized(left, top, right, bottom);
    // Each corner is a quarter of a width x height ellipse.
    int64_t a = std::clamp<int64_t>(std::abs(width), 0, int64_t(box.right) - box.left);
    int64_t b = std::clamp<int64_t>(std::abs(height), 0, int64_t(box.bottom) - box.top);
    int64_t left2 = 2 * int64_t(box.left) + a, right2 = 2 * int64_t(box.right) - a;
    int64_t top2 = 2 * int64_t(box.top) + b, bottom2 = 2 * int64_t(box.bottom) - b;
    PaintShape(canvas, box, PaintOf(*dc), [&](int x, int y) {
        if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) return false;
        if (a == 0 || b == 0) return true;
        int64_t px = 2 * int64_t(x) + 1, py = 2 * int64_t(y) + 1;
        int64_t cx = px < left2 ? left2 : px > right2 ? right2 : px;
        int64_t cy = py < top2 ? top2 : py > bottom2 ? bottom2 : py;
        if (cx == px || cy == py) return true;  // not in a corner
        return InEllipse(x, y, cx, cy, a, b);
    });
    return TRUE;
}

BOOL WINAPI Polyline(HDC hdc, const POINT* apt, int cpt) {
    SIM_API("Polyline");
    if (SIM_FAIL()) return FALSE;
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return FALSE;
    if (!apt || cpt < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Each segment leaves out its last point; the next segment starts on it,
    // so only the polyline's very last point stays unpainted.
    int64_t dash = 0;
    for (int i = 0; i + 1 < cpt; ++i) Line(*dc, apt[i].x, apt[i].y, apt[i + 1].x, apt[i + 1].y, &dash);
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
    SIM_API("MoveToEx");
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return FALSE;
    if (lppt) *lppt = dc->state.pos;
    dc->state.pos = POINT{x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    SIM_API("LineTo");
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return FALSE;
    int64_t dash = 0;
    Line(*dc, dc->state.pos.x, dc->state.pos.y, x, y, &dash);
    dc->state.pos = POINT{x, y};
    return TRUE;
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    SIM_API("FillRect");
    DeviceContext* dc = CheckDc(hDC);
    if (!dc) return 0;
    COLORREF colour;
    if (!lprc || !BrushColour(hbr, &colour)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Canvas canvas = CanvasOf(*dc);
    canvas.Fill(*lprc, colour);
    return 1;
}

BOOL WINAPI DrawFocusRect(HDC hDC, const RECT* lprc) {
    SIM_API("DrawFocusRect");
    DeviceContext* dc = CheckDc(hDC);
    if (!dc) return FALSE;
    if (!lprc) return FALSE;
    Canvas canvas = CanvasOf(*dc);
    const RECT& r = *lprc;
    if (r.right <= r.left || r.bottom <= r.top) return TRUE;
    // A dotted frame drawn by inverting every other pixel, so that drawing
    // it twice takes it away again.
    auto invert = [&](int x, int y) {
        if ((x + y) % 2 == 0 && canvas.Visible(x, y)) canvas.Plot(x, y, canvas.At(x, y) ^ 0x00FFFFFF);
    };
    for (int x = r.left; x < r.right; ++x) {
        invert(x, r.top);
        if (r.bottom - 1 > r.top) invert(x, r.bottom - 1);
    }
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        invert(r.left, y);
        if (r.right - 1 > r.left) invert(r.right - 1, y);
    }
    return TRUE;
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    SIM_API("SetPixel");
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return CLR_INVALID;
    Canvas canvas = CanvasOf(*dc);
    if (!canvas.Visible(x, y)) return CLR_INVALID;
    canvas.Plot(x, y, color);
    return color & 0x00FFFFFF;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    SIM_API("GetPixel");
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return CLR_INVALID;
    return CanvasOf(*dc).At(x, y);
}

}  // extern "C"

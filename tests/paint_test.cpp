// The button's face on the simulated screen, pixel for pixel.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "program.h"
#include "vesk.h"

namespace {

const WCHAR kColorKey[] = u"Software\\Microsoft\\Color";
constexpr COLORREF kBack = RGB(10, 40, 120);
constexpr COLORREF kFore = RGB(250, 240, 20);

using Pixel = std::pair<int, int>;

// The pixels of a polyline from (x0, y0) towards (x1, y1) along a diagonal,
// its last point left out.
void Diagonal(std::set<Pixel>& out, int x0, int y0, int x1, int y1) {
    int dx = x1 > x0 ? 1 : -1, dy = y1 > y0 ? 1 : -1;
    for (int x = x0, y = y0; x != x1; x += dx, y += dy) out.insert({x, y});
}

struct Face {
    sim::Device& device;
    RECT button;  // screen rectangle

    COLORREF At(int x, int y) { return device.PixelAt(button.left + x, button.top + y); }

    // The bounding box (inclusive) of the pixels of one colour within a client area.
    RECT Extent(COLORREF colour, RECT area) {
        const sim::Surface& screen = device.Screen();  // composed once
        RECT r{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (int y = area.top; y < area.bottom; ++y)
            for (int x = area.left; x < area.right; ++x)
                if (screen.At(button.left + x, button.top + y) == colour) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x);
                    r.bottom = std::max<LONG>(r.bottom, y);
                }
        return r;
    }
};

class Paint : public ::testing::Test {
protected:
    void Boot(int width, int height, int dpi, int dpi_y = 0) {
        device_.reset();
        device_ = std::make_unique<sim::Device>(
            sim::DeviceConfig{.width = width, .height = height, .dpi = dpi, .dpi_y = dpi_y});
        device_->SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"8", kBack);
        device_->SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"9", kFore);
        vesk_ = vesk_host::StartVesk(*device_);
        for (const auto& w : device_->Windows())
            if (w.class_name == u"VeskClass") button_ = w.rect;
    }
    Face face() { return Face{*device_, button_}; }

    std::unique_ptr<sim::Device> device_;
    DWORD vesk_ = 0;
    RECT button_{};
};

void ExpectRect(const RECT& got, int l, int t, int r, int b, const char* what) {
    EXPECT_EQ(got.left, l) << what;
    EXPECT_EQ(got.top, t) << what;
    EXPECT_EQ(got.right, r) << what;
    EXPECT_EQ(got.bottom, b) << what;
}

// The dot left of the disc and the disc itself, each as its inclusive
// extent in the foreground colour, on a button `width` wide and `bar` high.
void ExpectDotAndDisc(Face& f, int width, int bar, const RECT& dot, const RECT& disc) {
    ExpectRect(f.Extent(kFore, RECT{0, 0, disc.left, bar}), dot.left, dot.top, dot.right, dot.bottom, "dot");
    ExpectRect(f.Extent(kFore, RECT{disc.left, 0, width, bar}), disc.left, disc.top, disc.right, disc.bottom, "disc");
}

// Checks the cross of a disc: every pixel of the expected diagonals is in
// the glyph colour and no other pixel around them is.
void ExpectCross(Face f, const RECT& disc, const std::set<Pixel>& cross, COLORREF glyph, COLORREF fill) {
    const sim::Surface& screen = f.device.Screen();  // composed once
    auto at = [&](int x, int y) { return screen.At(f.button.left + x, f.button.top + y); };
    RECT box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (auto [x, y] : cross) {
        EXPECT_EQ(at(x, y), glyph) << x << "," << y;
        box.left = std::min<LONG>(box.left, x - 1);
        box.top = std::min<LONG>(box.top, y - 1);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
    }
    for (int y = box.top; y <= box.bottom; ++y)
        for (int x = box.left; x <= box.right; ++x)
            if (!cross.count({x, y})) {
                EXPECT_EQ(at(x, y), fill) << "around the cross at " << x << "," << y;
            }
    // The middle row of the disc is filled edge to edge.
    int mid = (disc.top + disc.bottom) / 2;
    for (int x = disc.left; x < disc.right; ++x) {
        COLORREF c = at(x, mid);
        EXPECT_TRUE(c == fill || c == glyph) << x;
    }
}

std::set<Pixel> Cross(int cl, int ct, int cr, int cb, int half_bar) {
    std::set<Pixel> s;
    Diagonal(s, cl, ct, cr + 1, cb + 1);
    Diagonal(s, cr, ct, cl - 1, cb + 1);
    for (int i = 1; i < half_bar; ++i) {
        Diagonal(s, cl, ct + i, cr - i + 1, cb + 1);
        Diagonal(s, cl + i, ct, cr + 1, cb - i + 1);
        Diagonal(s, cr - i, ct, cl - 1, cb - i + 1);
        Diagonal(s, cr, ct + i, cl + i - 1, cb + 1);
    }
    return s;
}

}  // namespace

TEST_F(Paint, StandardLayoutAt96Dpi) {
    Boot(240, 320, 96);
    device_->Launch({.name = "notes", .title = u"Notes"});
    Face f = face();
    ASSERT_EQ(button_.right - button_.left, 28);
    // The face fills the whole button in the background colour.
    for (int y = 0; y < 26; ++y) {
        EXPECT_EQ(f.At(0, y), kBack);
        EXPECT_EQ(f.At(27, y), kBack);
    }
    // Dot (3, 9, 10, 16); disc (11, 5, 27, 21): right and bottom edges unpainted.
    ExpectRect(f.Extent(kFore, RECT{0, 0, 11, 26}), 3, 9, 9, 15, "dot");
    ExpectRect(f.Extent(kFore, RECT{11, 0, 28, 26}), 11, 5, 26, 20, "disc");
    // Cross box (15, 9, 22, 16): bars three lines wide.
    ExpectCross(f, RECT{11, 5, 27, 21}, Cross(15, 9, 22, 16, 2), kBack, kFore);
    // The worked lines of the cross.
    EXPECT_EQ(f.At(15, 9), kBack);
    EXPECT_EQ(f.At(22, 16), kBack);
    EXPECT_EQ(f.At(22, 9), kBack);
    EXPECT_EQ(f.At(15, 16), kBack);
    EXPECT_EQ(f.At(15, 10), kBack);
    EXPECT_EQ(f.At(16, 9), kBack);
    EXPECT_EQ(f.At(23, 17), kFore);  // one beyond the last painted point
}

// At 288 dpi the cross's lines are 24 pixels long: drawn with a pen that is
// not solid, they would show gaps.
TEST_F(Paint, StandardLayoutAtTwiceAndThreeTimes96Dpi) {
    struct Case {
        int dpi, width, bar;
        RECT dot, disc;  // extents, inclusive
        RECT cross;      // cl, ct, cr, cb
        int half_bar;
    } cases[] = {{192, 56, 52, {3, 18, 16, 31}, {22, 10, 53, 41}, {30, 18, 45, 33}, 4},
                 {288, 84, 78, {3, 27, 23, 47}, {33, 15, 80, 62}, {45, 27, 68, 50}, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        Boot(c.dpi * 5 / 2, c.dpi * 10 / 3, c.dpi);
        device_->Launch({.name = "notes", .title = u"Notes"});
        Face f = face();
        ASSERT_EQ(button_.right - button_.left, c.width);
        ExpectDotAndDisc(f, c.width, c.bar, c.dot, c.disc);
        ExpectCross(f, RECT{c.disc.left, c.disc.top, c.disc.right + 1, c.disc.bottom + 1},
                    Cross(c.cross.left, c.cross.top, c.cross.right, c.cross.bottom, c.half_bar), kBack, kFore);
        // Each bar is 2 * half_bar - 1 lines wide: across the first diagonal at its middle.
        int across = 0, mid_x = (c.cross.left + c.cross.right) / 2, mid_y = (c.cross.top + c.cross.bottom) / 2;
        for (int d = -2 * c.half_bar; d <= 2 * c.half_bar; ++d) across += f.At(mid_x + d, mid_y) == kBack ? 1 : 0;
        EXPECT_GE(across, 2 * c.half_bar - 1);
    }
}

// Where rounding to the nearest pixel decides: the button ScaleX(28) wide,
// the dot at (3, ScaleY(9)) ScaleX(7) across, the disc ScaleX(1) from the
// right edge and ScaleY(5) from the top, ScaleX(16) by ScaleY(16).
TEST_F(Paint, StandardLayoutWhereRoundingMatters) {
    struct Case {
        int dpi, width, bar;
        RECT dot, disc;  // extents, inclusive
    } cases[] = {
        {120, 35, 33, {3, 11, 11, 19}, {14, 6, 33, 25}}, {131, 38, 35, {3, 12, 12, 21}, {15, 7, 36, 28}},
        {132, 39, 36, {3, 12, 12, 21}, {16, 7, 37, 28}}, {143, 42, 39, {3, 13, 12, 22}, {17, 7, 40, 30}},
        {163, 48, 44, {3, 15, 14, 26}, {19, 8, 45, 34}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        Boot(240, 320, c.dpi);
        device_->Launch({.name = "notes", .title = u"Notes"});
        Face f = face();
        ASSERT_EQ(button_.right - button_.left, c.width);
        ExpectDotAndDisc(f, c.width, c.bar, c.dot, c.disc);
    }
}

// Horizontal lengths follow the horizontal resolution and vertical ones the
// vertical: the dot a circle ScaleX(7) across at ScaleY(9) from the top, the
// disc ScaleX(16) wide and ScaleY(16) high.
TEST_F(Paint, LayoutOnAScreenWhoseResolutionsDiffer) {
    struct Case {
        int dpi_x, dpi_y, width, bar;
        RECT dot, disc;  // extents, inclusive
    } cases[] = {{96, 192, 28, 52, {3, 18, 9, 24}, {11, 10, 26, 41}}, {192, 96, 56, 26, {3, 9, 16, 22}, {22, 5, 53, 20}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi_x) + "x" + std::to_string(c.dpi_y));
        Boot(240, 320, c.dpi_x, c.dpi_y);
        device_->Launch({.name = "notes", .title = u"Notes"});
        Face f = face();
        ASSERT_EQ(button_.right - button_.left, c.width);
        ASSERT_EQ(button_.bottom - button_.top, c.bar);
        ExpectDotAndDisc(f, c.width, c.bar, c.dot, c.disc);
    }
}

TEST_F(Paint, CompactLayoutBelow130PixelsWide) {
    Boot(129, 160, 96);
    device_->Launch({.name = "notes", .title = u"Notes"});
    Face f = face();
    ExpectRect(f.Extent(kFore, RECT{0, 0, 10, 26}), 0, 9, 7, 16, "compact dot");
    ExpectRect(f.Extent(kFore, RECT{10, 0, 28, 26}), 10, 5, 26, 21, "compact disc");
    ExpectCross(f, RECT{10, 5, 27, 22}, Cross(14, 9, 22, 17, 2), kBack, kFore);

    Boot(130, 160, 96);
    device_->Launch({.name = "notes", .title = u"Notes"});
    Face g = face();
    ExpectRect(g.Extent(kFore, RECT{0, 0, 11, 26}), 3, 9, 9, 15, "standard dot at 130");
}

// "ok" is centred in the disc's box shifted one pixel left. Centring rounds
// half a pixel down, so a box one pixel wider or narrower at the left shows
// only where the box's width less the text's is odd (96 dpi: 16 - 13) for
// the one and even (128 dpi: 21 - 13) for the other.
TEST_F(Paint, OkIsDrawnCentredInTheGlyphColour) {
    struct Case {
        int dpi;
        RECT solid;  // where the disc is solid: every pixel of the background colour there is ink
        int ink_left, ink_right, ink_top, ink_bottom;
    } cases[] = {{96, {12, 9, 26, 17}, 12, 22, 9, 15}, {128, {16, 12, 35, 22}, 18, 29, 12, 21}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        Boot(240, 320, c.dpi);
        device_->Launch({.name = "word", .title = u"Pocket Word", .exstyle = WS_EX_CAPTIONOKBTN});
        RECT ink = face().Extent(kBack, c.solid);
        ASSERT_LE(ink.left, ink.right) << "no ink";
        EXPECT_EQ(ink.left, c.ink_left);
        EXPECT_EQ(ink.right, c.ink_right);
        EXPECT_EQ(ink.top, c.ink_top);
        EXPECT_EQ(ink.bottom, c.ink_bottom);
    }
    Boot(240, 320, 96);
    device_->Launch({.name = "word", .title = u"Pocket Word", .exstyle = WS_EX_CAPTIONOKBTN});
    Face f = face();
    // No cross: the disc's corners of the cross box stay filled.
    EXPECT_EQ(f.At(15, 9), kFore);
    // Only the two colours of the theme are used: the text is drawn on a
    // transparent background.
    for (int y = 0; y < 26; ++y)
        for (int x = 0; x < 28; ++x) {
            COLORREF c = f.At(x, y);
            EXPECT_TRUE(c == kBack || c == kFore) << x << "," << y;
        }
}

TEST_F(Paint, PressedSwapsTheDiscAndGlyphColoursForAtMost200Ms) {
    Boot(240, 320, 96);
    HWND notes = device_->Launch({.name = "notes", .title = u"Notes", .on_close = sim::OnClose::Ignore});
    Face f = face();
    device_->PenDown(button_.left + 18, 20);
    // Pressed: the disc takes the face's colour and the cross is in the foreground colour.
    ExpectCross(f, RECT{11, 5, 27, 21}, Cross(15, 9, 22, 16, 2), kFore, kBack);
    ExpectRect(f.Extent(kFore, RECT{0, 0, 11, 26}), 3, 9, 9, 15, "dot while pressed");
    device_->Wait(199);
    EXPECT_EQ(f.At(12, 13), kBack);
    device_->Wait(1);
    // Released at 200 ms though the pen is still down.
    ExpectCross(f, RECT{11, 5, 27, 21}, Cross(15, 9, 22, 16, 2), kBack, kFore);
    device_->PenUp(button_.left + 18, 20);
    EXPECT_EQ(device_->Received(notes).back().message, UINT(WM_CLOSE));
}

TEST_F(Paint, DesktopInFrontShowsOnlyTheFaceAndTheDot) {
    Boot(240, 320, 96);
    ASSERT_EQ(device_->Foreground(), device_->desktop());
    Face f = face();
    ExpectRect(f.Extent(kFore, RECT{0, 0, 28, 26}), 3, 9, 9, 15, "only the dot");
    // Pressing changes nothing visible.
    device_->PenDown(button_.left + 18, 20);
    ExpectRect(f.Extent(kFore, RECT{0, 0, 28, 26}), 3, 9, 9, 15, "only the dot, pressed");
    device_->PenUp(button_.left + 18, 20);
}

TEST_F(Paint, ThemeChangeShowsAtTheNextPaint) {
    Boot(240, 320, 96);
    device_->Launch({.name = "notes", .title = u"Notes"});
    const COLORREF back2 = RGB(90, 0, 0), fore2 = RGB(0, 200, 255);
    device_->SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"8", back2);
    device_->SetDword(HKEY_LOCAL_MACHINE, kColorKey, u"9", fore2);
    Face f = face();
    EXPECT_EQ(f.At(0, 0), kBack);  // nothing repainted yet
    device_->Notify();
    EXPECT_EQ(f.At(0, 0), back2);
    EXPECT_EQ(f.At(6, 12), fore2);
}

TEST_F(Paint, ForegroundChangesRepaintTheGlyph) {
    Boot(240, 320, 96);
    HWND notes = device_->Launch({.name = "notes", .title = u"Notes"});
    device_->Launch({.name = "word", .title = u"Pocket Word", .exstyle = WS_EX_CAPTIONOKBTN});
    Face f = face();
    EXPECT_EQ(f.At(15, 9), kFore);  // "ok": no cross corner
    device_->Activate(notes);
    EXPECT_EQ(f.At(15, 9), kBack);  // the cross
}

TEST_F(Paint, RepaintsLeaveNoObjectBehindAndDeleteNothingSelected) {
    Boot(240, 320, 96);
    device_->Launch({.name = "word", .title = u"Pocket Word", .exstyle = WS_EX_CAPTIONOKBTN});
    device_->Notify();
    sim::Counts first = device_->CountsOf(vesk_);
    size_t log_before = device_->Log().size();
    for (int i = 0; i < 1000; ++i) device_->Notify();
    sim::Counts after = device_->CountsOf(vesk_);
    EXPECT_EQ(after.gdi, first.gdi);
    EXPECT_EQ(after.heap, first.heap);
    EXPECT_TRUE(testing_support::LogLines(*device_, "delete-selected", log_before).empty());
}

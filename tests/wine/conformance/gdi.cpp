// Which pixels the platform paints for the shapes of vesk's button face:
// bounding boxes whose right and bottom edges stay unpainted, null pens that
// draw no outline, and polylines that leave their last point unpainted.
#include "check.h"

namespace {

using Rows = std::vector<std::string>;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPen = RGB(200, 0, 0);
constexpr COLORREF kBrush = RGB(0, 0, 160);
const std::vector<conf::Legend> kLegend = {{kWhite, '.'}, {kPen, 'o'}, {kBrush, '#'}};

// A window to draw on, cleared to white, with a pen and a brush selected
// for the duration of a check.
class Canvas {
public:
    explicit Canvas(bool null_pen) : window_(20, 60, 64, 48) {
        dc_ = GetDC(window_);
        RECT all{0, 0, 64, 48};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        pen_ = null_pen ? CreatePen(PS_NULL, 1, 0) : CreatePen(PS_SOLID, 1, kPen);
        brush_ = CreateSolidBrush(kBrush);
        old_pen_ = SelectObject(dc_, pen_);
        old_brush_ = SelectObject(dc_, brush_);
    }
    ~Canvas() {
        SelectObject(dc_, old_pen_);
        SelectObject(dc_, old_brush_);
        DeleteObject(pen_);
        DeleteObject(brush_);
        ReleaseDC(window_, dc_);
    }
    HDC dc() const { return dc_; }
    Rows Picture(int x, int y, int cx, int cy) const { return conf::Picture(dc_, x, y, cx, cy, kLegend); }

private:
    conf::TestWindow window_;
    HDC dc_ = nullptr;
    HPEN pen_ = nullptr;
    HBRUSH brush_ = nullptr;
    HGDIOBJ old_pen_ = nullptr;
    HGDIOBJ old_brush_ = nullptr;
};

}  // namespace

// The outline that a pen would draw on the box's last column and row is left
// out with the pen: the fill stops one pixel short of both. (Whichever way
// round the corners are given.)
CHECK(Gdi, NullPenRectangleFillsItsBoxLessTheRightAndBottomEdges) {
    Canvas canvas(true);
    CHECK_TRUE(Rectangle(canvas.dc(), 1, 1, 5, 4));
    CHECK_TRUE(Rectangle(canvas.dc(), 11, 4, 7, 1));
    CHECK_EQ(canvas.Picture(0, 0, 12, 5), (Rows{
                                              "............",
                                              ".###...###..",
                                              ".###...###..",
                                              "............",
                                              "............",
                                          }));
}

CHECK(Gdi, RectangleWithAPenOutlinesInsideItsBox) {
    Canvas canvas(false);
    CHECK_TRUE(Rectangle(canvas.dc(), 1, 1, 7, 6));
    CHECK_EQ(canvas.Picture(0, 0, 8, 7), (Rows{
                                             "........",
                                             ".oooooo.",
                                             ".o####o.",
                                             ".o####o.",
                                             ".o####o.",
                                             ".oooooo.",
                                             "........",
                                         }));
}

// The dot of the standard layout at 96 dpi: a box 7 pixels wide.
CHECK(Gdi, NullPenEllipseOfSevenPixels) {
    Canvas canvas(true);
    CHECK_TRUE(Ellipse(canvas.dc(), 3, 9, 10, 16));
    CHECK_EQ(canvas.Picture(2, 8, 9, 9), (Rows{
                                             ".........",
                                             "...###...",
                                             "..#####..",
                                             ".#######.",
                                             ".#######.",
                                             ".#######.",
                                             "..#####..",
                                             "...###...",
                                             ".........",
                                         }));
}

// The dot of the compact layout at 96 dpi: a box 8 pixels wide.
CHECK(Gdi, NullPenEllipseOfEightPixels) {
    Canvas canvas(true);
    CHECK_TRUE(Ellipse(canvas.dc(), 1, 9, 9, 17));
    CHECK_EQ(canvas.Picture(0, 8, 10, 10), (Rows{
                                              "..........",
                                              "...####...",
                                              "..######..",
                                              ".########.",
                                              ".########.",
                                              ".########.",
                                              ".########.",
                                              "..######..",
                                              "...####...",
                                              "..........",
                                          }));
}

// The disc of the standard layout at 96 dpi.
CHECK(Gdi, NullPenEllipseOfSixteenPixels) {
    Canvas canvas(true);
    CHECK_TRUE(Ellipse(canvas.dc(), 11, 5, 27, 21));
    CHECK_EQ(canvas.Picture(10, 4, 18, 18), (Rows{
                                                "..................",
                                                "......######......",
                                                ".....########.....",
                                                "...############...",
                                                "...############...",
                                                "..##############..",
                                                ".################.",
                                                ".################.",
                                                ".################.",
                                                ".################.",
                                                ".################.",
                                                ".################.",
                                                "..##############..",
                                                "...############...",
                                                "...############...",
                                                ".....########.....",
                                                "......######......",
                                                "..................",
                                            }));
}

// The disc of the compact layout at 96 dpi.
CHECK(Gdi, NullPenEllipseOfSeventeenPixels) {
    Canvas canvas(true);
    CHECK_TRUE(Ellipse(canvas.dc(), 10, 5, 27, 22));
    CHECK_EQ(canvas.Picture(9, 4, 19, 19), (Rows{
                                               "...................",
                                               ".......#####.......",
                                               ".....#########.....",
                                               "....###########....",
                                               "...#############...",
                                               "..###############..",
                                               "..###############..",
                                               ".#################.",
                                               ".#################.",
                                               ".#################.",
                                               ".#################.",
                                               ".#################.",
                                               "..###############..",
                                               "..###############..",
                                               "...#############...",
                                               "....###########....",
                                               ".....#########.....",
                                               ".......#####.......",
                                               "...................",
                                           }));
}

// A box much taller than wide: the curve reaches the vertical axis before
// the end rows, which stay empty; a box two pixels wide is a rectangle.
CHECK(Gdi, NullPenEllipsesOfNarrowBoxes) {
    Canvas canvas(true);
    CHECK_TRUE(Ellipse(canvas.dc(), 1, 1, 4, 11));
    CHECK_TRUE(Ellipse(canvas.dc(), 6, 1, 8, 5));
    CHECK_EQ(canvas.Picture(0, 0, 9, 12), (Rows{
                                              ".........",
                                              "......#..",
                                              "..#...#..",
                                              ".###..#..",
                                              ".###.....",
                                              ".###.....",
                                              ".###.....",
                                              ".###.....",
                                              ".###.....",
                                              "..#......",
                                              ".........",
                                              ".........",
                                          }));
}

CHECK(Gdi, PolylineLeavesItsLastPointUnpainted) {
    Canvas canvas(false);
    POINT diagonal[] = {{1, 1}, {6, 6}};
    CHECK_TRUE(Polyline(canvas.dc(), diagonal, 2));
    POINT corner[] = {{9, 1}, {13, 1}, {13, 4}};
    CHECK_TRUE(Polyline(canvas.dc(), corner, 3));
    CHECK_EQ(canvas.Picture(0, 0, 15, 7), (Rows{
                                              "...............",
                                              ".o.......ooooo.",
                                              "..o..........o.",
                                              "...o.........o.",
                                              "....o..........",
                                              ".....o.........",
                                              "...............",
                                          }));
}

// The cross of vesk's button at 96 dpi: two diagonals and one line on each
// side of each, every end point one pixel beyond the last pixel painted.
CHECK(Gdi, ButtonCrossOfPolylines) {
    Canvas canvas(false);
    const int l = 15, t = 9, r = 22, b = 16;
    const POINT lines[][2] = {
        {{l, t}, {r + 1, b + 1}}, {{r, t}, {l - 1, b + 1}},     {{l, t + 1}, {r, b + 1}},
        {{l + 1, t}, {r + 1, b}}, {{r - 1, t}, {l - 1, b}},     {{r, t + 1}, {l, b + 1}},
    };
    for (const auto& line : lines) Polyline(canvas.dc(), line, 2);
    CHECK_EQ(canvas.Picture(l - 1, t - 1, 10, 10), (Rows{
                                                       "..........",
                                                       ".oo....oo.",
                                                       ".ooo..ooo.",
                                                       "..oooooo..",
                                                       "...oooo...",
                                                       "...oooo...",
                                                       "..oooooo..",
                                                       ".ooo..ooo.",
                                                       ".oo....oo.",
                                                       "..........",
                                                   }));
}

CHECK(Gdi, NullPenDrawsNoLine) {
    Canvas canvas(true);
    POINT line[] = {{0, 0}, {6, 0}};
    CHECK_TRUE(Polyline(canvas.dc(), line, 2));
    CHECK_EQ(canvas.Picture(0, 0, 7, 1), Rows{"......."});
}

// A pen three pixels wide paints three rows along a horizontal line, the
// line's own and one on either side; a pen of width 0 is one pixel wide.
CHECK(Gdi, AWidePenPaintsAsManyRowsAsItIsWide) {
    Canvas canvas(false);
    for (int width : {3, 0}) {
        HPEN pen = CreatePen(PS_SOLID, width, kPen);
        HGDIOBJ old = SelectObject(canvas.dc(), pen);
        POINT line[] = {{2, width ? 3 : 8}, {14, width ? 3 : 8}};
        CHECK_TRUE(Polyline(canvas.dc(), line, 2));
        SelectObject(canvas.dc(), old);
        DeleteObject(pen);
    }
    CHECK_EQ(canvas.Picture(6, 1, 3, 9), (Rows{"...", "ooo", "ooo", "ooo", "...", "...", "...", "ooo", "..."}));
}

// DrawIconEx of no icon fails and paints nothing.
CHECK(Gdi, DrawingNoIconFailsAndPaintsNothing) {
    Canvas canvas(true);
    CHECK_FALSE(DrawIconEx(canvas.dc(), 0, 0, nullptr, 16, 16, 0, nullptr, DI_NORMAL));
    CHECK_EQ(canvas.Picture(0, 0, 16, 16), Rows(16, std::string(16, '.')));
}

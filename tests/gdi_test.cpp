// GDI of the simulated device: what the platform paints for rectangles,
// ellipses and polylines, the device context's state and its stack, object
// lifetimes and the device's capabilities and colours.
#include <gtest/gtest.h>
#include <sim/device.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>


namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kPen = RGB(200, 0, 0);
constexpr COLORREF kBrush = RGB(0, 0, 160);

LOGFONTW SystemFont() {
    LOGFONTW lf{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
    return lf;
}

// Draws on the screen DC, whose pixels are the device's scratch surface.
class ScreenDc : public ::testing::Test {
protected:
    void SetUp() override {
        dc = GetDC(nullptr);
        ASSERT_NE(dc, nullptr);
        Clear();
    }
    void TearDown() override { ReleaseDC(nullptr, dc); }

    void Clear() {
        RECT all{0, 0, 240, 320};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }

    // The pixels of [0, w) x [0, h): '.' white, 'o' the pen, '#' the brush, '?' anything else.
    std::vector<std::string> Picture(int w, int h) {
        std::vector<std::string> rows;
        for (int y = 0; y < h; ++y) {
            std::string row;
            for (int x = 0; x < w; ++x) {
                COLORREF c = GetPixel(dc, x, y);
                row += c == kWhite ? '.' : c == kPen ? 'o' : c == kBrush ? '#' : '?';
            }
            rows.push_back(row);
        }
        return rows;
    }

    // A null-pen shape in the brush colour; the objects are left selected.
    void SelectNullPenAndBrush() {
        pen = CreatePen(PS_NULL, 1, 0);
        brush = CreateSolidBrush(kBrush);
        SelectObject(dc, pen);
        SelectObject(dc, brush);
    }
    void SelectPenAndBrush() {
        pen = CreatePen(PS_SOLID, 1, kPen);
        brush = CreateSolidBrush(kBrush);
        SelectObject(dc, pen);
        SelectObject(dc, brush);
    }

    sim::Device device;
    HDC dc = nullptr;
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
};

using Rows = std::vector<std::string>;

sim::AppConfig App(const std::string& name) {
    sim::AppConfig app;
    app.name = name;
    return app;
}

// ---------------------------------------------------------------------------
// Rectangles

TEST_F(ScreenDc, RectangleOutlinesWithThePenFillsWithTheBrushAndLeavesRightAndBottomEdges) {
    SelectPenAndBrush();
    EXPECT_TRUE(Rectangle(dc, 1, 1, 7, 6));
    EXPECT_EQ(Picture(8, 7), (Rows{
                                 "........",
                                 ".oooooo.",
                                 ".o####o.",
                                 ".o####o.",
                                 ".o####o.",
                                 ".oooooo.",
                                 "........",
                             }));
}

TEST_F(ScreenDc, NullBrushRectangleLeavesTheInteriorAlone) {
    pen = CreatePen(PS_SOLID, 1, kPen);
    SelectObject(dc, pen);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, 0, 0, 4, 4);
    EXPECT_EQ(Picture(5, 5), (Rows{"oooo.", "o..o.", "o..o.", "oooo.", "....."}));
}

TEST_F(ScreenDc, FillRectUsesOnlyTheBrushAndAcceptsASystemColourIndex) {
    SelectPenAndBrush();
    RECT r{1, 1, 4, 3};
    HBRUSH fill = CreateSolidBrush(kBrush);
    EXPECT_NE(FillRect(dc, &r, fill), 0);
    EXPECT_EQ(Picture(5, 4), (Rows{".....", ".###.", ".###.", "....."}));
    DeleteObject(fill);

    RECT s{0, 0, 2, 1};
    FillRect(dc, &s, reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(COLOR_HIGHLIGHT + 1)));
    EXPECT_EQ(GetPixel(dc, 1, 0), GetSysColor(COLOR_HIGHLIGHT));
}

// ---------------------------------------------------------------------------
// Ellipses. The pictures of the null-pen shapes vesk draws are the platform
// conformance checks' (tests/wine/conformance/gdi.cpp), which run here too.

// The discs of the button: symmetric about both axes and the diagonal,
// reaching every edge of the box and never beyond it, every row one run,
// widening towards the middle, with the area of the true disc.
TEST_F(ScreenDc, DiscsAreSymmetricConvexAndFillTheirBoxes) {
    for (int size : {16, 17, 32}) {
        SCOPED_TRACE(size);
        Clear();
        SelectNullPenAndBrush();
        Ellipse(dc, 2, 3, 2 + size, 3 + size);
        Rows rows = Picture(size + 4, size + 5);
        for (int y = 0; y < size + 5; ++y)
            for (int x = 0; x < size + 4; ++x) {
                bool in_box = x >= 2 && x < 2 + size && y >= 3 && y < 3 + size;
                if (!in_box) {
                    EXPECT_EQ(rows[y][x], '.') << x << "," << y;
                }
            }
        auto at = [&](int x, int y) { return rows[3 + y][2 + x] == '#'; };
        int area = 0;
        int previous_width = 0;
        for (int y = 0; y < size; ++y) {
            int first = -1, last = -1, count = 0;
            for (int x = 0; x < size; ++x) {
                EXPECT_EQ(at(x, y), at(size - 1 - x, y));
                EXPECT_EQ(at(x, y), at(x, size - 1 - y));
                EXPECT_EQ(at(x, y), at(y, x));
                if (at(x, y)) {
                    if (first < 0) first = x;
                    last = x;
                    ++count;
                }
            }
            ASSERT_GT(count, 0) << "row " << y;
            EXPECT_EQ(count, last - first + 1) << "row " << y;
            if (y < size / 2) {
                EXPECT_GE(count, previous_width);
            }
            previous_width = count;
            area += count;
        }
        EXPECT_TRUE(at(0, size / 2) && at(size / 2, 0));
        double disc = 3.14159265 * size * size / 4;
        EXPECT_NEAR(area, disc, disc * 0.05);
    }
}

TEST_F(ScreenDc, EllipseWithAPenCoversTheSamePixelsWithItsBorderInThePenColour) {
    SelectNullPenAndBrush();
    Ellipse(dc, 0, 0, 16, 16);
    Rows filled = Picture(17, 17);
    Clear();
    SelectPenAndBrush();
    Ellipse(dc, 0, 0, 16, 16);
    Rows outlined = Picture(17, 17);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 17; ++x) EXPECT_EQ(filled[y][x] == '#', outlined[y][x] != '.') << x << "," << y;
    EXPECT_EQ(outlined[0][7], 'o');
    EXPECT_EQ(outlined[8][0], 'o');
    EXPECT_EQ(outlined[8][15], 'o');
    EXPECT_EQ(outlined[8][8], '#');
    EXPECT_EQ(outlined[1][7], '#');
}

TEST_F(ScreenDc, EmptyEllipseAndRoundRectStayInTheirBoxes) {
    SelectNullPenAndBrush();
    Ellipse(dc, 3, 3, 3, 9);
    EXPECT_EQ(Picture(10, 10), Rows(10, ".........."));
    RoundRect(dc, 0, 0, 10, 8, 4, 4);
    Rows rows = Picture(11, 9);
    EXPECT_EQ(rows[0], ".########..");  // corners cut
    EXPECT_EQ(rows[7], ".########..");
    EXPECT_EQ(rows[4], "##########.");
    EXPECT_EQ(rows[8], "...........");
}

// ---------------------------------------------------------------------------
// Lines

TEST_F(ScreenDc, PolylinePaintsEverythingButItsLastPoint) {
    SelectPenAndBrush();
    POINT diagonal[] = {{15, 9}, {23, 17}};
    EXPECT_TRUE(Polyline(dc, diagonal, 2));
    Rows rows = Picture(26, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 26; ++x) {
            bool expected = x - 15 == y - 9 && x >= 15 && x <= 22;
            EXPECT_EQ(rows[y][x], expected ? 'o' : '.') << x << "," << y;
        }
}

TEST_F(ScreenDc, PolylineCornersArePaintedOnceInEveryDirection) {
    SelectPenAndBrush();
    POINT path[] = {{1, 1}, {5, 1}, {5, 4}, {2, 4}, {2, 2}};
    Polyline(dc, path, 5);
    EXPECT_EQ(Picture(7, 6), (Rows{
                                 ".......",
                                 ".ooooo.",
                                 ".....o.",
                                 "..o..o.",
                                 "..oooo.",
                                 ".......",
                             }));
}

TEST_F(ScreenDc, ShallowAndSteepLinesTakeOnePixelPerStepOfTheMajorAxis) {
    SelectPenAndBrush();
    POINT shallow[] = {{0, 0}, {8, 2}};
    POINT slope[] = {{10, 8}, {12, 0}};
    Polyline(dc, shallow, 2);
    Polyline(dc, slope, 2);
    Rows rows = Picture(13, 9);
    int painted = 0;
    for (const std::string& row : rows)
        for (char c : row) painted += c == 'o';
    EXPECT_EQ(painted, 8 + 8);
    EXPECT_EQ(rows[0][0], 'o');
    EXPECT_EQ(rows[8][10], 'o');
    EXPECT_EQ(rows[0][12], '.');
    EXPECT_EQ(rows[2][8], '.');
    for (int x = 0; x < 8; ++x) {  // one pixel a column, stepping down by one at most
        int ys = 0;
        for (int y = 0; y < 3; ++y) ys += rows[y][x] == 'o';
        EXPECT_EQ(ys, 1) << x;
    }
}

TEST_F(ScreenDc, LineToLeavesItsEndUnpaintedAndMovesTheCurrentPosition) {
    SelectPenAndBrush();
    POINT previous{-1, -1};
    MoveToEx(dc, 1, 1, nullptr);
    EXPECT_TRUE(LineTo(dc, 4, 1));
    EXPECT_TRUE(LineTo(dc, 4, 3));
    EXPECT_TRUE(MoveToEx(dc, 0, 0, &previous));
    EXPECT_EQ(previous.x, 4);
    EXPECT_EQ(previous.y, 3);
    EXPECT_EQ(Picture(6, 4), (Rows{"......", ".oooo.", "....o.", "......"}));
}

TEST_F(ScreenDc, NullPenDrawsNoLines) {
    SelectNullPenAndBrush();
    POINT line[] = {{0, 0}, {5, 0}};
    EXPECT_TRUE(Polyline(dc, line, 2));
    EXPECT_EQ(Picture(6, 1), Rows{"......"});
    EXPECT_FALSE(Polyline(dc, line, 1));
}

// A dashed pen paints 18 pixels and leaves 6, counted from the start of each
// call and carried along a polyline; the gaps take the background colour
// unless the background mode is transparent. Wider than a pixel it is solid;
// the device has no other styles.
TEST_F(ScreenDc, DashedPenPaintsEighteenPixelsOfEveryTwentyFour) {
    const std::string dashed = std::string(18, 'o') + "######" + std::string(6, 'o') + "..";
    struct Case {
        const char* what;
        int width, bk_mode;
        std::vector<POINT> points;  // one polyline; with `lines`, LineTo from the first point
        bool lines;
        std::string row;
    } cases[] = {
        {"one segment", 1, OPAQUE, {{0, 0}, {30, 0}}, false, dashed},
        {"transparent gaps", 0, TRANSPARENT, {{0, 0}, {30, 0}}, false,
         std::string(18, 'o') + "......" + std::string(6, 'o') + ".."},
        {"carried to the next segment", 1, OPAQUE, {{0, 0}, {20, 0}, {30, 0}}, false, dashed},
        {"backwards", 1, OPAQUE, {{29, 0}, {-1, 0}}, false, std::string(6, 'o') + "######" + std::string(18, 'o') + ".."},
        {"each LineTo anew", 1, OPAQUE, {{0, 0}, {20, 0}, {30, 0}}, true, std::string(18, 'o') + "##" + std::string(10, 'o') + ".."},
        {"wide: solid", 2, OPAQUE, {{0, 0}, {30, 0}}, false, std::string(30, 'o') + ".."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Clear();
        pen = CreatePen(PS_DASH, c.width, kPen);
        ASSERT_NE(pen, nullptr);
        HGDIOBJ old = SelectObject(dc, pen);
        SetBkColor(dc, kBrush);
        SetBkMode(dc, c.bk_mode);
        if (c.lines) {
            MoveToEx(dc, c.points[0].x, c.points[0].y, nullptr);
            for (size_t i = 1; i < c.points.size(); ++i) LineTo(dc, c.points[i].x, c.points[i].y);
        } else {
            Polyline(dc, c.points.data(), int(c.points.size()));
        }
        EXPECT_EQ(Picture(32, 1), Rows{c.row});
        LOGPEN lp{};
        GetObjectW(pen, sizeof lp, &lp);
        EXPECT_EQ(lp.lopnStyle, UINT(c.width > 1 ? PS_SOLID : PS_DASH));
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    // A diagonal counts its steps too: its 19th to 24th pixels are gaps.
    Clear();
    pen = CreatePen(PS_DASH, 1, kPen);
    SelectObject(dc, pen);
    SetBkMode(dc, TRANSPARENT);
    POINT diagonal[] = {{0, 0}, {26, 26}};
    Polyline(dc, diagonal, 2);
    for (int i = 0; i < 26; ++i) EXPECT_EQ(GetPixel(dc, i, i), i % 24 < 18 ? kPen : kWhite) << i;
    SelectObject(dc, GetStockObject(BLACK_PEN));
    DeleteObject(pen);
    const int kDotted = 2;  // a style of desktop pens
    EXPECT_EQ(CreatePen(kDotted, 1, kPen), nullptr);
    LOGPEN dotted{UINT(kDotted), {1, 0}, kPen};
    EXPECT_EQ(CreatePenIndirect(&dotted), nullptr);
}

TEST_F(ScreenDc, DrawingIsClippedToTheSurfaceEvenForShapesOfExtremeCoordinates) {
    SelectPenAndBrush();
    Ellipse(dc, -100000, -100000, 100000, 100000);
    EXPECT_EQ(GetPixel(dc, 239, 319), kBrush);  // the screen lies deep inside it
    Ellipse(dc, -2000000000, -2000000000, 2000000000, 2000000000);
    POINT line[] = {{-2000000000, 5}, {2000000000, 5}};
    Polyline(dc, line, 2);
    Rectangle(dc, -2000000000, 10, 2000000000, 12);
    POINT diagonal[] = {{-2000000000, -2000000000}, {2000000000, 2000000000}};
    Polyline(dc, diagonal, 2);
    EXPECT_EQ(GetPixel(dc, 100, 100), kPen);
    EXPECT_EQ(GetPixel(dc, 101, 100), kBrush);
    // Slope 3/4, where i * 3e9 passes 64 bits: at x = 102 the exact 76.5 rounds away from the start.
    POINT slope[] = {{-2000000000, -1500000000}, {2000000000, 1500000000}};
    Polyline(dc, slope, 2);
    EXPECT_EQ(GetPixel(dc, 100, 75), kPen);
    EXPECT_EQ(GetPixel(dc, 102, 77), kPen);
    EXPECT_EQ(GetPixel(dc, 102, 76), kBrush);
    EXPECT_EQ(GetPixel(dc, 0, 5), kPen);
    EXPECT_EQ(GetPixel(dc, 239, 5), kPen);
    EXPECT_EQ(GetPixel(dc, -1, 5), CLR_INVALID);
    EXPECT_EQ(SetPixel(dc, 240, 0, kPen), CLR_INVALID);
}

TEST_F(ScreenDc, DrawFocusRectTwiceRestoresThePixels) {
    RECT r{1, 1, 9, 6};
    Rows before = Picture(10, 7);
    DrawFocusRect(dc, &r);
    Rows dotted = Picture(10, 7);
    EXPECT_NE(dotted, before);
    EXPECT_EQ(dotted[3][4], '.');  // inside is untouched
    DrawFocusRect(dc, &r);
    EXPECT_EQ(Picture(10, 7), before);
}

// ---------------------------------------------------------------------------
// Device context state

TEST_F(ScreenDc, NewContextHasThePlatformDefaults) {
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkColor(dc), kWhite);
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
}

TEST_F(ScreenDc, SelectObjectReturnsThePreviousObjectOfTheSameKind) {
    HPEN red = CreatePen(PS_SOLID, 1, kPen);
    HBRUSH blue = CreateSolidBrush(kBrush);
    EXPECT_EQ(SelectObject(dc, red), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, blue), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), red);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), blue);
    // Neither a stale handle nor a non-GDI one changes the selection.
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(0x7770)), nullptr);
    EXPECT_EQ(SelectObject(dc, dc), nullptr);
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(NULL_PEN));
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_TRUE(DeleteObject(blue));
}

TEST_F(ScreenDc, RestoreDcPutsBackObjectsColoursAndMode) {
    HPEN red = CreatePen(PS_SOLID, 1, kPen);
    HBRUSH blue = CreateSolidBrush(kBrush);
    LOGFONTW lf = SystemFont();
    lf.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectW(&lf);
    int saved = SaveDC(dc);
    EXPECT_EQ(saved, 1);
    SelectObject(dc, red);
    SelectObject(dc, blue);
    SelectObject(dc, bold);
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    SetBkMode(dc, TRANSPARENT);
    EXPECT_TRUE(RestoreDC(dc, saved));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PEN), GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    EXPECT_EQ(GetBkColor(dc), kWhite);
    EXPECT_EQ(GetBkMode(dc), OPAQUE);
    EXPECT_FALSE(RestoreDC(dc, saved));  // that level is gone
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_TRUE(DeleteObject(blue));
    EXPECT_TRUE(DeleteObject(bold));
}

TEST_F(ScreenDc, RestoreDcCountsBackFromTheTopOrRestoresANumberedLevel) {
    SetTextColor(dc, RGB(1, 0, 0));
    EXPECT_EQ(SaveDC(dc), 1);
    SetTextColor(dc, RGB(2, 0, 0));
    EXPECT_EQ(SaveDC(dc), 2);
    SetTextColor(dc, RGB(3, 0, 0));
    EXPECT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ(GetTextColor(dc), RGB(2, 0, 0));
    EXPECT_TRUE(RestoreDC(dc, -1));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 0, 0));
    EXPECT_FALSE(RestoreDC(dc, -1));

    SaveDC(dc);
    SetTextColor(dc, RGB(5, 0, 0));
    SaveDC(dc);
    SaveDC(dc);
    EXPECT_FALSE(RestoreDC(dc, 0));
    EXPECT_FALSE(RestoreDC(dc, 4));
    EXPECT_FALSE(RestoreDC(dc, -4));
    EXPECT_TRUE(RestoreDC(dc, 1));  // drops levels 2 and 3 with it
    EXPECT_EQ(GetTextColor(dc), RGB(1, 0, 0));
    EXPECT_FALSE(RestoreDC(dc, 2));
    EXPECT_EQ(SaveDC(dc), 1);
}

TEST_F(ScreenDc, ModeAndColourSettersAnswerThePreviousValue) {
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, 7), 0);
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, RGB(9, 9, 9)), RGB(0, 0, 0));
    EXPECT_EQ(SetBkColor(dc, RGB(8, 8, 8)), kWhite);
    HDC bogus = reinterpret_cast<HDC>(0x7770);
    EXPECT_EQ(SetTextColor(bogus, 0), CLR_INVALID);
    EXPECT_EQ(GetBkMode(bogus), 0);
    EXPECT_EQ(SaveDC(bogus), 0);
}

// ---------------------------------------------------------------------------
// Object lifetimes

TEST_F(ScreenDc, DeletingASelectedObjectFailsAndIsRecordedUntilItIsDeselected) {
    HBRUSH blue = CreateSolidBrush(kBrush);
    int saved = SaveDC(dc);
    SelectObject(dc, blue);
    EXPECT_FALSE(DeleteObject(blue));
    auto failures = [&] {
        std::vector<std::string> lines;
        for (const std::string& line : device.Log())
            if (line.find("gdi delete-selected") != std::string::npos) lines.push_back(line);
        return lines;
    };
    ASSERT_EQ(failures().size(), 1u);
    char handle[32];
    std::snprintf(handle, sizeof handle, "handle=0x%llx", static_cast<unsigned long long>(uintptr_t(blue)));
    EXPECT_NE(failures()[0].find(handle), std::string::npos) << failures()[0];

    EXPECT_EQ(GetObjectType(blue), DWORD(OBJ_BRUSH));  // still alive and still painting
    RestoreDC(dc, saved);
    EXPECT_TRUE(DeleteObject(blue));
    EXPECT_EQ(GetObjectType(blue), 0u);
    EXPECT_FALSE(DeleteObject(blue));
    EXPECT_EQ(failures().size(), 1u);
}

TEST_F(ScreenDc, StockObjectsSurviveDeleteObject) {
    for (int i : {WHITE_BRUSH, NULL_BRUSH, BLACK_PEN, NULL_PEN, SYSTEM_FONT}) {
        HGDIOBJ stock = GetStockObject(i);
        EXPECT_TRUE(DeleteObject(stock));
        EXPECT_NE(GetObjectType(stock), 0u);
        EXPECT_EQ(GetStockObject(i), stock);
    }
    HBRUSH sys = GetSysColorBrush(COLOR_HIGHLIGHT);
    EXPECT_EQ(sys, GetSysColorBrush(COLOR_HIGHLIGHT & ~SYS_COLOR_INDEX_FLAG));
    EXPECT_TRUE(DeleteObject(sys));
    LOGBRUSH lb{};
    EXPECT_EQ(GetObjectW(sys, sizeof lb, &lb), int(sizeof lb));
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_HIGHLIGHT));
}

TEST_F(ScreenDc, ContextOfADestroyedWindowDrawsNothingAndStillReleases) {
    HWND app = device.Launch(App("notes"));
    ASSERT_NE(app, nullptr);
    HDC window_dc = GetDC(app);
    ASSERT_NE(window_dc, nullptr);
    SelectObject(window_dc, GetStockObject(BLACK_BRUSH));
    Rectangle(window_dc, 0, 0, 4, 4);
    EXPECT_EQ(device.Pixels(app).At(1, 1), RGB(0, 0, 0));  // client coordinates

    device.Destroy(app);
    RECT r{0, 0, 50, 20};
    POINT line[] = {{0, 0}, {9, 9}};
    Rectangle(window_dc, 0, 0, 10, 10);
    Ellipse(window_dc, 0, 0, 10, 10);
    Polyline(window_dc, line, 2);
    FillRect(window_dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DrawTextW(window_dc, u"gone", -1, &r, DT_SINGLELINE);
    EXPECT_EQ(GetPixel(window_dc, 1, 1), CLR_INVALID);
    EXPECT_EQ(ReleaseDC(app, window_dc), 1);
}

TEST(GdiCounts, ObjectsCountForTheProcessThatMadeThemUntilDeleted) {
    sim::Device device;
    sim::ProgramImage image;
    image.exe_path = u"\\Windows\\painter.exe";
    image.entry = [&device](HINSTANCE) {
        const DWORD pid = GetCurrentProcessId();
        const long before = device.CountsOf(pid).gdi;
        LOGFONTW lf = SystemFont();
        HPEN pen = CreatePen(PS_SOLID, 1, 0);
        HBRUSH brush = CreateSolidBrush(0);
        HFONT font = CreateFontIndirectW(&lf);
        HDC dc = GetDC(nullptr);
        GetStockObject(BLACK_BRUSH);
        GetSysColorBrush(COLOR_MENU);
        EXPECT_EQ(device.CountsOf(pid).gdi, before + 4);
        ReleaseDC(nullptr, dc);
        DeleteObject(pen);
        DeleteObject(brush);
        DeleteObject(font);
        EXPECT_EQ(device.CountsOf(pid).gdi, before);
        return 0;
    };
    DWORD pid = device.Start(image);
    EXPECT_EQ(device.ExitCode(pid), 0);
    EXPECT_EQ(device.Reclaimed(pid).gdi, 0);  // nothing was left for the platform to take back
}

// ---------------------------------------------------------------------------
// Logical objects, device capabilities, system colours

TEST_F(ScreenDc, GetObjectCopiesTheLogicalObjectAndAnswersTheBytesCopied) {
    HPEN red = CreatePen(PS_SOLID, 1, kPen);
    LOGPEN lp{};
    EXPECT_EQ(GetObjectW(red, sizeof lp, &lp), int(sizeof lp));
    EXPECT_EQ(lp.lopnStyle, UINT(PS_SOLID));
    EXPECT_EQ(lp.lopnWidth.x, 1);
    EXPECT_EQ(lp.lopnColor, kPen);
    EXPECT_EQ(GetObjectW(red, 0, nullptr), int(sizeof(LOGPEN)));
    EXPECT_EQ(GetObjectW(reinterpret_cast<HGDIOBJ>(0x7770), sizeof lp, &lp), 0);
    DeleteObject(red);

    LOGFONTW lf{};
    EXPECT_EQ(GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf), int(sizeof lf));
    EXPECT_EQ(lf.lfHeight, -12);
    EXPECT_EQ(lf.lfWeight, FW_NORMAL);
    EXPECT_EQ(sim::WString(lf.lfFaceName), u"Tahoma");

    lf.lfHeight = -11;
    lf.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectW(&lf);
    LOGFONTW back{};
    EXPECT_EQ(GetObjectW(bold, 8, &back), 8);  // a short buffer takes the leading fields
    EXPECT_EQ(back.lfHeight, -11);
    EXPECT_EQ(back.lfWeight, 0);
    DeleteObject(bold);
}

// The system font is 12 units of the vertical resolution high; on a screen
// whose resolutions differ, text is as wide as at the horizontal one.
TEST(GdiDevice, CapabilitiesAndSystemFontFollowTheDevice) {
    struct Case {
        int dpi, dpi_y, height;
    } cases[] = {{96, 0, -12}, {192, 0, -24}, {96, 192, -24}, {192, 96, -12}};
    int ave[2] = {0, 0};  // tmAveCharWidth at 96 and at 192 dpi
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.dpi) + "x" + std::to_string(c.dpi_y));
        sim::Device device({.width = 480, .height = 640, .dpi = c.dpi, .dpi_y = c.dpi_y});
        HDC dc = GetDC(nullptr);
        EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), c.dpi);
        EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), c.dpi_y ? c.dpi_y : c.dpi);
        EXPECT_EQ(GetDeviceCaps(dc, HORZRES), 480);
        EXPECT_EQ(GetDeviceCaps(dc, VERTRES), 640);
        EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 16);
        EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
        EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSX), 0);
        LOGFONTW lf{};
        GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
        EXPECT_EQ(lf.lfHeight, c.height);
        TEXTMETRICW tm{};
        ASSERT_TRUE(GetTextMetricsW(dc, &tm));
        EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -c.height);
        int& same_width = ave[c.dpi == 192];
        if (same_width == 0) same_width = tm.tmAveCharWidth;
        EXPECT_EQ(tm.tmAveCharWidth, same_width);
        ReleaseDC(nullptr, dc);
    }
    EXPECT_GT(ave[1], ave[0]);
}

TEST(GdiDevice, SystemColoursAreThePocketPcSchemeWithOrWithoutTheIndexFlag) {
    sim::Device device;
    struct Expected {
        int index;
        COLORREF colour;
    };
    for (Expected e : {Expected{COLOR_MENU, RGB(255, 255, 255)}, Expected{COLOR_MENUTEXT, RGB(0, 0, 0)},
                       Expected{COLOR_WINDOW, RGB(255, 255, 255)}, Expected{COLOR_WINDOWTEXT, RGB(0, 0, 0)},
                       Expected{COLOR_HIGHLIGHT, RGB(0, 0, 128)}, Expected{COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)},
                       Expected{COLOR_GRAYTEXT, RGB(128, 128, 128)}, Expected{COLOR_BTNFACE, RGB(192, 192, 192)}}) {
        SCOPED_TRACE(e.index);
        EXPECT_EQ(GetSysColor(e.index), e.colour);
        EXPECT_EQ(GetSysColor(e.index & ~SYS_COLOR_INDEX_FLAG), e.colour);
    }
    EXPECT_EQ(GetSysColor(SYS_COLOR_INDEX_FLAG | 200), 0u);
}

}  // namespace

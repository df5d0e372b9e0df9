// DrawTextW: measuring with DT_CALCRECT draws nothing and agrees with what
// drawing the same text paints.
#include "check.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

class TextCanvas {
public:
    TextCanvas() : window_(20, 60, 120, 40) {
        dc_ = GetDC(window_);
        RECT all{0, 0, 120, 40};
        FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        LOGFONTW lf;
        memset(&lf, 0, sizeof(lf));
        lf.lfHeight = -11;
        lf.lfWeight = FW_BOLD;
        wcscpy(lf.lfFaceName, TEXT("Tahoma"));
        font_ = CreateFontIndirectW(&lf);
        old_font_ = SelectObject(dc_, font_);
        SetTextColor(dc_, RGB(0, 0, 0));
        SetBkMode(dc_, TRANSPARENT);
    }
    ~TextCanvas() {
        SelectObject(dc_, old_font_);
        DeleteObject(font_);
        ReleaseDC(window_, dc_);
    }
    HDC dc() const { return dc_; }

    // The bounding box of the pixels that are not white, or an empty box.
    RECT Ink() const {
        RECT ink{0, 0, 0, 0};
        bool any = false;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 120; ++x) {
                if (GetPixel(dc_, x, y) == kWhite) continue;
                if (!any) ink = RECT{x, y, x + 1, y + 1};
                any = true;
                if (x < ink.left) ink.left = x;
                if (y < ink.top) ink.top = y;
                if (x + 1 > ink.right) ink.right = x + 1;
                if (y + 1 > ink.bottom) ink.bottom = y + 1;
            }
        return ink;
    }

private:
    conf::TestWindow window_;
    HDC dc_ = nullptr;
    HFONT font_ = nullptr;
    HGDIOBJ old_font_ = nullptr;
};

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

}  // namespace

CHECK(Text, CalcRectMeasuresAndDrawsNothing) {
    TextCanvas canvas;
    RECT rc{5, 7, 5, 7};
    int height = DrawTextW(canvas.dc(), TEXT("Calendar"), 8, &rc, DT_CALCRECT);
    CHECK_TRUE(height > 0);
    CHECK_EQ(rc.left, 5);
    CHECK_EQ(rc.top, 7);
    CHECK_EQ(rc.bottom - rc.top, height);
    CHECK_TRUE(rc.right - rc.left > 20);
    CHECK_EQ(canvas.Ink(), (RECT{0, 0, 0, 0}));
}

CHECK(Text, DrawingStaysInsideTheMeasuredBox) {
    TextCanvas canvas;
    RECT measured{10, 8, 10, 8};
    int measured_height = DrawTextW(canvas.dc(), TEXT("Tasks"), 5, &measured, DT_CALCRECT | DT_SINGLELINE);
    RECT box{10, 8, 110, 38};
    int drawn_height = DrawTextW(canvas.dc(), TEXT("Tasks"), 5, &box, DT_SINGLELINE);
    CHECK_EQ(drawn_height, measured_height);
    // Drawing leaves the caller's rectangle as it was.
    CHECK_EQ(box, (RECT{10, 8, 110, 38}));
    RECT ink = canvas.Ink();
    CHECK_TRUE(ink.right > ink.left);
    CHECK_TRUE(Inside(ink, measured));
    // The ink reaches most of the measured width.
    CHECK_TRUE(ink.right - ink.left >= (measured.right - measured.left) - 3);
}

CHECK(Text, MeasuringGrowsWithTheText) {
    TextCanvas canvas;
    RECT one{0, 0, 0, 0};
    RECT two{0, 0, 0, 0};
    DrawTextW(canvas.dc(), TEXT("Inbox"), 5, &one, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(canvas.dc(), TEXT("Inbox..."), 8, &two, DT_CALCRECT | DT_SINGLELINE);
    CHECK_TRUE(two.right > one.right);
    CHECK_EQ(two.bottom, one.bottom);
    // Only the given number of characters counts.
    RECT cut{0, 0, 0, 0};
    DrawTextW(canvas.dc(), TEXT("Inbox..."), 5, &cut, DT_CALCRECT | DT_SINGLELINE);
    CHECK_EQ(cut, one);
}

CHECK(Text, EmptyTextMeasuresNoWidth) {
    TextCanvas canvas;
    RECT rc{3, 4, 3, 4};
    DrawTextW(canvas.dc(), TEXT(""), 0, &rc, DT_CALCRECT | DT_SINGLELINE);
    CHECK_EQ(rc.left, 3);
    CHECK_EQ(rc.right, 3);
}

CHECK(Text, CentredSingleLineSitsInTheMiddleOfItsBox) {
    TextCanvas canvas;
    RECT box{20, 5, 60, 35};
    DrawTextW(canvas.dc(), TEXT("ok"), 2, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RECT ink = canvas.Ink();
    REQUIRE(ink.right > ink.left);
    // Equal margins on either side, give or take the glyphs' own side bearings.
    int left = ink.left - box.left;
    int right = box.right - ink.right;
    int top = ink.top - box.top;
    int bottom = box.bottom - ink.bottom;
    CHECK_TRUE(left - right <= 2 && right - left <= 2);
    CHECK_TRUE(top - bottom <= 3 && bottom - top <= 3);
}

CHECK(Text, MeasuringAgreesWithTheTextExtentAndTheFontHeight) {
    TextCanvas canvas;
    TEXTMETRICW tm;
    REQUIRE(GetTextMetricsW(canvas.dc(), &tm));
    for (const WCHAR* text : {TEXT("Desktop"), TEXT("Close All Tasks"), TEXT("...")}) {
        int n = static_cast<int>(wcslen(text));
        RECT rc{0, 0, 0, 0};
        int height = DrawTextW(canvas.dc(), text, n, &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
        SIZE size{0, 0};
        CHECK_TRUE(GetTextExtentPoint32W(canvas.dc(), text, n, &size));
        CHECK_EQ(rc.right, size.cx);
        CHECK_EQ(height, tm.tmHeight);
        CHECK_EQ(size.cy, tm.tmHeight);
    }
}

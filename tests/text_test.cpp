// Text on the simulated device: the system font's metrics, DrawTextW's
// measuring, alignment, background modes and mnemonic prefixes, and the cost
// of measuring very long strings.
#include <gtest/gtest.h>
#include <sim/device.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>


namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(0, 0, 0);
constexpr COLORREF kPaper = RGB(200, 30, 30);

struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; right < left when empty
    bool empty() const { return right < left; }
};

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        dc = GetDC(nullptr);
        ASSERT_NE(dc, nullptr);
        Paper(kWhite);
    }
    void TearDown() override {
        RestoreDC(dc, 1);
        for (HFONT f : fonts) DeleteObject(f);
        ReleaseDC(nullptr, dc);
    }

    void Paper(COLORREF colour) {
        HBRUSH brush = CreateSolidBrush(colour);
        RECT all{0, 0, 240, 320};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }

    // Selects Tahoma of this height and weight; the DC's own state comes back at TearDown.
    void UseFont(LONG height, LONG weight) {
        if (SaveDCOnce()) SaveDC(dc);
        LOGFONTW lf{};
        GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
        lf.lfHeight = height;
        lf.lfWeight = weight;
        fonts.push_back(CreateFontIndirectW(&lf));
        SelectObject(dc, fonts.back());
    }
    bool SaveDCOnce() { return std::exchange(saved, true) == false; }

    int Width(const WCHAR* s) {
        SIZE size{};
        GetTextExtentPoint32W(dc, s, int(wcslen(s)), &size);
        return size.cx;
    }

    // The bounding box of the pixels of this colour within r.
    Box Ink(const RECT& r, COLORREF colour = kInk) {
        Box b{r.right, r.bottom, r.left - 1, r.top - 1};
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (GetPixel(dc, x, y) == colour) {
                    b.left = std::min(b.left, x);
                    b.right = std::max(b.right, x);
                    b.top = std::min(b.top, y);
                    b.bottom = std::max(b.bottom, y);
                }
        if (b.right < b.left) return Box{};
        return b;
    }

    int Count(const RECT& r, COLORREF colour) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += GetPixel(dc, x, y) == colour;
        return n;
    }

    std::string Pixels(const RECT& r) {
        std::string s;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) s += GetPixel(dc, x, y) == kInk ? '#' : '.';
        return s;
    }

    sim::Device device;
    HDC dc = nullptr;
    bool saved = false;
    std::vector<HFONT> fonts;
};

TEST_F(TextTest, SystemFontIsTahomaWithATwelvePixelEmAt96Dpi) {
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 12);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    EXPECT_EQ(tm.tmWeight, FW_NORMAL);
    EXPECT_GT(tm.tmDescent, 0);
    EXPECT_GT(tm.tmAveCharWidth, 0);
}

TEST_F(TextTest, NegativeHeightIsTheEmAndPositiveHeightTheCell) {
    UseFont(-20, FW_NORMAL);
    TEXTMETRICW em20{};
    GetTextMetricsW(dc, &em20);
    EXPECT_EQ(em20.tmHeight - em20.tmInternalLeading, 20);
    int width = Width(u"Calendar");

    UseFont(em20.tmHeight, FW_NORMAL);  // the same font asked for by its cell height
    TEXTMETRICW cell{};
    GetTextMetricsW(dc, &cell);
    EXPECT_EQ(cell.tmHeight, em20.tmHeight);
    EXPECT_EQ(cell.tmHeight - cell.tmInternalLeading, 20);
    EXPECT_EQ(Width(u"Calendar"), width);

    UseFont(0, FW_NORMAL);  // the default height: the system font's
    TEXTMETRICW fallback{};
    GetTextMetricsW(dc, &fallback);
    EXPECT_EQ(fallback.tmHeight - fallback.tmInternalLeading, 12);
}

TEST_F(TextTest, BoldIsTheHeavierFaceAndWiderThanRegular) {
    UseFont(-10, FW_NORMAL);
    int regular = Width(u"ok");
    UseFont(-10, FW_SEMIBOLD);
    int bold = Width(u"ok");
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    EXPECT_GT(bold, regular);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 10);
    // A width is the sum of whole-pixel advances: nothing is kerned.
    EXPECT_EQ(bold, Width(u"o") + Width(u"k"));
    EXPECT_EQ(Width(u"AVAV"), 2 * Width(u"AV"));
}

TEST_F(TextTest, CalcRectMeasuresWithoutDrawing) {
    UseFont(-11, FW_BOLD);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT r{5, 7, 5, 7};
    int height = DrawTextW(dc, u"Calendar", -1, &r, DT_CALCRECT);
    EXPECT_EQ(height, tm.tmHeight);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 7);
    EXPECT_EQ(r.right, 5 + Width(u"Calendar"));
    EXPECT_EQ(r.bottom, 7 + tm.tmHeight);
    EXPECT_EQ(Count(RECT{0, 0, 240, 40}, kWhite), 240 * 40);

    // A count limits the text; -1 runs to the terminator.
    RECT part{0, 0, 0, 0};
    DrawTextW(dc, u"Calendar", 3, &part, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(part.right, Width(u"Cal"));
    RECT empty{0, 0, 0, 0};
    EXPECT_EQ(DrawTextW(dc, u"", 0, &empty, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
    EXPECT_EQ(empty.right, 0);
}

TEST_F(TextTest, LineBreaksMakeLinesUnlessSingleLine) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT r{0, 0, 0, 0};
    EXPECT_EQ(DrawTextW(dc, u"Tasks\r\nContacts\nInbox", -1, &r, DT_CALCRECT), 3 * tm.tmHeight);
    EXPECT_EQ(r.right, Width(u"Contacts"));
    RECT single{0, 0, 0, 0};
    EXPECT_EQ(DrawTextW(dc, u"Tasks\nInbox", -1, &single, DT_CALCRECT | DT_SINGLELINE), tm.tmHeight);
}

// The "ok" of the button: bold, 10 units, centred in its box, on a disc.
TEST_F(TextTest, CentredSingleLineTextHasItsInkInTheMiddleOfTheBox) {
    UseFont(-10, FW_BOLD);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SetBkMode(dc, TRANSPARENT);
    RECT box{10, 5, 26, 20};
    int result = DrawTextW(dc, u"ok", 2, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    Box ink = Ink(RECT{0, 0, 40, 30});
    ASSERT_FALSE(ink.empty());
    EXPECT_LE(std::abs((ink.left - box.left) - (box.right - 1 - ink.right)), 2);
    // The cell is centred; its descent is empty for "ok", so the ink sits up to a descent high.
    int above = ink.top - box.top, below = box.bottom - 1 - ink.bottom;
    EXPECT_GE(above, 0);
    EXPECT_GE(below, above);
    EXPECT_LE(below - above, tm.tmDescent + tm.tmInternalLeading + 1);
    // With DT_VCENTER the answer is how far the text's bottom lies below the box's top.
    int top = box.top + (box.bottom - box.top) / 2 - tm.tmHeight / 2;
    EXPECT_EQ(result, top + tm.tmHeight - box.top);
}

TEST_F(TextTest, AlignmentMovesTheSameInk) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    const int h = tm.tmHeight;
    RECT box{20, 10, 120, 30};
    int w = Width(u"Inbox");
    DrawTextW(dc, u"Inbox", -1, &box, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    std::string right = Pixels(RECT{0, 0, 240, 40});
    Paper(kWhite);
    RECT placed{120 - w, 30 - h, 240, 60};
    DrawTextW(dc, u"Inbox", -1, &placed, DT_SINGLELINE);
    EXPECT_EQ(Pixels(RECT{0, 0, 240, 40}), right);
    EXPECT_NE(right.find('#'), std::string::npos);
}

TEST_F(TextTest, TextIsSolidInkInTheTextColour) {
    SetTextColor(dc, RGB(0, 0, 128));
    RECT r{0, 0, 200, 20};
    DrawTextW(dc, u"Close Background Tasks", -1, &r, DT_SINGLELINE);
    int ink = Count(r, RGB(0, 0, 128));
    EXPECT_GT(ink, 50);
    EXPECT_EQ(ink + Count(r, kWhite), 200 * 20);  // no grey fringes
}

TEST_F(TextTest, OpaqueFillsTheTextCellAndTransparentLeavesIt) {
    Paper(kPaper);
    SetBkColor(dc, kWhite);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    int w = Width(u"Notes");
    RECT r{10, 10, 200, 40};
    DrawTextW(dc, u"Notes", -1, &r, DT_SINGLELINE);  // OPAQUE by default
    RECT cell{10, 10, 10 + w, 10 + tm.tmHeight};
    EXPECT_EQ(Count(cell, kPaper), 0);
    EXPECT_EQ(Count(cell, kWhite) + Count(cell, kInk), w * tm.tmHeight);
    EXPECT_EQ(GetPixel(dc, 10 + w, 10), kPaper);
    EXPECT_EQ(GetPixel(dc, 10, 10 + tm.tmHeight), kPaper);

    Paper(kPaper);
    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, u"Notes", -1, &r, DT_SINGLELINE);
    EXPECT_EQ(Count(cell, kWhite), 0);
    EXPECT_EQ(Count(cell, kPaper) + Count(cell, kInk), w * tm.tmHeight);
}

TEST_F(TextTest, PrefixHidesTheAmpersandAndUnderlinesTheNextCharacter) {
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    RECT r{0, 0, 200, 20};
    RECT calc = r;
    DrawTextW(dc, u"&Minimize", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(calc.right, Width(u"Minimize"));
    calc = r;
    DrawTextW(dc, u"&Minimize", -1, &calc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(calc.right, Width(u"&Minimize"));
    calc = r;
    DrawTextW(dc, u"Close && Exit", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(calc.right, Width(u"Close & Exit"));

    SetBkMode(dc, TRANSPARENT);
    DrawTextW(dc, u"&Minimize", -1, &r, DT_SINGLELINE);
    std::string prefixed = Pixels(RECT{0, 0, 80, tm.tmHeight});
    Paper(kWhite);
    DrawTextW(dc, u"Minimize", -1, &r, DT_SINGLELINE);
    std::string plain = Pixels(RECT{0, 0, 80, tm.tmHeight});
    // The same glyphs, plus one underline below the baseline under the M alone.
    int m = Width(u"M");
    int extra = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
        if (plain[i] == '#') {
            EXPECT_EQ(prefixed[i], '#');
        } else if (prefixed[i] == '#') {
            ++extra;
            int x = int(i % 80), y = int(i / 80);
            EXPECT_LT(x, m);
            EXPECT_GT(y, tm.tmAscent - 1);
        }
    }
    EXPECT_GT(extra, 0);
}

TEST_F(TextTest, TextOutsideTheRectangleIsClippedUnlessNoClip) {
    SetBkMode(dc, TRANSPARENT);
    RECT narrow{10, 10, 30, 30};
    DrawTextW(dc, u"Background Tasks", -1, &narrow, DT_SINGLELINE);
    EXPECT_EQ(Ink(RECT{30, 0, 240, 40}).empty(), true);
    EXPECT_FALSE(Ink(RECT{10, 10, 30, 30}).empty());
    DrawTextW(dc, u"Background Tasks", -1, &narrow, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_FALSE(Ink(RECT{30, 0, 240, 40}).empty());
}

TEST_F(TextTest, ExtTextOutPaintsItsRectangleAndTheText) {
    SetBkColor(dc, kPaper);
    RECT r{5, 5, 60, 25};
    EXPECT_TRUE(ExtTextOutW(dc, 8, 8, ETO_OPAQUE | ETO_CLIPPED, &r, u"Find", 4, nullptr));
    EXPECT_EQ(GetPixel(dc, 5, 5), kPaper);
    EXPECT_EQ(GetPixel(dc, 59, 24), kPaper);
    EXPECT_EQ(GetPixel(dc, 60, 25), kWhite);
    Box ink = Ink(r);
    EXPECT_FALSE(ink.empty());
    EXPECT_GE(ink.left, 8);
}

TEST_F(TextTest, AHundredThousandCharactersMeasureAsTheirWidthsAddUp) {
    const sim::WString title(100000, u'W');
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32W(dc, title.c_str(), int(title.size()), &size));
    RECT r{0, 0, 0, 0};
    for (int i = 0; i < 20; ++i) {
        r = RECT{0, 0, 0, 0};
        DrawTextW(dc, title.c_str(), int(title.size()), &r, DT_CALCRECT);
    }
    EXPECT_EQ(size.cx, 100000 * Width(u"W"));
    EXPECT_EQ(r.right, size.cx);
}

// What a prefixed line draws: '&' marks the next character and is not
// drawn, "&&" draws one '&', a lone '&' at the end draws nothing.
sim::WString Drawn(const sim::WString& s) {
    sim::WString out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'&' && ++i >= s.size()) break;
        out += s[i];
    }
    return out;
}

// A title shortened one character at a time, "..." after it, until it fits:
// every candidate measures as its own characters do.
TEST_F(TextTest, ShortenedCandidatesOfALongTitleMeasureLikeTheirCharacters) {
    sim::WString title;
    for (int i = 0; title.size() < 700; ++i) title += (i % 7 == 3) ? u"R&&D & &Co " : u"Calendar ";
    title += u"&";
    std::map<WCHAR, long> advance;
    for (WCHAR c : title + u".") advance[c] = Width(sim::WString(1, c).c_str());
    auto width_of = [&](const sim::WString& drawn) {
        long w = 0;
        for (WCHAR c : drawn) w += advance[c];
        return w;
    };
    for (size_t k = title.size() + 1; k-- > 0;) {
        for (const sim::WString& candidate : {title.substr(0, k) + u"...", title.substr(0, k)}) {
            RECT r{0, 0, 0, 0};
            DrawTextW(dc, candidate.c_str(), int(candidate.size()), &r, DT_CALCRECT | DT_SINGLELINE);
            ASSERT_EQ(r.right, width_of(Drawn(candidate))) << k;
        }
    }
    RECT r{0, 0, 0, 0};  // and with the prefix taken literally
    DrawTextW(dc, title.c_str(), int(title.size()), &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(r.right, width_of(title));

    const sim::WString huge(100000, u'W');
    sim::WString buffer;
    for (size_t k = huge.size(); k > huge.size() - 2000; --k) {
        buffer.assign(huge, 0, k);
        buffer += u"...";
        RECT c{0, 0, 0, 0};
        DrawTextW(dc, buffer.c_str(), int(buffer.size()), &c, DT_CALCRECT | DT_SINGLELINE | DT_VCENTER);
        ASSERT_EQ(c.right, long(k) * Width(u"W") + Width(u"..."));
    }
}

TEST_F(TextTest, InvalidCallsAnswerZero) {
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(DrawTextW(reinterpret_cast<HDC>(0x7770), u"x", 1, &r, 0), 0);
    EXPECT_EQ(DrawTextW(dc, u"x", 1, nullptr, 0), 0);
    EXPECT_EQ(DrawTextW(dc, nullptr, 3, &r, 0), 0);
    SIZE size{};
    EXPECT_FALSE(GetTextExtentPoint32W(dc, u"x", -1, &size));
}

TEST(TextDevice, FontsScaleWithTheDevicesResolution) {
    sim::DeviceConfig config;
    config.width = 480;
    config.height = 640;
    config.dpi = 192;
    sim::Device device(config);
    HDC dc = GetDC(nullptr);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 24);
    LOGFONTW lf{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
    EXPECT_EQ(lf.lfHeight, -24);
    lf.lfHeight = -20;
    lf.lfWeight = FW_BOLD;
    HFONT bold = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, bold);
    GetTextMetricsW(dc, &tm);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20);
    RECT ok{0, 0, 0, 0};
    DrawTextW(dc, u"ok", 2, &ok, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_GT(ok.right, 0);
    EXPECT_EQ(ok.bottom, tm.tmHeight);
    SelectObject(dc, old);
    DeleteObject(bold);
    ReleaseDC(nullptr, dc);
}

}  // namespace

// A surrogate pair is one character to the text engine: FreeType gets its
// code point, which Tahoma lacks, so it measures and draws as one missing
// glyph, as a lone half and an unassigned character of the first plane do.
TEST_F(TextTest, APairIsOneCharacterAndALoneHalfTheMissingGlyph) {
    const int missing = Width(u"\u0378");
    ASSERT_GT(missing, 0);
    EXPECT_EQ(Width(u"\U0001F600"), missing);
    EXPECT_EQ(Width(u"\U0001F600\U0001F600"), 2 * missing);
    const WCHAR lone[] = {WCHAR(0xD83D), u'x', 0};
    EXPECT_EQ(Width(lone), missing + Width(u"x"));
}

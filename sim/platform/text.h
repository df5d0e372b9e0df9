// Text of the simulated device: the Tahoma faces rendered with FreeType.
//
// Every font is Tahoma (the device's only face): regular, or bold when the
// weight is 600 or more. A negative height is the character (em) height in
// pixels, a positive one the cell height (ascent + descent), 0 the system
// font's 12 units of a 96 dpi screen. Glyphs are hinted for, and rendered
// as, black-and-white bitmaps, as the device draws text without font
// smoothing: every painted pixel has exactly the text colour. On a screen
// whose horizontal and vertical resolutions differ, glyphs are stretched
// horizontally by their ratio, so that text keeps its proportions on the
// glass (and a height in pixels still means the same). Widths are sums
// of the glyphs' hinted advances in whole pixels; nothing is kerned.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "gdi.h"

namespace sim::text {

struct Metrics {
    int em = 0;    // pixels per em, vertically
    int em_x = 0;  // and horizontally: em scaled by the screen's aspect
    int height = 0;
    int ascent = 0;
    int descent = 0;
    int internal_leading = 0;
    int external_leading = 0;
    int ave_char_width = 0;
    int max_char_width = 0;
    bool bold = false;
};

Metrics FontMetrics(const LOGFONTW& font);

// Width and height of one line. With `prefix`, '&' marks the next character
// as the mnemonic and is not drawn, and "&&" stands for one '&', as
// DrawTextW does without DT_NOPREFIX.
SIZE Measure(const LOGFONTW& font, sim::WStringView text, bool prefix = false);

// Draws one line with the top-left of its cell at (x, y) in `colour`: glyphs
// only, no background. `dx`, when given, holds each character's advance.
// Returns the line's width.
int DrawLine(gdi::Canvas& canvas, const LOGFONTW& font, int x, int y, sim::WStringView text, COLORREF colour,
             bool prefix = false, const int* dx = nullptr);

// The FreeType faces and, per face and pixel size, the metrics, advances and
// rendered glyphs. One per device.
class Engine {
public:
    struct Glyph {
        int advance = 0;
        int left = 0;  // from the pen position to the bitmap's left column
        int top = 0;   // from the baseline up to the bitmap's top row
        int width = 0;
        int rows = 0;
        std::vector<uint8_t> bits;  // rows x width, 1 where the glyph is painted
    };
    struct Sized {
        Metrics metrics;
        std::array<int, 256> latin_advance;  // -1 until known
        std::unordered_map<char32_t, Glyph> glyphs;
    };

    Engine();
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    Sized& Get(const LOGFONTW& font);
    const Glyph& GlyphOf(Sized& sized, char32_t c);
    int Advance(Sized& sized, char32_t c) {
        if (c < 256) {
            int a = sized.latin_advance[c];
            if (a >= 0) return a;
        }
        return GlyphOf(sized, c).advance;
    }
    // The width of a line as Measure gives it.
    long Width(Sized& sized, sim::WStringView text, bool prefix);

private:
    // The last long line measured, with the width of every prefix of it
    // that ends between two drawn characters (-1 elsewhere). A program that
    // shortens a long title one character at a time until it fits measures
    // each candidate at the cost of comparing it with the previous one.
    struct LineCache {
        const Sized* sized = nullptr;
        bool prefix = false;
        sim::WString text;
        std::vector<long> widths;  // text.size() + 1 entries
    };
    long Scan(Sized& sized, sim::WStringView text, bool prefix, size_t from, long width, std::vector<long>* widths);

    struct Faces;
    std::unique_ptr<Faces> faces_;
    std::map<std::tuple<bool, int, int>, std::unique_ptr<Sized>> sized_;  // bold, em, em_x
    LineCache line_;
};

Engine& TheEngine();

}  // namespace sim::text

// Text: FreeType over the Tahoma faces, DrawTextW, ExtTextOutW and the text
// measuring calls.
#include "text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdint>
#include <string>

#ifndef VESK_FONT_DIR
#define VESK_FONT_DIR "/usr/share/wine/fonts"
#endif

namespace sim::text {
namespace {

struct LibraryDeleter {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDeleter {
    void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using LibraryPtr = std::unique_ptr<FT_LibraryRec_, LibraryDeleter>;
using FacePtr = std::unique_ptr<FT_FaceRec_, FaceDeleter>;

constexpr int kMaxEm = 1024;

int Scale(long units, int em, int upem) { return int((units * em + upem / 2) / upem); }

}  // namespace

// The two faces, opened on first use. A face that cannot be opened leaves
// text measurable (by a simple fallback) but invisible, rather than failing
// every drawing call.
struct Engine::Faces {
    struct Face {
        bool tried = false;
        FacePtr face;
        std::pair<int, int> current_em{0, 0};  // em_x, em
        int upem = 2048;
        long win_ascent = 2049, win_descent = 423;
        long line_gap = 0, hhea_ascent = 2049, hhea_descent = -423;
        long avg_width = 1000, max_advance = 2000;
    };
    LibraryPtr library;  // destroyed after the faces below
    Face faces[2];

    Face& Open(bool bold) {
        Face& f = faces[bold];
        if (f.tried) return f;
        f.tried = true;
        if (!library) {
            FT_Library lib = nullptr;
            if (FT_Init_FreeType(&lib) != 0) return f;
            library.reset(lib);
        }
        std::string path = std::string(VESK_FONT_DIR) + (bold ? "/tahomabd.ttf" : "/tahoma.ttf");
        FT_Face face = nullptr;
        if (FT_New_Face(library.get(), path.c_str(), 0, &face) != 0) return f;
        f.face.reset(face);
        f.upem = face->units_per_EM ? face->units_per_EM : 2048;
        if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
            f.win_ascent = os2->usWinAscent;
            f.win_descent = os2->usWinDescent;
            f.avg_width = os2->xAvgCharWidth;
        }
        if (auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA))) {
            f.line_gap = hhea->Line_Gap;
            f.hhea_ascent = hhea->Ascender;
            f.hhea_descent = hhea->Descender;
            f.max_advance = hhea->advance_Width_Max;
        }
        return f;
    }
};

Engine::Engine() : faces_(std::make_unique<Faces>()) {}
Engine::~Engine() = default;

Engine::Sized& Engine::Get(const LOGFONTW& font) {
    bool bold = font.lfWeight >= FW_SEMIBOLD;
    Faces::Face& f = faces_->Open(bold);
    int em;
    if (font.lfHeight < 0) {
        em = -std::max<LONG>(font.lfHeight, -kMaxEm);
    } else if (font.lfHeight > 0) {
        // A cell height: the em that makes ascent + descent come to it.
        long cell = f.win_ascent + f.win_descent;
        em = int((long(std::min<LONG>(font.lfHeight, kMaxEm)) * f.upem + cell / 2) / cell);
    } else {
        em = M().ScaleY(12);
    }
    em = std::clamp(em, 1, kMaxEm);
    const Machine& mach = M();
    int em_x = std::clamp(int((long(em) * mach.dpi_x + mach.dpi_y / 2) / mach.dpi_y), 1, kMaxEm);

    auto& slot = sized_[{bold, em, em_x}];
    if (slot) return *slot;
    slot = std::make_unique<Sized>();
    slot->latin_advance.fill(-1);
    Metrics& m = slot->metrics;
    m.em = em;
    m.em_x = em_x;
    m.bold = bold;
    m.ascent = Scale(f.win_ascent, em, f.upem);
    m.descent = Scale(f.win_descent, em, f.upem);
    m.height = m.ascent + m.descent;
    m.internal_leading = m.height - em;
    long extra = f.line_gap - ((f.win_ascent + f.win_descent) - (f.hhea_ascent - f.hhea_descent));
    m.external_leading = std::max(0, Scale(extra, em, f.upem));
    m.ave_char_width = Scale(f.avg_width, em_x, f.upem);
    m.max_char_width = Scale(f.max_advance, em_x, f.upem);
    return *slot;
}

const Engine::Glyph& Engine::GlyphOf(Sized& sized, char32_t c) {
    auto it = sized.glyphs.find(c);
    if (it != sized.glyphs.end()) return it->second;
    Glyph& g = sized.glyphs[c];
    Faces::Face& f = faces_->Open(sized.metrics.bold);
    FT_Face face = f.face.get();
    bool loaded = false;
    if (face) {
        const std::pair<int, int> size{sized.metrics.em_x, sized.metrics.em};
        if (f.current_em != size && FT_Set_Pixel_Sizes(face, FT_UInt(size.first), FT_UInt(size.second)) == 0)
            f.current_em = size;
        // Hinted for black-and-white output, which is also what fixes the
        // advances to whole pixels the way the hinting wants them.
        loaded = f.current_em == size &&
                 FT_Load_Char(face, FT_ULong(c), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) == 0;
    }
    if (loaded) {
        FT_GlyphSlot slot = face->glyph;
        g.advance = int((slot->advance.x + 32) >> 6);
        const FT_Bitmap& bm = slot->bitmap;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = int(bm.width);
        g.rows = int(bm.rows);
        g.bits.assign(size_t(g.width) * size_t(g.rows), 0);
        for (int y = 0; y < g.rows; ++y) {
            const unsigned char* row = bm.buffer + long(y) * bm.pitch;
            for (int x = 0; x < g.width; ++x) {
                bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (row[x >> 3] >> (7 - (x & 7))) & 1
                                                              : row[x] >= 128;
                g.bits[size_t(y) * size_t(g.width) + size_t(x)] = on;
            }
        }
    } else {
        g.advance = (sized.metrics.em_x + 1) / 2;
    }
    if (c < 256) sized.latin_advance[c] = g.advance;
    return g;
}

Engine& TheEngine() { return *gdi::Gdi().text; }

Metrics FontMetrics(const LOGFONTW& font) { return TheEngine().Get(font).metrics; }

namespace {

// Walks a line as it is drawn: `visit(character, underlined)` for every
// character that is drawn, with mnemonic prefixes taken out. A surrogate
// pair is one character; a lone surrogate is drawn as itself, which no face
// maps, so it shows as the face's missing glyph.
template <class Visit>
void Walk(sim::WStringView text, bool prefix, Visit visit) {
    size_t n = text.size();
    size_t units = 1;
    for (size_t i = 0; i < n; i += units) {
        char32_t c = CodePointAt(text, i, &units);
        if (prefix && c == U'&') {
            if (i + 1 >= n) break;  // a lone '&' at the end is not drawn
            c = CodePointAt(text, i + 1, &units);
            ++units;
            visit(c, c != U'&');
            continue;
        }
        visit(c, false);
    }
}

}  // namespace

SIZE Measure(const LOGFONTW& font, sim::WStringView text, bool prefix) {
    Engine& engine = TheEngine();
    Engine::Sized& sized = engine.Get(font);
    long width = engine.Width(sized, text, prefix);
    return SIZE{LONG(std::min<long>(width, INT32_MAX)), sized.metrics.height};
}

long Engine::Scan(Sized& sized, sim::WStringView text, bool prefix, size_t from, long width,
                  std::vector<long>* widths) {
    size_t n = text.size();
    size_t units = 1;
    for (size_t i = from; i < n; i += units) {
        char32_t c = CodePointAt(text, i, &units);
        if (prefix && c == U'&') {
            if (widths) widths->push_back(-1);  // between '&' and the character it marks
            if (i + 1 >= n) break;              // a lone '&' at the end is not drawn
            c = CodePointAt(text, ++i, &units);
        }
        int a = c < 256 ? sized.latin_advance[c] : -1;
        width += a >= 0 ? a : Advance(sized, c);
        if (widths) {
            if (units == 2) widths->push_back(-1);  // between the two halves of a pair
            widths->push_back(width);
        }
    }
    return width;
}

long Engine::Width(Sized& sized, sim::WStringView text, bool prefix) {
    constexpr size_t kCacheFrom = 256;
    if (text.size() < kCacheFrom) return Scan(sized, text, prefix, 0, 0, nullptr);

    LineCache& c = line_;
    size_t same = 0;
    if (c.sized == &sized && c.prefix == prefix) {
        // The common beginning, compared a block at a time.
        size_t limit = std::min(text.size(), c.text.size());
        constexpr size_t kBlock = 1024;
        while (same + kBlock <= limit &&
               std::char_traits<WCHAR>::compare(text.data() + same, c.text.data() + same, kBlock) == 0)
            same += kBlock;
        while (same < limit && text[same] == c.text[same]) ++same;
    }
    // Resume where a drawn character ended, before any '&' whose meaning
    // depends on what follows it.
    size_t from = same;
    while (from > 0 && (c.widths[from] < 0 || (prefix && text[from - 1] == u'&'))) --from;
    if (from == 0) {
        c.sized = &sized;
        c.prefix = prefix;
        c.text.clear();
        c.widths.assign(1, 0);
    }
    c.text.resize(from);
    c.text.append(text.substr(from));
    c.widths.resize(from + 1);
    c.widths.reserve(text.size() + 1);
    return Scan(sized, text, prefix, from, c.widths[from], &c.widths);
}

int DrawLine(gdi::Canvas& canvas, const LOGFONTW& font, int x, int y, sim::WStringView text, COLORREF colour, bool prefix,
             const int* dx) {
    Engine& engine = TheEngine();
    Engine::Sized& sized = engine.Get(font);
    const Metrics& m = sized.metrics;
    int baseline = y + m.ascent;
    int underline_y = std::min(baseline + 1, y + m.height - 1);
    int pen = x;
    size_t index = 0;
    Walk(text, prefix, [&](char32_t c, bool underlined) {
        int advance = dx ? dx[index] : engine.Advance(sized, c);
        ++index;
        // Glyphs wholly outside the clip are neither rendered nor walked.
        if (canvas.surface && pen + 2 * m.em_x > canvas.clip.left && pen - 2 * m.em_x < canvas.clip.right) {
            const Engine::Glyph& g = engine.GlyphOf(sized, c);
            int gx = pen + g.left, gy = baseline - g.top;
            for (int row = 0; row < g.rows; ++row) {
                const uint8_t* bits = g.bits.data() + size_t(row) * size_t(g.width);
                for (int col = 0; col < g.width; ++col)
                    if (bits[col]) canvas.Plot(gx + col, gy + row, colour);
            }
            if (underlined || font.lfUnderline)
                for (int i = 0; i < advance; ++i) canvas.Plot(pen + i, underline_y, colour);
            if (font.lfStrikeOut)
                for (int i = 0; i < advance; ++i) canvas.Plot(pen + i, baseline - m.ascent / 3, colour);
        }
        pen += advance;
    });
    return pen - x;
}

}  // namespace sim::text

using namespace sim;
using namespace sim::gdi;

namespace {

// The lines of a DrawTextW call: a line ends at CR LF, CR or LF.
template <class Visit>
void Lines(sim::WStringView text, bool single, Visit visit) {
    if (single) {
        visit(text);
        return;
    }
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n') continue;
        visit(text.substr(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        start = i + 1;
    }
    visit(text.substr(start));
}

}  // namespace

extern "C" {

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    SIM_API("DrawTextW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    DeviceContext* dc = Dc(hdc);
    if (!dc || !lprc || cchText < -1 || (!lpchText && cchText != 0)) {
        SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    sim::WStringView text(lpchText ? lpchText : u"", cchText == -1 ? std::char_traits<WCHAR>::length(lpchText) : size_t(cchText));
    const LOGFONTW& font = *SelectedFont(hdc);
    const text::Metrics metrics = text::FontMetrics(font);
    bool prefix = !(format & DT_NOPREFIX);
    bool single = format & DT_SINGLELINE;
    const int line_height = metrics.height;

    long width = 0;
    int lines = 0;
    Lines(text, single, [&](sim::WStringView line) {
        width = std::max<long>(width, text::Measure(font, line, prefix).cx);
        ++lines;
    });
    int height = lines * line_height;
    RECT& rc = *lprc;
    if (format & DT_CALCRECT) {
        rc.right = LONG(std::min<long>(long(rc.left) + width, INT32_MAX));
        rc.bottom = LONG(std::min<int64_t>(int64_t(rc.top) + height, INT32_MAX));
        return height;
    }

    // Positions in 64 bits: a program may pass any rectangle.
    auto to_int = [](int64_t v) { return int(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
    int y = rc.top;
    if (single && (format & DT_VCENTER))
        y = to_int(rc.top + (int64_t(rc.bottom) - rc.top) / 2 - line_height / 2);
    else if (single && (format & DT_BOTTOM))
        y = to_int(int64_t(rc.bottom) - line_height);

    Canvas canvas = CanvasOf(*dc);
    if (!(format & DT_NOCLIP)) canvas = canvas.Within(rc);
    int top = y;
    Lines(text, single, [&](sim::WStringView line) {
        int64_t w = text::Measure(font, line, prefix).cx;
        int x = rc.left;
        if (format & DT_CENTER)
            x = to_int((int64_t(rc.left) + rc.right - w) / 2);
        else if (format & DT_RIGHT)
            x = to_int(rc.right - w);
        if (dc->state.bk_mode == OPAQUE)
            canvas.Fill(RECT{x, y, to_int(x + w), to_int(int64_t(y) + line_height)}, dc->state.bk);
        text::DrawLine(canvas, font, x, y, line, dc->state.text, prefix);
        y += line_height;
    });
    // With DT_VCENTER or DT_BOTTOM the platform answers the offset from the
    // rectangle's top to the bottom of the text.
    if (single && (format & (DT_VCENTER | DT_BOTTOM))) return top + height - rc.top;
    return height;
}

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c,
                        const int* lpDx) {
    SIM_API("ExtTextOutW");
    DeviceContext* dc = Dc(hdc);
    if (!dc || (!lpString && c != 0)) {
        SetLastError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Canvas canvas = CanvasOf(*dc);
    if (lprect && (options & ETO_OPAQUE)) canvas.Fill(*lprect, dc->state.bk);
    if (lprect && (options & ETO_CLIPPED)) canvas = canvas.Within(*lprect);
    if (c == 0) return TRUE;
    sim::WStringView text(lpString, c);
    const LOGFONTW& font = *SelectedFont(hdc);
    int height = text::FontMetrics(font).height;
    long width = 0;
    if (lpDx) {
        for (UINT i = 0; i < c; ++i) width += lpDx[i];
    } else {
        width = text::Measure(font, text).cx;
    }
    if (dc->state.bk_mode == OPAQUE)
        canvas.Fill(RECT{x, y, LONG(std::min<int64_t>(int64_t(x) + width, INT32_MAX)),
                         LONG(std::min<int64_t>(int64_t(y) + height, INT32_MAX))},
                    dc->state.bk);
    text::DrawLine(canvas, font, x, y, text, dc->state.text, false, lpDx);
    return TRUE;
}

// The extent of the whole string, and, when asked, how many characters fit
// in nMaxExtent pixels (lpnFit) and the extent of every prefix up to those
// (alpDx[i]: the first i + 1 characters).
BOOL WINAPI GetTextExtentExPointW(HDC hdc, LPCWSTR lpszStr, int cchString, int nMaxExtent, LPINT lpnFit,
                                  LPINT alpDx, LPSIZE lpSize) {
    SIM_API("GetTextExtentExPointW");
    if (!Dc(hdc) || !lpSize || cchString < 0 || (!lpszStr && cchString != 0)) {
        SetLastError(Dc(hdc) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const LOGFONTW& font = *SelectedFont(hdc);
    sim::WStringView text(lpszStr ? lpszStr : u"", size_t(cchString));
    *lpSize = text::Measure(font, text);
    if (lpnFit || alpDx) {
        int fit = 0;
        for (size_t i = 1; i <= text.size(); ++i) {
            LONG cx = text::Measure(font, text.substr(0, i)).cx;
            if (lpnFit && cx > nMaxExtent) break;
            if (alpDx) alpDx[i - 1] = int(cx);
            fit = int(i);
        }
        if (lpnFit) *lpnFit = fit;
    }
    return TRUE;
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
    SIM_API("GetTextMetricsW");
    if (!Dc(hdc) || !lptm) {
        SetLastError(Dc(hdc) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const LOGFONTW& font = *SelectedFont(hdc);
    text::Metrics m = text::FontMetrics(font);
    TEXTMETRICW tm{};
    tm.tmHeight = m.height;
    tm.tmAscent = m.ascent;
    tm.tmDescent = m.descent;
    tm.tmInternalLeading = m.internal_leading;
    tm.tmExternalLeading = m.external_leading;
    tm.tmAveCharWidth = m.ave_char_width;
    tm.tmMaxCharWidth = m.max_char_width;
    tm.tmWeight = m.bold ? FW_BOLD : FW_NORMAL;
    if (font.lfWeight != FW_DONTCARE) tm.tmWeight = font.lfWeight;
    tm.tmDigitizedAspectX = M().dpi_x;
    tm.tmDigitizedAspectY = M().dpi_y;
    tm.tmFirstChar = u' ';
    tm.tmLastChar = 0xFFFC;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = u' ';
    tm.tmItalic = font.lfItalic ? 1 : 0;
    tm.tmUnderlined = font.lfUnderline ? 1 : 0;
    tm.tmStruckOut = font.lfStrikeOut ? 1 : 0;
    // Variable pitch (the flag's sense is inverted), vector, TrueType, Swiss.
    tm.tmPitchAndFamily = 0x01 | 0x02 | 0x04 | FF_SWISS;
    tm.tmCharSet = font.lfCharSet;
    *lptm = tm;
    return TRUE;
}

}  // extern "C"

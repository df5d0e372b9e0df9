#include "contact_sheet.h"

#include <algorithm>

#include <sim/device.h>
#include <sim/lettering.h>

#include "text_util.h"

namespace vesk_sim {

namespace {

constexpr int kThumbWidth = 160;
constexpr int kPad = 12;
constexpr int kCaptionLines = 3;
constexpr int kColumns = 4;
constexpr COLORREF kBackground = RGB(240, 240, 240);
constexpr COLORREF kBorder = RGB(150, 150, 150);
constexpr COLORREF kInk = RGB(0, 0, 0);
constexpr COLORREF kGrey = RGB(70, 70, 70);

LOGFONTW Font(int pixels, bool bold) {
    LOGFONTW lf{};
    lf.lfHeight = -pixels;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    const WCHAR face[] = u"Tahoma";
    std::copy(std::begin(face), std::end(face), lf.lfFaceName);
    return lf;
}

// Averages the source pixels that fall on each thumbnail pixel.
sim::Surface Shrink(const sim::Surface& src, int w, int h) {
    sim::Surface out;
    out.Resize(w, h);
    for (int y = 0; y < h; ++y) {
        int y0 = y * src.height / h, y1 = std::max(y0 + 1, (y + 1) * src.height / h);
        for (int x = 0; x < w; ++x) {
            int x0 = x * src.width / w, x1 = std::max(x0 + 1, (x + 1) * src.width / w);
            unsigned long r = 0, g = 0, b = 0, n = 0;
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx) {
                    COLORREF c = src.At(sx, sy);
                    r += GetRValue(c), g += GetGValue(c), b += GetBValue(c), ++n;
                }
            out.Set(x, y, RGB(r / n, g / n, b / n));
        }
    }
    return out;
}

// Greedy word wrap into at most `max_lines`; the last line ends in "..." if
// the text does not fit.
std::vector<sim::WString> Wrap(const LOGFONTW& font, const sim::WString& text, int width, int max_lines) {
    auto fits = [&](const sim::WString& s) { return sim::MeasureLine(font, s).cx <= width; };
    std::vector<sim::WString> lines;
    sim::WString line;
    size_t i = 0;
    bool cut = false;
    while (i < text.size()) {
        size_t end = text.find(u' ', i);
        if (end == sim::WString::npos) end = text.size();
        sim::WString word = text.substr(i, end - i);
        i = end + 1;
        sim::WString trial = line.empty() ? word : line + u" " + word;
        if (fits(trial)) {
            line = trial;
            continue;
        }
        if (!line.empty()) {
            lines.push_back(line);
            line.clear();
        }
        while (!fits(word)) {  // a word wider than the line is broken
            size_t n = word.size();
            while (n > 1 && !fits(word.substr(0, n))) --n;
            lines.push_back(word.substr(0, n));
            word = word.substr(n);
        }
        line = word;
        if (int(lines.size()) >= max_lines) {
            cut = true;
            break;
        }
    }
    if (!line.empty()) lines.push_back(line);
    if (int(lines.size()) > max_lines) {
        lines.resize(size_t(max_lines));
        cut = true;
    }
    if (cut && !lines.empty()) {
        sim::WString& last = lines.back();
        while (!last.empty() && !fits(last + u"...")) last.pop_back();
        last += u"...";
    }
    return lines;
}

void Frame(sim::Surface& s, int x, int y, int w, int h, COLORREF c) {
    s.Fill(RECT{x, y, x + w, y + 1}, c);
    s.Fill(RECT{x, y + h - 1, x + w, y + h}, c);
    s.Fill(RECT{x, y, x + 1, y + h}, c);
    s.Fill(RECT{x + w - 1, y, x + w, y + h}, c);
}

}  // namespace

bool WriteContactSheet(const std::vector<ShotRecord>& shots, const std::string& title,
                       const std::filesystem::path& path, std::string* error) {
    try {
        std::vector<sim::Surface> images;
        for (const ShotRecord& shot : shots) {
            sim::Surface s;
            std::string why;
            if (!sim::ReadPng(shot.path.string(), &s, &why)) {
                if (error) *error = "cannot read " + shot.path.string() + ": " + why;
                return false;
            }
            images.push_back(std::move(s));
        }
        sim::Device text_device;  // the text engine lives with a device
        const LOGFONTW heading = Font(16, true), name_font = Font(11, true), caption_font = Font(11, false);
        const int line_h = sim::MeasureLine(caption_font, u"Ag").cy + 1;
        int thumb_h = 1;
        for (const sim::Surface& s : images)
            thumb_h = std::max(thumb_h, (s.height * kThumbWidth + s.width / 2) / std::max(s.width, 1));
        const int cell_w = kThumbWidth + 2 * kPad + 16;
        const int cell_h = thumb_h + 8 + line_h * (1 + kCaptionLines) + kPad;
        const int header_h = sim::MeasureLine(heading, u"Ag").cy + 2 * kPad;
        const int columns = std::clamp(int(images.size()), 1, kColumns);
        const int rows = std::max(1, int((images.size() + size_t(columns) - 1) / size_t(columns)));

        sim::Surface sheet;
        sheet.Resize(columns * cell_w + kPad, header_h + rows * cell_h + kPad, kBackground);
        sim::DrawLine(sheet, RECT{0, 0, sheet.width, sheet.height}, heading, kPad, kPad, Widen(title), kInk);

        for (size_t i = 0; i < images.size(); ++i) {
            const sim::Surface& s = images[i];
            int cx = kPad + int(i % size_t(columns)) * cell_w;
            int cy = header_h + int(i / size_t(columns)) * cell_h;
            int w = kThumbWidth, h = std::max(1, (s.height * kThumbWidth + s.width / 2) / std::max(s.width, 1));
            sheet.Blit(Shrink(s, w, h), cx + 1, cy + 1);
            Frame(sheet, cx, cy, w + 2, h + 2, kBorder);
            int ty = cy + thumb_h + 8;
            int text_w = cell_w - kPad;
            sim::WString name = sim::Widen(std::to_string(i + 1)) + u". " + Widen(shots[i].file);
            for (const sim::WString& line : Wrap(name_font, name, text_w, 1)) {
                sim::DrawLine(sheet, RECT{cx, ty, cx + text_w, ty + line_h}, name_font, cx, ty, line, kInk);
                ty += line_h;
            }
            for (const sim::WString& line : Wrap(caption_font, Widen(shots[i].caption), text_w, kCaptionLines)) {
                sim::DrawLine(sheet, RECT{cx, ty, cx + text_w, ty + line_h}, caption_font, cx, ty, line, kGrey);
                ty += line_h;
            }
        }
        std::string why;
        if (!sim::WritePng(sheet, path.string(), &why)) {
            if (error) *error = "cannot write " + path.string() + ": " + why;
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
}

}  // namespace vesk_sim

// DrawTextFit against the rule it implements, for every text and box: the
// whole text when it measures no wider than the box; otherwise the longest
// prefix (from the whole text down to nothing) that, followed by "...",
// measures strictly narrower than the box; otherwise "..." alone. What
// DrawTextFit draws is recorded by wrapping DrawTextW (the fuzz target is
// linked with --wrap=DrawTextW, which redirects vesk's calls here), and the
// reference measures with the real DrawTextW on the same device context.
#include <sim/device.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "vesk.h"

extern "C" int __real_DrawTextW(HDC hdc, LPCWSTR text, int length, LPRECT rc, UINT format);

namespace {

struct Drawn {
    bool recording = false;
    int draws = 0;
    sim::WString text;
    RECT rect{};
    UINT format = 0;
};
Drawn g_drawn;

struct Fixture {
    sim::Device* device = nullptr;
    HDC dc = nullptr;
    HFONT fonts[4] = {};
};

Fixture& TheFixture() {
    static Fixture f = [] {
        Fixture x;
        x.device = new sim::Device();  // lives as long as the process
        x.dc = GetDC(nullptr);
        LOGFONTW lf{};
        GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
        const int heights[] = {-11, -22, -8};
        for (int i = 0; i < 3; ++i) {
            LOGFONTW bold = lf;
            bold.lfHeight = heights[i];
            bold.lfWeight = FW_BOLD;
            x.fonts[i + 1] = CreateFontIndirectW(&bold);
        }
        return x;
    }();
    return f;
}

int Width(HDC dc, const sim::WString& s, const RECT& box, UINT format) {
    RECT r = box;
    __real_DrawTextW(dc, s.c_str(), int(s.size()), &r, format | DT_CALCRECT);
    return r.right - r.left;
}

sim::WString Rule(HDC dc, const sim::WString& text, const RECT& box, UINT format) {
    const int width = box.right - box.left;
    if (Width(dc, text, box, format) <= width) return text;
    for (size_t k = text.size() + 1; k-- > 0;) {
        sim::WString candidate = text.substr(0, k) + u"...";
        if (Width(dc, candidate, box, format) < width) return candidate;
    }
    return u"...";
}

[[noreturn]] void Fail(const char* what, const sim::WString& text, const RECT& box, const sim::WString& want,
                       const sim::WString& got) {
    std::fprintf(stderr, "DrawTextFit %s: box %ld..%ld, text of %zu characters; the rule gives %zu characters, "
                 "DrawTextFit drew %zu\n",
                 what, long(box.left), long(box.right), text.size(), want.size(), got.size());
    std::abort();
}

}  // namespace

extern "C" int __wrap_DrawTextW(HDC hdc, LPCWSTR text, int length, LPRECT rc, UINT format) {
    if (g_drawn.recording && !(format & DT_CALCRECT)) {
        ++g_drawn.draws;
        g_drawn.text.assign(text, length < 0 ? wcslen(text) : size_t(length));
        g_drawn.rect = *rc;
        g_drawn.format = format;
    }
    return __real_DrawTextW(hdc, text, length, rc, format);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5 || size > 1400) return 0;
    Fixture& f = TheFixture();
    // Latin letters of every width, spaces, '&' prefixes, dots, control
    // characters, line breaks and characters the font may not have.
    static const WCHAR kPool[] = u"iIlWwMm.a &&\t\r\n\x01\x1f\x00e9\x4e2d\xfffd" u"0123456789";
    const uint8_t mode = data[0];
    const int left = int(int8_t(data[1]));
    const int width = int(int16_t(uint16_t(data[2]) | uint16_t(data[3]) << 8)) % 2400;
    const UINT formats[] = {DT_SINGLELINE | DT_VCENTER, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, 0, DT_SINGLELINE};
    const UINT format = formats[mode & 3];
    HFONT font = f.fonts[(mode >> 2) & 3];
    sim::WString text;
    for (size_t i = 4; i < size; ++i) text += kPool[data[i] % (sizeof kPool / sizeof kPool[0] - 1)];

    int saved = SaveDC(f.dc);
    if (font) SelectObject(f.dc, font);
    const RECT box{left, 0, left + width, 18};
    const sim::WString want = Rule(f.dc, text, box, format);
    RECT expected_rect = box;
    const int expected = __real_DrawTextW(f.dc, want.c_str(), int(want.size()), &expected_rect, format);

    g_drawn = Drawn{};
    g_drawn.recording = true;
    const int result = DrawTextFit(f.dc, text.c_str(), int(text.size()), &box, format);
    g_drawn.recording = false;
    RestoreDC(f.dc, saved);

    if (g_drawn.draws != 1) Fail("drew more or less than once", text, box, want, g_drawn.text);
    if (g_drawn.text != want) Fail("drew another text than the rule", text, box, want, g_drawn.text);
    if (std::memcmp(&g_drawn.rect, &box, sizeof box) != 0 || g_drawn.format != format)
        Fail("drew in another box or format", text, box, want, g_drawn.text);
    if (result != expected) Fail("answered another height", text, box, want, g_drawn.text);
    return 0;
}

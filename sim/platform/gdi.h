// GDI of the simulated device: device contexts, pens, brushes, fonts and the
// stock objects, as the window, menu and shell code of the simulator use them.
//
// A device context names its target by window handle and looks the surface
// up at every drawing call, so a context on a destroyed window draws nothing.
// Coordinates are the target's client coordinates; (0, 0) is the client's
// top-left corner, which in this simulator is the window's top-left corner.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "core.h"
#include <sim/resources.h>

namespace sim::text {
class Engine;
}

namespace sim::gdi {

struct Pen : Object {
    static constexpr Kind kKind = Kind::Pen;
    Pen() : Object(kKind) {}
    LOGPEN log{};
    bool stock = false;
};

struct Brush : Object {
    static constexpr Kind kKind = Kind::Brush;
    Brush() : Object(kKind) {}
    LOGBRUSH log{};
    bool stock = false;
};

struct Font : Object {
    static constexpr Kind kKind = Kind::Font;
    Font() : Object(kKind) {}
    LOGFONTW log{};
    bool stock = false;
};

// Everything SaveDC keeps and RestoreDC puts back.
struct DcState {
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HFONT font = nullptr;
    COLORREF text = RGB(0, 0, 0);
    COLORREF bk = RGB(255, 255, 255);
    int bk_mode = OPAQUE;
    POINT pos{0, 0};
};

struct DeviceContext : Object {
    static constexpr Kind kKind = Kind::DC;
    DeviceContext() : Object(kKind) {}
    HWND target = nullptr;  // null: the screen
    RECT clip{};            // client coordinates
    DcState state;
    std::vector<DcState> saved;  // SaveDC levels, level 1 first
};

// Per-device GDI state: the stock objects, the text engine and what tests read.
struct State {
    State();
    ~State();
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    HBRUSH stock_brushes[6]{};  // WHITE_BRUSH .. NULL_BRUSH
    HPEN stock_pens[3]{};       // WHITE_PEN .. NULL_PEN
    HFONT system_font = nullptr;
    HBRUSH sys_color_brushes[29]{};
    std::vector<uintptr_t> dcs;              // live device contexts, oldest first
    std::vector<std::string> delete_failures;  // "pid=N handle=0x..." per refused DeleteObject
    std::unique_ptr<text::Engine> text;
};

// The device's GDI state, made on first use.
State& Gdi();

// A device context on a window's surface (target null: the screen DC).
// `clip` is in the window's client coordinates.
HDC NewDC(HWND target, const RECT& clip);
// ReleaseDC/EndPaint; false if not a DC. Selected objects are simply no
// longer selected.
bool FreeDC(HDC dc);
// Called once per machine at boot: the stock pens, brushes and SYSTEM_FONT.
void InitStock();
// The device's colour scheme; the index with or without the platform's
// 0x40000000 flag. 0 for an unknown index.
COLORREF SysColor(int index);

// The logical font of the stock SYSTEM_FONT at the device's resolution:
// Tahoma, 12 units of a 96 dpi screen.
LOGFONTW SystemFontLog();
// The font selected into a DC (the system font if the selection is gone);
// null if dc is not a DC.
const LOGFONTW* SelectedFont(HDC dc);

// The DeleteObject calls refused because the object was still selected in a
// device context, in order: "pid=N handle=0x...".
std::vector<std::string> DeleteFailures();

// The DC behind a handle, or null.
DeviceContext* Dc(HDC dc);
// The same, or null with ERROR_INVALID_HANDLE as the caller's last error.
DeviceContext* CheckDc(HDC hdc);
// The surface a DC draws into now, or null (a destroyed window).
Surface* SurfaceOf(const DeviceContext& dc);

// The pixels a drawing call may touch: a surface and a clip rectangle that
// lies inside it. Every drawing routine of the simulator paints through one.
struct Canvas {
    Surface* surface = nullptr;
    RECT clip{};

    bool Visible(int x, int y) const {
        return surface && x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
    }
    void Plot(int x, int y, COLORREF c) {
        if (Visible(x, y)) surface->pixels[size_t(y) * size_t(surface->width) + size_t(x)] = c & 0x00FFFFFF;
    }
    COLORREF At(int x, int y) const {
        return Visible(x, y) ? surface->pixels[size_t(y) * size_t(surface->width) + size_t(x)] : CLR_INVALID;
    }
    // Fills [left, right) x [top, bottom) within the clip.
    void Fill(const RECT& rc, COLORREF c);
    // Narrows the clip to rc as well.
    Canvas Within(const RECT& rc) const;
};

// The canvas of a DC now: its surface and its clip; an empty canvas for a
// destroyed window.
Canvas CanvasOf(const DeviceContext& dc);

// What a DC draws with now. A selection whose object has gone (its process
// ended) falls back to the DC's defaults rather than crashing.
LOGPEN PenOf(const DeviceContext& dc);
// False for a null brush.
bool BrushColourOf(const DeviceContext& dc, COLORREF* colour);
// False for a null or unknown brush. Accepts a system colour index + 1 in
// place of a brush, as the platform's FillRect does.
bool BrushColour(HBRUSH brush, COLORREF* colour);

}  // namespace sim::gdi

namespace sim::icon {

// An icon keeps every image of its group (or file); drawing picks one.
struct Icon : Object {
    static constexpr Kind kKind = Kind::Icon;
    Icon() : Object(kKind) {}
    std::vector<res::IconImage> images;
};

// A new icon owned by the current process and counted as its own, for the
// shell's SHGetFileInfo; the caller gives it back with DestroyIcon.
HICON Create(std::vector<res::IconImage> images);

// The image DrawIconEx draws for a cx x cy request: the same size (the most
// colours among those), else the smallest larger one, else the largest.
const res::IconImage* Pick(const Icon& icon, int cx, int cy);

}  // namespace sim::icon

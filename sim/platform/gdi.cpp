// Device contexts, GDI objects, stock objects, device capabilities and the
// device's colour scheme.
#include "gdi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "text.h"

namespace sim::gdi {
namespace {

constexpr DWORD kIndexFlag = SYS_COLOR_INDEX_FLAG;

// The device's colour scheme, by index: white windows and menus, black
// text, a dark blue highlight with white text, grey for disabled text.
constexpr COLORREF kSysColors[] = {
    RGB(192, 192, 192),  // COLOR_SCROLLBAR
    RGB(255, 255, 255),  // COLOR_BACKGROUND
    RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(255, 255, 255),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(0, 0, 128),      // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(223, 223, 223),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(255, 255, 255),  // COLOR_STATIC
    RGB(0, 0, 0),        // COLOR_STATICTEXT
    RGB(16, 132, 208),   // COLOR_GRADIENTACTIVECAPTION
    RGB(192, 192, 192),  // COLOR_GRADIENTINACTIVECAPTION
};
constexpr int kSysColorCount = int(sizeof(kSysColors) / sizeof(kSysColors[0]));

// -1 for an index the device does not have.
int SysColorSlot(int index) {
    int i = int(DWORD(index) & ~kIndexFlag);
    return i >= 0 && i < kSysColorCount ? i : -1;
}

template <class T>
T* Add(std::unique_ptr<T> object, DWORD owner) {
    T* raw = object.get();
    raw->owner_pid = owner;
    raw->handle = M().handles.Insert(std::move(object));
    return raw;
}

HPEN NewPen(const LOGPEN& log, DWORD owner, bool stock) {
    auto pen = std::make_unique<Pen>();
    pen->log = log;
    pen->stock = stock;
    return ToHandle<HPEN>(Add(std::move(pen), owner)->handle);
}

HBRUSH NewBrush(UINT style, COLORREF colour, DWORD owner, bool stock) {
    auto brush = std::make_unique<Brush>();
    brush->log = LOGBRUSH{style, colour & 0x00FFFFFF, 0};
    brush->stock = stock;
    return ToHandle<HBRUSH>(Add(std::move(brush), owner)->handle);
}

bool IsStock(const Object* o) {
    switch (o->kind) {
        case Kind::Pen: return static_cast<const Pen*>(o)->stock;
        case Kind::Brush: return static_cast<const Brush*>(o)->stock;
        case Kind::Font: return static_cast<const Font*>(o)->stock;
        default: return false;
    }
}

bool Selects(const DcState& s, uintptr_t h) {
    return FromHandle(s.pen) == h || FromHandle(s.brush) == h || FromHandle(s.font) == h;
}

// Selected now, or kept in a saved level that RestoreDC would select again.
bool SelectedAnywhere(uintptr_t h) {
    for (uintptr_t d : Gdi().dcs) {
        const DeviceContext* dc = M().handles.Get<DeviceContext>(d);
        if (!dc) continue;
        if (Selects(dc->state, h)) return true;
        for (const DcState& s : dc->saved)
            if (Selects(s, h)) return true;
    }
    return false;
}

DcState DefaultState() {
    State& g = Gdi();
    DcState s;
    s.pen = g.stock_pens[BLACK_PEN - WHITE_PEN];
    s.brush = g.stock_brushes[WHITE_BRUSH];
    s.font = g.system_font;
    return s;
}

std::string Hex(uintptr_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace

State::State() = default;
State::~State() = default;

State& Gdi() {
    Machine& m = M();
    if (!m.gdi) {
        auto state = std::make_shared<State>();
        State* g = state.get();
        m.gdi = state;
        // Stock objects belong to no process: they are never freed or counted.
        g->stock_brushes[WHITE_BRUSH] = NewBrush(BS_SOLID, RGB(255, 255, 255), 0, true);
        g->stock_brushes[LTGRAY_BRUSH] = NewBrush(BS_SOLID, RGB(192, 192, 192), 0, true);
        g->stock_brushes[GRAY_BRUSH] = NewBrush(BS_SOLID, RGB(128, 128, 128), 0, true);
        g->stock_brushes[DKGRAY_BRUSH] = NewBrush(BS_SOLID, RGB(64, 64, 64), 0, true);
        g->stock_brushes[BLACK_BRUSH] = NewBrush(BS_SOLID, RGB(0, 0, 0), 0, true);
        g->stock_brushes[NULL_BRUSH] = NewBrush(BS_NULL, 0, 0, true);
        g->stock_pens[0] = NewPen(LOGPEN{PS_SOLID, {1, 0}, RGB(255, 255, 255)}, 0, true);
        g->stock_pens[1] = NewPen(LOGPEN{PS_SOLID, {1, 0}, RGB(0, 0, 0)}, 0, true);
        g->stock_pens[2] = NewPen(LOGPEN{PS_NULL, {1, 0}, 0}, 0, true);
        auto font = std::make_unique<Font>();
        font->log = SystemFontLog();
        font->stock = true;
        g->system_font = ToHandle<HFONT>(Add(std::move(font), 0)->handle);
        g->text = std::make_unique<text::Engine>();
    }
    return *static_cast<State*>(m.gdi.get());
}

void InitStock() { Gdi(); }

COLORREF SysColor(int index) {
    int slot = SysColorSlot(index);
    return slot < 0 ? 0 : kSysColors[slot];
}

LOGFONTW SystemFontLog() {
    LOGFONTW lf{};
    lf.lfHeight = -M().ScaleY(12);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    const WCHAR face[] = u"Tahoma";
    std::copy(std::begin(face), std::end(face), lf.lfFaceName);
    return lf;
}

DeviceContext* Dc(HDC dc) { return M().handles.Get<DeviceContext>(dc); }

DeviceContext* CheckDc(HDC hdc) {
    DeviceContext* dc = Dc(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        // A handle that is no device context, or no longer one (released,
        // or its paint ended): on the device it may already stand for
        // another window's context. Tests look for these.
        if (hdc) Log("gdi invalid-dc pid=" + std::to_string(CurrentPid()) + " handle=" + Hex(FromHandle(hdc)));
    }
    return dc;
}

const LOGFONTW* SelectedFont(HDC hdc) {
    DeviceContext* dc = Dc(hdc);
    if (!dc) return nullptr;
    const Font* font = M().handles.Get<Font>(dc->state.font);
    if (!font) font = M().handles.Get<Font>(Gdi().system_font);
    return &font->log;
}

std::vector<std::string> DeleteFailures() { return Gdi().delete_failures; }

HDC NewDC(HWND target, const RECT& clip) {
    State& g = Gdi();
    if (!target) {
        Surface& screen = M().screen_scratch;
        if (screen.width != M().width || screen.height != M().height) screen.Resize(M().width, M().height);
    }
    // Contexts reclaimed with an ended process leave their handles behind here.
    std::erase_if(g.dcs, [](uintptr_t h) { return !M().handles.Get<DeviceContext>(h); });
    auto dc = std::make_unique<DeviceContext>();
    dc->target = target;
    dc->clip = clip;
    dc->state = DefaultState();
    DeviceContext* raw = Add(std::move(dc), CurrentPid());
    g.dcs.push_back(raw->handle);
    return ToHandle<HDC>(raw->handle);
}

bool FreeDC(HDC hdc) {
    if (!Dc(hdc)) return false;
    State& g = Gdi();
    std::erase(g.dcs, FromHandle(hdc));
    M().handles.Erase(FromHandle(hdc));
    return true;
}

Surface* SurfaceOf(const DeviceContext& dc) {
    if (!dc.target) return &M().screen_scratch;
    Window* w = WinOf(dc.target);
    return w ? &w->surface : nullptr;
}

void Canvas::Fill(const RECT& rc, COLORREF c) {
    if (!surface) return;
    int left = std::max(rc.left, clip.left), right = std::min(rc.right, clip.right);
    int top = std::max(rc.top, clip.top), bottom = std::min(rc.bottom, clip.bottom);
    c &= 0x00FFFFFF;
    for (int y = top; y < bottom; ++y) {
        COLORREF* row = surface->pixels.data() + size_t(y) * size_t(surface->width);
        std::fill(row + left, row + std::max(left, right), c);
    }
}

Canvas Canvas::Within(const RECT& rc) const {
    Canvas c = *this;
    c.clip.left = std::max(clip.left, rc.left);
    c.clip.top = std::max(clip.top, rc.top);
    c.clip.right = std::max(c.clip.left, std::min(clip.right, rc.right));
    c.clip.bottom = std::max(c.clip.top, std::min(clip.bottom, rc.bottom));
    return c;
}

Canvas CanvasOf(const DeviceContext& dc) {
    Canvas c;
    c.surface = SurfaceOf(dc);
    if (!c.surface) return c;
    c.clip = RECT{0, 0, c.surface->width, c.surface->height};
    return c.Within(dc.clip);
}

LOGPEN PenOf(const DeviceContext& dc) {
    if (const Pen* pen = M().handles.Get<Pen>(dc.state.pen)) return pen->log;
    return LOGPEN{PS_SOLID, {1, 0}, RGB(0, 0, 0)};
}

bool BrushColour(HBRUSH hbrush, COLORREF* colour) {
    if (const Brush* brush = M().handles.Get<Brush>(hbrush)) {
        if (brush->log.lbStyle == BS_NULL) return false;
        *colour = brush->log.lbColor;
        return true;
    }
    // FillRect and window classes take a system colour index + 1 for a brush.
    uintptr_t v = FromHandle(hbrush);
    if (v == 0 || v > (kIndexFlag | 0xFFFF)) return false;
    int slot = SysColorSlot(int(v) - 1);
    if (slot < 0) return false;
    *colour = kSysColors[slot];
    return true;
}

bool BrushColourOf(const DeviceContext& dc, COLORREF* colour) {
    if (M().handles.Get<Brush>(dc.state.brush)) return BrushColour(dc.state.brush, colour);
    *colour = RGB(255, 255, 255);
    return true;
}

}  // namespace sim::gdi

using namespace sim;
using namespace sim::gdi;

namespace {

// The device's pens are solid, dashed or null; a dashed pen wider than one
// pixel is made solid. Any other style is refused.
bool CheckPenStyle(LOGPEN* log) {
    if (log->lopnStyle != PS_SOLID && log->lopnStyle != PS_DASH && log->lopnStyle != PS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    log->lopnWidth.x = std::max<LONG>(log->lopnWidth.x, 1);
    if (log->lopnStyle == PS_DASH && log->lopnWidth.x > 1) log->lopnStyle = PS_SOLID;
    log->lopnColor &= 0x00FFFFFF;
    return true;
}

}  // namespace

extern "C" {

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
    SIM_API("CreatePen");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Gdi();
    LOGPEN log{UINT(iStyle), {cWidth, 0}, color};
    if (!CheckPenStyle(&log)) return nullptr;
    return NewPen(log, CurrentPid(), false);
}

HPEN WINAPI CreatePenIndirect(const LOGPEN* plpen) {
    SIM_API("CreatePenIndirect");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!plpen) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Gdi();
    LOGPEN log = *plpen;
    if (!CheckPenStyle(&log)) return nullptr;
    return NewPen(log, CurrentPid(), false);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    SIM_API("CreateSolidBrush");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Gdi();
    return NewBrush(BS_SOLID, color, CurrentPid(), false);
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    SIM_API("GetSysColorBrush");
    int slot = SysColorSlot(nIndex);
    if (slot < 0) return nullptr;
    State& g = Gdi();
    HBRUSH& brush = g.sys_color_brushes[slot];
    if (!brush) brush = NewBrush(BS_SOLID, kSysColors[slot], 0, true);
    return brush;
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
    SIM_API("CreateFontIndirectW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Gdi();
    auto font = std::make_unique<Font>();
    font->log = *lplf;
    font->log.lfFaceName[LF_FACESIZE - 1] = 0;
    return ToHandle<HFONT>(Add(std::move(font), CurrentPid())->handle);
}

HGDIOBJ WINAPI GetStockObject(int i) {
    SIM_API("GetStockObject");
    if (SIM_FAIL()) return nullptr;
    State& g = Gdi();
    if (i >= WHITE_BRUSH && i <= NULL_BRUSH) return g.stock_brushes[i];
    if (i >= WHITE_PEN && i <= NULL_PEN) return g.stock_pens[i - WHITE_PEN];
    if (i == SYSTEM_FONT) return g.system_font;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

int WINAPI GetObjectW(HGDIOBJ h, int c, LPVOID pv) {
    SIM_API("GetObjectW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    Object* o = M().handles.Find(FromHandle(h));
    const void* src = nullptr;
    size_t size = 0;
    LOGFONTW system;
    if (o && o->kind == Kind::Pen) {
        src = &static_cast<Pen*>(o)->log;
        size = sizeof(LOGPEN);
    } else if (o && o->kind == Kind::Brush) {
        src = &static_cast<Brush*>(o)->log;
        size = sizeof(LOGBRUSH);
    } else if (o && o->kind == Kind::Font) {
        if (h == Gdi().system_font) {
            system = SystemFontLog();  // follows the device's resolution
            src = &system;
        } else {
            src = &static_cast<Font*>(o)->log;
        }
        size = sizeof(LOGFONTW);
    } else {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!pv) return int(size);
    if (c <= 0) return 0;
    size_t n = std::min(size, size_t(c));
    std::memcpy(pv, src, n);
    return int(n);
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
    SIM_API("GetObjectType");
    Object* o = M().handles.Find(FromHandle(h));
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (o->kind) {
        case Kind::Pen: return OBJ_PEN;
        case Kind::Brush: return OBJ_BRUSH;
        case Kind::Font: return OBJ_FONT;
        case Kind::DC: return OBJ_DC;
        default: SetLastError(ERROR_INVALID_HANDLE); return 0;
    }
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    SIM_API("GetCurrentObject");
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return nullptr;
    switch (type) {
        case OBJ_PEN: return dc->state.pen;
        case OBJ_BRUSH: return dc->state.brush;
        case OBJ_FONT: return dc->state.font;
        default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    SIM_API("SelectObject");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return nullptr;
    Object* o = M().handles.Find(FromHandle(h));
    HGDIOBJ previous = nullptr;
    if (o && o->kind == Kind::Pen) {
        previous = dc->state.pen;
        dc->state.pen = static_cast<HPEN>(h);
    } else if (o && o->kind == Kind::Brush) {
        previous = dc->state.brush;
        dc->state.brush = static_cast<HBRUSH>(h);
    } else if (o && o->kind == Kind::Font) {
        previous = dc->state.font;
        dc->state.font = static_cast<HFONT>(h);
    } else {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    SIM_API("DeleteObject");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Object* o = M().handles.Find(FromHandle(ho));
    if (!o || (o->kind != Kind::Pen && o->kind != Kind::Brush && o->kind != Kind::Font)) {
        InvalidFree("DeleteObject", FromHandle(ho));
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (IsStock(o)) return TRUE;
    uintptr_t h = FromHandle(ho);
    if (SelectedAnywhere(h)) {
        // A program that deletes what it still has selected leaks it on the
        // device; tests look for these.
        std::string what = "pid=" + std::to_string(CurrentPid()) + " handle=" + Hex(h);
        Gdi().delete_failures.push_back(what);
        Log("gdi delete-selected " + what);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    M().handles.Erase(h);
    return TRUE;
}

int WINAPI SaveDC(HDC hdc) {
    SIM_API("SaveDC");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return 0;
    dc->saved.push_back(dc->state);
    return int(dc->saved.size());
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
    SIM_API("RestoreDC");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return FALSE;
    int depth = int(dc->saved.size());
    // A negative level counts back from the most recent save (-1).
    int level = nSavedDC < 0 ? depth + 1 + nSavedDC : nSavedDC;
    if (nSavedDC == 0 || level < 1 || level > depth) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    dc->state = dc->saved[size_t(level - 1)];
    dc->saved.resize(size_t(level - 1));
    return TRUE;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    SIM_API("SetTextColor");
    if (SIM_FAIL()) return CLR_INVALID;
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return CLR_INVALID;
    return std::exchange(dc->state.text, color & 0x00FFFFFF);
}

COLORREF WINAPI GetTextColor(HDC hdc) {
    SIM_API("GetTextColor");
    DeviceContext* dc = CheckDc(hdc);
    return dc ? dc->state.text : CLR_INVALID;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    SIM_API("SetBkColor");
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return CLR_INVALID;
    return std::exchange(dc->state.bk, color & 0x00FFFFFF);
}

COLORREF WINAPI GetBkColor(HDC hdc) {
    SIM_API("GetBkColor");
    DeviceContext* dc = CheckDc(hdc);
    return dc ? dc->state.bk : CLR_INVALID;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    SIM_API("SetBkMode");
    if (SIM_FAIL()) return 0;
    DeviceContext* dc = CheckDc(hdc);
    if (!dc) return 0;
    if (mode != TRANSPARENT && mode != OPAQUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return std::exchange(dc->state.bk_mode, mode);
}

int WINAPI GetBkMode(HDC hdc) {
    SIM_API("GetBkMode");
    DeviceContext* dc = CheckDc(hdc);
    return dc ? dc->state.bk_mode : 0;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    SIM_API("GetDeviceCaps");
    // A display driver that cannot answer says 0.
    if (SIM_FAIL()) return 0;
    if (!CheckDc(hdc)) return 0;
    const Machine& m = M();
    switch (index) {
        case LOGPIXELSX: return m.dpi_x;
        case LOGPIXELSY: return m.dpi_y;
        case HORZRES: return m.width;
        case VERTRES: return m.height;
        case BITSPIXEL: return 16;
        case PLANES: return 1;
        case NUMCOLORS: return -1;  // more than 256 colours
        default: return 0;
    }
}

DWORD WINAPI GetSysColor(int nIndex) {
    SIM_API("GetSysColor");
    return SysColor(nIndex);
}

}  // extern "C"

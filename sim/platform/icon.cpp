// Icons: LoadIconW from a program's resources, DestroyIcon and drawing.
//
// An icon keeps every image of its group. Drawing picks the image whose
// size fits the request best (the same size, else the next larger, else the
// largest), scales it by nearest-neighbour sampling of pixel centres, and
// leaves the destination alone where the image is transparent.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>

#include "gdi.h"
#include <sim/resources.h>
#include "module.h"

namespace sim::icon {

HICON Create(std::vector<res::IconImage> images) {
    auto icon = std::make_unique<Icon>();
    icon->images = std::move(images);
    icon->owner_pid = CurrentPid();
    Icon* raw = icon.get();
    raw->handle = M().handles.Insert(std::move(icon));
    return ToHandle<HICON>(raw->handle);
}

const res::IconImage* Pick(const Icon& icon, int cx, int cy) {
    const res::IconImage* exact = nullptr;
    const res::IconImage* larger = nullptr;
    const res::IconImage* largest = nullptr;
    for (const res::IconImage& image : icon.images) {
        if (image.width <= 0 || image.height <= 0 || image.argb.size() != size_t(image.width) * size_t(image.height))
            continue;
        if (image.width == cx && image.height == cy) {
            if (!exact || image.bits_per_pixel > exact->bits_per_pixel) exact = &image;
        } else if (image.width >= cx && image.height >= cy) {
            if (!larger || long(image.width) * image.height < long(larger->width) * larger->height) larger = &image;
        }
        if (!largest || long(image.width) * image.height > long(largest->width) * largest->height) largest = &image;
    }
    return exact ? exact : larger ? larger : largest;
}

}  // namespace sim::icon

using namespace sim;
using namespace sim::gdi;

namespace {

COLORREF ToColorref(uint32_t argb) {
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

COLORREF Blend(COLORREF dst, uint32_t argb) {
    uint32_t a = argb >> 24;
    auto mix = [&](uint32_t d, uint32_t s) { return (s * a + d * (255 - a) + 127) / 255; };
    return RGB(mix(GetRValue(dst), (argb >> 16) & 0xFF), mix(GetGValue(dst), (argb >> 8) & 0xFF),
               mix(GetBValue(dst), argb & 0xFF));
}

}  // namespace

extern "C" {

HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    SIM_API("LoadIconW");
    if (SIM_FAIL()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!lpIconName) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    auto file = ModuleResources(hInstance);
    if (!file) return nullptr;
    auto images = res::LoadIconGroup(*file, ResourceName(lpIconName));
    if (!images || images->empty()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    // Every call makes a new icon that the caller gives back with DestroyIcon.
    return icon::Create(std::move(*images));
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
    SIM_API("DestroyIcon");
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!M().handles.Get<icon::Icon>(hIcon)) {
        InvalidFree("DestroyIcon", FromHandle(hIcon));
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    M().handles.Erase(FromHandle(hIcon));
    return TRUE;
}

BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT istepIfAniCur,
                       HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    SIM_API("DrawIconEx");
    (void)istepIfAniCur;
    if (SIM_FAIL()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DeviceContext* dc = Dc(hdc);
    const icon::Icon* icon = M().handles.Get<icon::Icon>(hIcon);
    if (!dc || !icon || cxWidth < 0 || cyWidth < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // No size asked for: the icon's own, the device's standard icon size.
    int want_x = cxWidth, want_y = cyWidth;
    if (want_x == 0 && want_y == 0) want_x = want_y = M().ScaleX(32);
    else if (want_x == 0) want_x = want_y;
    else if (want_y == 0) want_y = want_x;
    const res::IconImage* image = icon::Pick(*icon, want_x, want_y);
    if (!image) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int cx = cxWidth ? cxWidth : image->width;
    int cy = cyWidth ? cyWidth : image->height;
    Canvas canvas = CanvasOf(*dc);
    if (!canvas.surface) return TRUE;

    // A flicker-free brush stands for the off-screen background the icon is
    // first drawn on; the whole cell then shows it.
    COLORREF background;
    bool has_background = hbrFlickerFreeDraw && BrushColour(hbrFlickerFreeDraw, &background);
    // Only the part of the cell inside the clip is walked.
    const RECT& clip = canvas.clip;
    int x_begin = int(std::clamp<int64_t>(int64_t(clip.left) - xLeft, 0, cx));
    int x_end = int(std::clamp<int64_t>(int64_t(clip.right) - xLeft, 0, cx));
    int y_begin = int(std::clamp<int64_t>(int64_t(clip.top) - yTop, 0, cy));
    int y_end = int(std::clamp<int64_t>(int64_t(clip.bottom) - yTop, 0, cy));
    if (has_background)
        canvas.Fill(RECT{xLeft + x_begin, yTop + y_begin, xLeft + x_end, yTop + y_end}, background);

    UINT what = diFlags & DI_NORMAL;
    if (what == 0) return TRUE;
    for (int y = y_begin; y < y_end; ++y) {
        // Nearest neighbour, sampling at the centre of each destination pixel.
        int sy = int((int64_t(2) * y + 1) * image->height / (2 * int64_t(cy)));
        for (int x = x_begin; x < x_end; ++x) {
            int dx = xLeft + x, dy = yTop + y;
            int sx = int((int64_t(2) * x + 1) * image->width / (2 * int64_t(cx)));
            uint32_t argb = image->At(sx, sy);
            uint32_t alpha = argb >> 24;
            if (what == DI_MASK) {
                // The AND mask alone: opaque pixels go black.
                if (alpha != 0) canvas.Plot(dx, dy, RGB(0, 0, 0));
            } else if (what == DI_IMAGE) {
                canvas.Plot(dx, dy, ToColorref(argb));
            } else if (alpha == 255) {
                canvas.Plot(dx, dy, ToColorref(argb));
            } else if (alpha != 0) {
                canvas.Plot(dx, dy, Blend(canvas.At(dx, dy), argb));
            }
        }
    }
    return TRUE;
}

}  // extern "C"

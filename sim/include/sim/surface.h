// Pixels: every window has a surface of its own, and the screen is composed
// from them. Colours are the platform's COLORREF, 0x00BBGGRR.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Surface {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;

    void Resize(int w, int h, COLORREF fill = 0x00FFFFFF);
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    COLORREF At(int x, int y) const { return Contains(x, y) ? pixels[size_t(y) * width + x] : CLR_INVALID; }
    void Set(int x, int y, COLORREF c) {
        if (Contains(x, y)) pixels[size_t(y) * width + x] = c & 0x00FFFFFF;
    }
    // Fills [left, right) x [top, bottom), clipped to the surface.
    void Fill(const RECT& rc, COLORREF c);
    // Copies src with its top-left corner at (x, y), clipped to this surface.
    void Blit(const Surface& src, int x, int y);
};

// Writes an RGB PNG; returns false (and says why in *error) on failure.
bool WritePng(const Surface& s, const std::string& path, std::string* error = nullptr);
bool ReadPng(const std::string& path, Surface* out, std::string* error = nullptr);

}  // namespace sim

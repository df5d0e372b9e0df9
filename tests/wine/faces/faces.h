// The states of vesk's button that the Wine end-to-end tests compare with the
// simulator's rendering, pixel for pixel, at 96 dpi. Both sides include this.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace faces {

// The shell's theme for these renderings: values "8" and "9" of
// HKEY_LOCAL_MACHINE\Software\Microsoft\Color.
constexpr DWORD kThemeBack = 0x00A05010;  // RGB(0x10, 0x50, 0xA0)
constexpr DWORD kThemeFore = 0x0030E0F0;  // RGB(0xF0, 0xE0, 0x30)

constexpr int kWidth = 28;   // the button at 96 dpi
constexpr int kHeight = 26;  // the taskbar at 96 dpi

struct State {
    const char* name;
    bool desktop;     // the desktop in front, else a test application
    DWORD exstyle;    // of the application in front
    bool pressed;     // the pen held on the close zone
};

inline const std::vector<State>& States() {
    static const std::vector<State> states = {
        {"cross", false, 0, false},
        {"cross-pressed", false, 0, true},
        {"ok", false, 0x80000000, false},
        {"ok-pressed", false, 0x80000000, true},
        {"desktop", true, 0, false},
    };
    return states;
}

// The pen on the close zone, in the button's client coordinates.
constexpr int kPressX = 20;
constexpr int kPressY = 10;

// The text box of "ok", where the two platforms' text may differ.
constexpr RECT kTextBox = {10, 5, 26, 20};

// Pixels left out of the comparison: the text, where the two platforms'
// fonts may differ.
inline bool Masked(const State& state, int x, int y) {
    return state.exstyle != 0 && !state.desktop && x >= kTextBox.left && x < kTextBox.right && y >= kTextBox.top &&
           y < kTextBox.bottom;
}

// Pixels as COLORREF values, row after row.
using Pixels = std::vector<COLORREF>;

inline bool WritePpm(const std::string& path, const Pixels& pixels) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
    for (COLORREF c : pixels) {
        unsigned char rgb[3] = {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>((c >> 8) & 0xFF),
                                static_cast<unsigned char>((c >> 16) & 0xFF)};
        std::fwrite(rgb, 1, 3, f);
    }
    return std::fclose(f) == 0;
}

inline bool ReadPpm(const std::string& path, Pixels* pixels) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    int w = 0, h = 0, max = 0;
    bool ok = std::fscanf(f, "P6 %d %d %d", &w, &h, &max) == 3 && w == kWidth && h == kHeight && max == 255 &&
              std::fgetc(f) != EOF;
    pixels->clear();
    for (int i = 0; ok && i < w * h; ++i) {
        unsigned char rgb[3];
        ok = std::fread(rgb, 1, 3, f) == 3;
        pixels->push_back(RGB(rgb[0], rgb[1], rgb[2]));
    }
    std::fclose(f);
    return ok;
}

}  // namespace faces

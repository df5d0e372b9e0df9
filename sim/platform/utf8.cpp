// UTF-8 for the driver's side (names, logs, scripts), UTF-16 for the
// device's.
#include "core.h"

namespace sim {

namespace {

// Decodes the sequence at s[i]; returns its length, or 0 if it is malformed.
size_t Decode(std::string_view s, size_t i, char32_t* out) {
    auto b = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
    uint8_t c = b(i);
    size_t len;
    char32_t cp, min;
    if (c < 0x80) {
        *out = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    *out = cp;
    return len;
}

}  // namespace

bool ValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        size_t n = Decode(s, i, &cp);
        if (!n) return false;
        i += n;
    }
    return true;
}

sim::WString Widen(std::string_view s) {
    sim::WString w;
    w.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        size_t n = Decode(s, i, &cp);
        if (!n) {
            cp = 0xFFFD;
            n = 1;
        }
        if (cp >= 0x10000) {
            w += static_cast<WCHAR>(0xD800 + ((cp - 0x10000) >> 10));
            w += static_cast<WCHAR>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            w += static_cast<WCHAR>(cp);
        }
        i += n;
    }
    return w;
}

std::string Narrow(sim::WStringView w) {
    std::string s;
    for (size_t i = 0; i < w.size();) {
        size_t units;
        char32_t cp = CodePointAt(w, i, &units);
        i += units;
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return s;
}

char32_t CodePointAt(WStringView w, size_t i, size_t* units) {
    char32_t c = char32_t(w[i]);
    *units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < w.size()) {
        char32_t low = char32_t(w[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            *units = 2;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return c;
}

WCHAR UpperCase(WCHAR c) {
    uint32_t u = uint32_t(c);
    if (u >= 'a' && u <= 'z') return WCHAR(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return WCHAR(u - 32);
    if (u == 0xFF) return WCHAR(0x178);
    if ((u >= 0x100 && u <= 0x12F) || (u >= 0x132 && u <= 0x137) || (u >= 0x14A && u <= 0x177))
        return WCHAR(u & ~1u);
    if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E)) return WCHAR(u % 2 ? u : u - 1);
    if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) return WCHAR(u - 32);
    if (u >= 0x430 && u <= 0x44F) return WCHAR(u - 32);
    if (u >= 0x450 && u <= 0x45F) return WCHAR(u - 80);
    return c;
}

}  // namespace sim

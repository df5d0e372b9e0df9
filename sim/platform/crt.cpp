// The C runtime that coredll exports. The wide-string functions work over
// 16-bit WCHAR units; they cannot fail and take nothing from the heap, so
// they are neither counted for fault injection nor marked as the platform's
// code, and neither are the narrow ones, which are the host's own. The heap,
// formatting and conversions are opened as every platform call is.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include <sim/utf8.h>

#include "core.h"
#include "crt.h"

size_t wcslen(const WCHAR* s) {
    const WCHAR* p = s;
    while (*p) ++p;
    return size_t(p - s);
}

WCHAR* wcscpy(WCHAR* dst, const WCHAR* src) {
    WCHAR* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n) {
    size_t i = 0;
    for (; i < n && src[i]; ++i) dst[i] = src[i];
    for (; i < n; ++i) dst[i] = 0;
    return dst;
}

WCHAR* wcscat(WCHAR* dst, const WCHAR* src) {
    wcscpy(dst + wcslen(dst), src);
    return dst;
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) break;
    }
    return 0;
}

int wcscmp(const WCHAR* a, const WCHAR* b) { return wcsncmp(a, b, SIZE_MAX); }

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    for (;; ++a, ++b) {
        WCHAR x = sim::UpperCase(*a), y = sim::UpperCase(*b);
        if (x != y) return x < y ? -1 : 1;
        if (x == 0) return 0;
    }
}

WCHAR* wcschr(const WCHAR* s, WCHAR c) {
    for (;; ++s) {
        if (*s == c) return const_cast<WCHAR*>(s);
        if (*s == 0) return nullptr;
    }
}

WCHAR* wcsrchr(const WCHAR* s, WCHAR c) {
    const WCHAR* found = nullptr;
    for (;; ++s) {
        if (*s == c) found = s;
        if (*s == 0) return const_cast<WCHAR*>(found);
    }
}

// ---------------------------------------------------------------------------
// The heap, formatting and conversions of coredll's C runtime

namespace sim::crt {

void* Malloc(size_t n) {
    SIM_API("malloc");
    if (SIM_FAIL()) return nullptr;
    return ProgramAlloc(n);
}

void* Realloc(void* block, size_t n) {
    SIM_API("realloc");
    if (SIM_FAIL()) return nullptr;
    return ProgramRealloc(block, n);
}

void Free(void* block) {
    SIM_API("free");
    ProgramFree(block);
}

void Fpreset() {
    // The device's processors have no floating-point unit whose state could
    // need resetting: the emulation library keeps none.
    SIM_API("_fpreset");
}

namespace {

// printf's conversions as the device's C runtime has them, for narrow and
// wide output alike: flags - 0 + space #, width and precision (also *),
// the sizes h and l, and d i u x X o c s S p %. For wsprintfW %s is a wide
// string and %S a narrow one; for sprintf the other way round. Floating
// point is not formatted (the device's code passes it in registers that
// this host's calling convention places differently): "%f" gives "?".
template <class Char>
class Formatter {
public:
    Formatter(Char* out, size_t limit) : out_(out), limit_(limit) {}

    int Run(const Char* f, va_list ap) {
        for (; *f; ++f) {
            if (*f != '%') {
                Put(*f);
                continue;
            }
            ++f;
            bool left = false, zero = false, plus = false, space = false, alt = false;
            for (;; ++f) {
                if (*f == '-') left = true;
                else if (*f == '0') zero = true;
                else if (*f == '+') plus = true;
                else if (*f == ' ') space = true;
                else if (*f == '#') alt = true;
                else break;
            }
            int width = 0, precision = -1;
            if (*f == '*') {
                width = va_arg(ap, int);
                ++f;
            } else {
                while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
            }
            if (*f == '.') {
                ++f;
                precision = 0;
                if (*f == '*') {
                    precision = va_arg(ap, int);
                    ++f;
                } else {
                    while (*f >= '0' && *f <= '9') precision = precision * 10 + (*f++ - '0');
                }
            }
            char size = 0;
            if (*f == 'h' || *f == 'l') size = char(*f++);
            if (*f == 0) break;
            std::u16string text;  // the converted field, before padding
            bool number = false;
            switch (*f) {
            case 'd':
            case 'i': {
                long v = size == 'h' ? short(va_arg(ap, int)) : long(va_arg(ap, int));
                text = Digits(v < 0 ? 0ul - (unsigned long)v : (unsigned long)v, 10, false, precision);
                if (v < 0) text.insert(text.begin(), u'-');
                else if (plus) text.insert(text.begin(), u'+');
                else if (space) text.insert(text.begin(), u' ');
                number = true;
                break;
            }
            case 'u':
            case 'x':
            case 'X':
            case 'o': {
                unsigned long v = va_arg(ap, unsigned int);
                if (size == 'h') v &= 0xffff;
                unsigned base = *f == 'u' ? 10 : *f == 'o' ? 8 : 16;
                text = Digits(v, base, *f == 'X', precision);
                if (alt && v && base == 16) text.insert(0, *f == 'X' ? u"0X" : u"0x");
                if (alt && base == 8 && text[0] != u'0') text.insert(text.begin(), u'0');
                number = true;
                break;
            }
            case 'p':
                text = Digits(uintptr_t(va_arg(ap, void*)), 16, true, 8);
                break;
            case 'c':
                text.push_back(char16_t(va_arg(ap, int)));
                break;
            case 's':
            case 'S': {
                bool wide = (*f == 's') == (sizeof(Char) == 2) ? size != 'h' : size == 'l';
                const void* p = va_arg(ap, const void*);
                if (!p) p = wide ? static_cast<const void*>(u"(null)") : "(null)";
                size_t n = 0;
                for (; precision < 0 || n < size_t(precision); ++n) {
                    char16_t c = wide ? static_cast<const char16_t*>(p)[n]
                                      : char16_t(static_cast<const unsigned char*>(p)[n]);
                    if (!c) break;
                    text.push_back(c);
                }
                break;
            }
            case 'e':
            case 'E':
            case 'f':
            case 'g':
            case 'G':
                (void)va_arg(ap, double);
                text = u"?";
                break;
            case '%':
                text = u"%";
                break;
            default:
                text.push_back(char16_t(*f));
                break;
            }
            Pad(text, width, left, zero && number && !left && precision < 0);
        }
        if (limit_) out_[std::min(n_, limit_ - 1)] = 0;
        return int(std::min(n_, limit_ ? limit_ - 1 : n_));
    }

private:
    static std::u16string Digits(unsigned long v, unsigned base, bool upper, int precision) {
        std::u16string d;
        const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        do {
            d.insert(d.begin(), char16_t(set[v % base]));
            v /= base;
        } while (v);
        if (precision == 0 && d == u"0") d.clear();
        while (precision > 0 && d.size() < size_t(precision)) d.insert(d.begin(), u'0');
        return d;
    }

    void Pad(std::u16string& text, int width, bool left, bool zeros) {
        size_t w = width > 0 ? size_t(width) : 0;
        if (text.size() < w) {
            size_t fill = w - text.size();
            if (left) {
                text.append(fill, u' ');
            } else if (zeros) {
                size_t at = !text.empty() && (text[0] == u'-' || text[0] == u'+' || text[0] == u' ') ? 1 : 0;
                if (text.size() > at + 1 && text[at] == u'0' && (text[at + 1] == u'x' || text[at + 1] == u'X')) at += 2;
                text.insert(at, fill, u'0');
            } else {
                text.insert(0, fill, u' ');
            }
        }
        for (char16_t c : text) Put(Char(c));
    }

    void Put(Char c) {
        if (!limit_ || n_ + 1 < limit_) out_[n_] = c;
        ++n_;
    }

    Char* out_;
    size_t limit_;  // 0: unbounded, as sprintf is
    size_t n_ = 0;
};

}  // namespace

int Sprintf(char* out, const char* format, ...) {
    SIM_API("sprintf");
    if (!out || !format) return -1;
    va_list ap;
    va_start(ap, format);
    int n = Formatter<char>(out, 0).Run(format, ap);
    va_end(ap);
    out[n] = 0;
    return n;
}

// The device's wsprintfW writes at most 1024 characters and the terminator.
int WSprintfW(WCHAR* out, const WCHAR* format, ...) {
    SIM_API("wsprintfW");
    if (!out || !format) return 0;
    va_list ap;
    va_start(ap, format);
    int n = Formatter<WCHAR>(out, 1025).Run(format, ap);
    va_end(ap);
    return n;
}

// The device's code page for a Pocket PC sold in the West is 1252, whose
// bytes below 0x80 and from 0xA0 on are the Latin-1 characters.
size_t Mbstowcs(WCHAR* out, const char* in, size_t n) {
    SIM_API("mbstowcs");
    if (!in) return size_t(-1);
    size_t len = std::strlen(in);
    if (!out) return len;
    size_t i = 0;
    for (; i < n && i < len; ++i) out[i] = WCHAR(static_cast<unsigned char>(in[i]));
    if (i < n) out[i] = 0;
    return i;
}

}  // namespace sim::crt

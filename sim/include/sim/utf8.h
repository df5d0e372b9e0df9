// UTF-8 for the driver's side (names, logs, scripts), UTF-16 for the
// device's: the platform's strings are WCHAR units on every build (char16_t
// on the simulator, wchar_t on desktop Windows), never Linux's 32-bit wchar_t.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace sim {

using WString = std::basic_string<WCHAR>;
using WStringView = std::basic_string_view<WCHAR>;

// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates
// or code points past U+10FFFF.
bool ValidUtf8(std::string_view s);
// UTF-8 to UTF-16 (a code point past U+FFFF becomes a surrogate pair,
// anything malformed U+FFFD) and back (a lone surrogate becomes U+FFFD).
WString Widen(std::string_view s);
std::string Narrow(WStringView w);

// The code point that starts at w[i] and the units it takes (a pair: 2); a
// lone surrogate stands for itself.
char32_t CodePointAt(WStringView w, size_t i, size_t* units);
// The platform's case folding for names (classes, registry keys, resources,
// paths): the alphabets that have simple case pairs.
WCHAR UpperCase(WCHAR c);

}  // namespace sim

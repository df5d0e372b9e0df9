// UTF-8 for the driver's side (names, logs, scripts), wide characters for
// the device's.
#pragma once

#include <string>
#include <string_view>

namespace sim {

// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates
// or code points past U+10FFFF.
bool ValidUtf8(std::string_view s);
// UTF-8 to wide characters (anything malformed becomes U+FFFD) and back.
std::wstring Widen(std::string_view s);
std::string Narrow(std::wstring_view w);

}  // namespace sim

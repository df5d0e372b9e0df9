// UTF-8 on the script side, wide strings on the device side.
#pragma once

#include <string>
#include <string_view>

namespace vesk_sim {

// Well-formed UTF-8: no stray continuation bytes, overlong forms, surrogates
// or code points past U+10FFFF.
bool ValidUtf8(std::string_view s);
// Valid UTF-8 to the platform's wide characters (anything invalid becomes U+FFFD).
std::wstring Widen(std::string_view s);
std::string Narrow(std::wstring_view w);

}  // namespace vesk_sim

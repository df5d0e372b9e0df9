// UTF-8 on the script side, wide strings on the device side: the
// simulator's own conversions.
#pragma once

#include <string>
#include <string_view>

namespace sim {
bool ValidUtf8(std::string_view s);
std::wstring Widen(std::string_view s);
std::string Narrow(std::wstring_view w);
}  // namespace sim

namespace vesk_sim {

using sim::Narrow;
using sim::ValidUtf8;
using sim::Widen;

}  // namespace vesk_sim

// UTF-8 on the script side, wide strings on the device side: the
// simulator's own conversions.
#pragma once

#include <sim/utf8.h>

namespace vesk_sim {

using sim::Narrow;
using sim::ValidUtf8;
using sim::Widen;

}  // namespace vesk_sim

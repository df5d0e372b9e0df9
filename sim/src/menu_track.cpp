// Tracking of popup menus (in progress).
#include "core.h"

namespace sim {

std::optional<MenuView> Device::OpenMenu() const { return std::nullopt; }

}  // namespace sim

// Icons the shell draws for the simulated file system.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include <sim/resources.h>

namespace sim::shell {

std::vector<res::IconImage> ApplicationIcon(COLORREF accent);
std::vector<res::IconImage> CalendarIcon();
std::vector<res::IconImage> TasksIcon();
std::vector<res::IconImage> ContactsIcon();
std::vector<res::IconImage> FindIcon();

}  // namespace sim::shell

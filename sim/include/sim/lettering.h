// Lines of text on a surface of the driver's own (the captions of a contact
// sheet), set in the device's faces by the platform's text engine. A device
// must be on while they are measured or drawn.
#pragma once

#include <sim/surface.h>
#include <sim/utf8.h>
#include <windows.h>

#include <string_view>

namespace sim {

SIZE MeasureLine(const LOGFONTW& font, sim::WStringView text);
// Draws one line with the top-left of its cell at (x, y), within clip.
void DrawLine(Surface& surface, const RECT& clip, const LOGFONTW& font, int x, int y, sim::WStringView text,
              COLORREF ink);

}  // namespace sim

#include <sim/lettering.h>

#include "gdi.h"
#include "text.h"

namespace sim {

SIZE MeasureLine(const LOGFONTW& font, sim::WStringView text) { return text::Measure(font, text); }

void DrawLine(Surface& surface, const RECT& clip, const LOGFONTW& font, int x, int y, sim::WStringView text,
              COLORREF ink) {
    gdi::Canvas canvas{&surface, RECT{0, 0, surface.width, surface.height}};
    gdi::Canvas within = canvas.Within(clip);
    text::DrawLine(within, font, x, y, text, ink);
}

}  // namespace sim

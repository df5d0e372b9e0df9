// vesk's button as the simulator draws it at 96 dpi, in every state that the
// Wine end-to-end tests compare with: one PPM file a state.
//
//   vesk_wine_faces OUTDIR
#include <sim/device.h>

#include <cstdio>
#include <exception>

#include "faces.h"
#include <sim/surface.h>
#include "vesk_image.h"

namespace {

bool Render(const faces::State& state, const std::string& dir) {
    sim::Device device;
    const WCHAR key[] = u"Software\\Microsoft\\Color";
    device.SetDword(HKEY_LOCAL_MACHINE, key, u"8", faces::kThemeBack);
    device.SetDword(HKEY_LOCAL_MACHINE, key, u"9", faces::kThemeFore);
    if (state.desktop) {
        device.Activate(device.desktop());
    } else {
        sim::AppConfig app;
        app.name = "app";
        app.exstyle = state.exstyle;
        device.Launch(app);
    }
    vesk_host::StartVesk(device);

    RECT button{0, 0, 0, 0};
    for (const sim::WindowInfo& w : device.Windows())
        if (w.class_name == u"VeskClass") button = w.rect;
    if (button.right - button.left != faces::kWidth || button.bottom - button.top != faces::kHeight) {
        std::fprintf(stderr, "%s: the button is not %dx%d\n", state.name, faces::kWidth, faces::kHeight);
        return false;
    }
    if (state.pressed) device.PenDown(button.left + faces::kPressX, button.top + faces::kPressY);

    const auto& screen = device.Screen();
    faces::Pixels pixels;
    for (int y = 0; y < faces::kHeight; ++y)
        for (int x = 0; x < faces::kWidth; ++x) pixels.push_back(screen.At(button.left + x, button.top + y));
    if (state.pressed) {
        device.PenMove(button.left, button.top + faces::kPressY);
        device.PenUp(button.left, button.top + faces::kPressY);
    }
    return faces::WritePpm(dir + "/face-" + state.name + ".ppm", pixels);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vesk_wine_faces OUTDIR\n");
        return 2;
    }
    int failures = 0;
    for (const faces::State& state : faces::States()) {
        try {
            if (!Render(state, argv[1])) ++failures;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", state.name, e.what());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

#include "vesk_image.h"

#include "vesk.h"
#include "vesk_res.h"

namespace vesk_host {

namespace {

// A new process starts with its globals as the program's image declares them.
void ResetGlobals() {
    g_hInstance = NULL;
    g_hwndButton = NULL;
    g_hwndDesktop = NULL;
    g_pfnTaskBarProc = NULL;
    g_nLogPixelsX = 0;
    g_nLogPixelsY = 0;
    g_crThemeBack = 0;
    g_crThemeFore = 0;
    g_hBoldFont = NULL;
    g_hCloseIcon = NULL;
    g_bPressed = 0;
    g_bMenuZone = 0;
    g_nMenuItems = 0;
}

sim::ProgramImage MakeImage() {
    sim::ProgramImage image;
    image.exe_path = L"\\Windows\\vesk.exe";
    image.resources.assign(g_veskResources, g_veskResources + g_veskResourcesSize);
    image.entry = [](HINSTANCE instance) {
        static wchar_t command_line[] = L"";
        return WinMain(instance, NULL, command_line, SW_SHOW);
    };
    image.reset = ResetGlobals;
    image.private_heap = true;
    return image;
}

}  // namespace

const sim::ProgramImage& VeskImage() {
    static const sim::ProgramImage image = MakeImage();
    return image;
}

DWORD StartVesk(sim::Device& device) { return device.Start(VeskImage()); }

}  // namespace vesk_host

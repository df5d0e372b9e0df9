// The desktop's entry of vesk.exe: the command line is wide, as on the device.
#include <windows.h>

#include <ce_on_desktop.h>

#undef WinMain

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nShowCmd) {
    return VeskWinMain(hInstance, hPrevInstance, lpCmdLine, nShowCmd);
}

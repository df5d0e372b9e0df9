#include <cstdio>

#include "vesk_image.h"

int main() {
    sim::Device device;
    DWORD pid = vesk_host::StartVesk(device);
    device.LogDump();
    device.Close(pid, L"VeskClass");
    for (const auto& line : device.Log()) std::puts(line.c_str());
    return 0;
}

// The stand-in shell: the taskbar ("HHTaskBar") across the top of the
// screen, the desktop ("DesktopExplorerWindow", "Desktop") under everything,
// both in the process "shell32.exe", and the simulated applications.
#pragma once

#include <sim/records.h>

namespace sim::shell {

void Boot(const DeviceConfig& config);
HWND Launch(const AppConfig& app);
// The shell tells the taskbar that something changed (message 1024).
void Notify();
// The screen takes a new size (a rotation swaps width and height).
void ChangeDisplay(int width, int height);
HWND FindApp(const std::string& name);
// Icons of executables and shortcut files in the simulated file system.
void AddFileIcon(const sim::WString& path, const std::vector<uint8_t>& ico_file);
void AddGeneratedIcon(const sim::WString& path, COLORREF accent);

}  // namespace sim::shell

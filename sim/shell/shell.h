// The stand-in shell: the taskbar ("HHTaskBar") across the top of the
// screen, the desktop ("DesktopExplorerWindow", "Desktop") under everything,
// both in the process "shell32.exe", and the simulated applications.
#pragma once

#include <sim/records.h>

#include <string>
#include <utility>
#include <vector>

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
// The file store: files at device paths, whose case does not matter. It
// outlives a soft reset, as the device's object store does.
void StoreFile(const sim::WString& path, std::vector<uint8_t> data);
const std::vector<uint8_t>* StoredFile(const sim::WString& path);  // null if there is none
// The files directly in a folder ("" for every file), in the order of their folded paths.
std::vector<sim::WString> StoredFiles(const sim::WString& folder);
// The device's installer: reads a Windows CE installation cabinet and checks
// all of it, then stores its files, writes its shortcuts and registry
// entries, and logs each. A cabinet it cannot use changes nothing: false,
// and *error says why.
bool Install(const std::vector<uint8_t>& cabinet, std::string* error);
// What the shell starts at a reset: each file of \Windows\StartUp and what
// it starts (a shortcut's target, any other file itself), in the folder's order.
std::vector<std::pair<sim::WString, sim::WString>> StartUpShortcuts();

}  // namespace sim::shell

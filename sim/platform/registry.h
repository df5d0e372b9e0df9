// The device's registry, for the driver.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include <sim/utf8.h>

namespace sim::reg {

void Set(HKEY root, const sim::WString& key, const sim::WString& name, DWORD type, const std::vector<uint8_t>& data);
bool Delete(HKEY root, const sim::WString& key, const sim::WString& name);
bool DeleteKey(HKEY root, const sim::WString& key);
bool KeyExists(HKEY root, const sim::WString& key);
bool ValueExists(HKEY root, const sim::WString& key, const sim::WString& name);

}  // namespace sim::reg

// The device's registry, for the driver.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace sim::reg {

void Set(HKEY root, const std::wstring& key, const std::wstring& name, DWORD type, const std::vector<uint8_t>& data);
bool Delete(HKEY root, const std::wstring& key, const std::wstring& name);
bool DeleteKey(HKEY root, const std::wstring& key);
bool KeyExists(HKEY root, const std::wstring& key);
bool ValueExists(HKEY root, const std::wstring& key, const std::wstring& name);

}  // namespace sim::reg

// The registry: a value larger than the caller's buffer fails the read.
#include "check.h"

namespace {

const WCHAR kKey[] = TEXT("Software\\VeskConformance");

}  // namespace

CHECK(Registry, ReadingIntoTooSmallABufferFails) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition) ==
            ERROR_SUCCESS);
    const BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CHECK_EQ(RegSetValueExW(key, TEXT("SHColor"), 0, REG_BINARY, eight, 8), ERROR_SUCCESS);

    BYTE buffer[8] = {0};
    DWORD type = 0;
    DWORD size = 4;
    CHECK_EQ(RegQueryValueExW(key, TEXT("SHColor"), nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    // The size needed comes back.
    CHECK_EQ(size, 8u);

    size = 8;
    CHECK_EQ(RegQueryValueExW(key, TEXT("SHColor"), nullptr, &type, buffer, &size), ERROR_SUCCESS);
    CHECK_EQ(type, static_cast<DWORD>(REG_BINARY));
    CHECK_EQ(buffer[7], 8);

    // Names compare without regard to case; a missing value is not found.
    size = 8;
    CHECK_EQ(RegQueryValueExW(key, TEXT("shcolor"), nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    size = 8;
    CHECK_EQ(RegQueryValueExW(key, TEXT("9"), nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);

    RegDeleteValueW(key, TEXT("SHColor"));
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

CHECK(Registry, CreatingAnExistingKeyOpensIt) {
    HKEY first = nullptr;
    HKEY second = nullptr;
    DWORD disposition = 0;
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &first, nullptr) ==
            ERROR_SUCCESS);
    REQUIRE(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &second,
                            &disposition) == ERROR_SUCCESS);
    CHECK_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    const DWORD color = 0x00112233;
    CHECK_EQ(RegSetValueExW(first, TEXT("8"), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&color), 4), ERROR_SUCCESS);
    DWORD read = 0;
    DWORD size = sizeof(read);
    CHECK_EQ(RegQueryValueExW(second, TEXT("8"), nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
             ERROR_SUCCESS);
    CHECK_EQ(read, color);
    RegDeleteValueW(first, TEXT("8"));
    RegCloseKey(first);
    RegCloseKey(second);
}

// The reserved argument must be 0: otherwise the key is neither created nor
// opened, and the caller's handle is left as it was.
CHECK(Registry, CreatingAKeyWithTheReservedArgumentSetFails) {
    HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    CHECK_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 1, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_INVALID_PARAMETER);
    CHECK_TRUE(key == reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234)));
}

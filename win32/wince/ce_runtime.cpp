// The C++ runtime that vesk needs on Windows CE when it is built with clang,
// which brings no library for the device: nothrow new and delete on the C
// runtime's heap in coredll, and the entry point that calls WinMain.
#include <windows.h>
#include <stdlib.h>
#include <new>

const std::nothrow_t std::nothrow{};

void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

extern "C" void WinMainCRTStartup()
{
    ExitThread((DWORD)WinMain(GetModuleHandleW(NULL), NULL, GetCommandLineW(), SW_SHOW));
}

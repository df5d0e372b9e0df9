// The C runtime's wide-string functions, as coredll exports them: they count
// and compare 16-bit WCHAR units. They have C++ linkage, beside the C
// library's own wcslen and friends for Linux's 32-bit wchar_t, which take
// another type and so can never be handed the platform's strings by mistake.
#ifndef VESK_SIM_WCS_H
#define VESK_SIM_WCS_H

#include "windef.h"

size_t wcslen(const WCHAR* s);
WCHAR* wcscpy(WCHAR* dst, const WCHAR* src);
WCHAR* wcsncpy(WCHAR* dst, const WCHAR* src, size_t n);
WCHAR* wcscat(WCHAR* dst, const WCHAR* src);
int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t n);
int _wcsicmp(const WCHAR* a, const WCHAR* b);
WCHAR* wcschr(const WCHAR* s, WCHAR c);
WCHAR* wcsrchr(const WCHAR* s, WCHAR c);

#endif /* VESK_SIM_WCS_H */

// The records vesk hands the platform have the device's sizes when vesk is
// compiled for a 32-bit Windows CE target (checked at compile time).
#include "platform.h"

static_assert(sizeof(void*) == 4, "a 32-bit target");
static_assert(sizeof(MENUITEMINFOW) == 44, "MENUITEMINFOW");
// The device's process record (PROCESSENTRY32W on the device): Unicode, with
// th32MemoryBase and th32AccessKey after the name. These headers call it
// PROCESSENTRY32; their PROCESSENTRY32W lacks the last two fields (556 bytes)
// and would be too short for what toolhelp writes.
static_assert(sizeof(PROCESSENTRY32) == 564, "PROCESSENTRY32");
static_assert(sizeof(SHFILEINFO) == 692, "SHFILEINFO");
static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW");

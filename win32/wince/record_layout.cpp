// The records vesk hands the platform have the device's layout when vesk is
// compiled for a 32-bit target: every size and field offset of
// device_records.inc, checked at compile time.
#include "platform.h"

#include <stddef.h>

static_assert(sizeof(void*) == 4, "a 32-bit target");
#define RECORD(type, size) static_assert(sizeof(type) == size, #type " is " #size " bytes on the device");
#define FIELD(type, field, offset) \
    static_assert(offsetof(type, field) == offset, #type "." #field " is at byte " #offset " on the device");
#include "device_records.inc"
#undef RECORD
#undef FIELD

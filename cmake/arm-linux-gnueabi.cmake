# The simulator for 32-bit ARM Linux (preset arm), run under qemu-arm: the
# device's word size, so pointers, handles, WPARAM, LPARAM and LRESULT are 32
# bits as on a Pocket PC. Debian's armel cross compiler, soft float in ARM
# state, linked statically so that qemu-arm needs no ARM libraries; FreeType,
# libpng, zlib and brotli come from the sysroot of scripts/arm-sysroot.sh.
#   cmake --preset arm      (-DVESK_ARM_SYSROOT=DIR, or that variable in the
#                            environment, for a sysroot elsewhere)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(VESK_ARM_TRIPLET arm-linux-gnueabi)
set(CMAKE_C_COMPILER ${VESK_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VESK_ARM_TRIPLET}-g++)
# cmake/fresh_globals.cmake reads and rewrites vesk's ARM objects with these.
set(CMAKE_LINKER ${VESK_ARM_TRIPLET}-ld)
set(CMAKE_OBJCOPY ${VESK_ARM_TRIPLET}-objcopy)
set(CMAKE_READELF ${VESK_ARM_TRIPLET}-readelf)
set(CMAKE_AR ${VESK_ARM_TRIPLET}-ar)
set(CMAKE_RANLIB ${VESK_ARM_TRIPLET}-ranlib)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)

set(CMAKE_C_FLAGS_INIT "-marm -mfloat-abi=soft")
set(CMAKE_CXX_FLAGS_INIT "-marm -mfloat-abi=soft")
# The programs start at 32 MB, above the device's process slot: a Windows
# CE executable is mapped at its own base address (0x10000 for vesk.exe),
# which the host's programs would otherwise occupy.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,-Ttext-segment=0x02000000")

if(NOT VESK_ARM_SYSROOT)
  if(DEFINED ENV{VESK_ARM_SYSROOT})
    set(VESK_ARM_SYSROOT $ENV{VESK_ARM_SYSROOT})
  else()
    get_filename_component(VESK_ARM_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/arm-sysroot ABSOLUTE)
  endif()
endif()
set(VESK_ARM_LIBDIR ${VESK_ARM_SYSROOT}/usr/lib/${VESK_ARM_TRIPLET})
if(NOT EXISTS ${VESK_ARM_SYSROOT}/.complete)
  message(FATAL_ERROR "no complete ARM sysroot in ${VESK_ARM_SYSROOT}: run scripts/arm-sysroot.sh")
endif()
# Passed on to the configure checks' own projects.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VESK_ARM_SYSROOT)

# Libraries, headers and packages from the sysroot only (the C and C++
# libraries are the cross compiler's own), never the machine's; programs
# (windres, qemu-arm) from the machine.
set(CMAKE_LIBRARY_ARCHITECTURE ${VESK_ARM_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${VESK_ARM_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The static libraries only: read after the platform's defaults, which put
# the shared ones first.
set(CMAKE_USER_MAKE_RULES_OVERRIDE ${CMAKE_CURRENT_LIST_DIR}/static-libraries.cmake)

# FreeType's static library needs what its shared one names (freetype2.pc:
# zlib, libpng, libbrotlidec, which needs libbrotlicommon; no bzip2 in
# Debian's); every link ends with them.
foreach(lang C CXX)
  set(CMAKE_${lang}_STANDARD_LIBRARIES_INIT
      "${VESK_ARM_LIBDIR}/libpng16.a ${VESK_ARM_LIBDIR}/libz.a ${VESK_ARM_LIBDIR}/libbrotlidec.a ${VESK_ARM_LIBDIR}/libbrotlicommon.a -lm")
endforeach()

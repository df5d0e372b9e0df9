# Windows CE (Pocket PC, ARM) with the GCC cross toolchain that targets
# arm-mingw32ce; see win32/wince/CMakeLists.txt.
#
# The toolchain brings its own Windows CE headers, C runtime and import
# libraries (coredll, toolhelp). VESK_CE_TOOLCHAIN says where it is: by
# default the environment variable of that name, else the folder that
# win32/wince/check.sh unpacks it into.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR arm)

if(DEFINED ENV{VESK_CE_TOOLCHAIN})
  set(_vesk_ce_default $ENV{VESK_CE_TOOLCHAIN})
else()
  get_filename_component(_vesk_ce_default ${CMAKE_CURRENT_LIST_DIR}/../build/wince/toolchain/arm-mingw32ce ABSOLUTE)
endif()
set(VESK_CE_TOOLCHAIN ${_vesk_ce_default} CACHE PATH "Where the arm-mingw32ce toolchain is")
set(VESK_CE_TRIPLE arm-mingw32ce)
set(CMAKE_C_COMPILER ${VESK_CE_TOOLCHAIN}/bin/${VESK_CE_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VESK_CE_TOOLCHAIN}/bin/${VESK_CE_TRIPLE}-g++)

# Pocket PC 2003 (Windows CE 4.20) and later. Every Windows CE program is a
# Unicode program; src/platform.h takes the device's branch on _WIN32_WCE.
# The compiler itself defines UNDER_CE and ARM.
set(VESK_CE_DEFINES "-D_WIN32_WCE=0x0420 -DUNICODE -D_UNICODE -D_ARM_")
set(CMAKE_C_FLAGS_INIT "${VESK_CE_DEFINES}")
set(CMAKE_CXX_FLAGS_INIT "${VESK_CE_DEFINES}")

set(CMAKE_FIND_ROOT_PATH ${VESK_CE_TOOLCHAIN}/${VESK_CE_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

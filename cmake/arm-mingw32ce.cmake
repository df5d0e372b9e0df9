# Windows CE (Pocket PC, ARM) with the GCC cross toolchain that targets
# arm-mingw32ce. Not run on our machines; see win32/wince/CMakeLists.txt.
#
#   cmake -S win32/wince -B build-wince -DCMAKE_TOOLCHAIN_FILE=cmake/arm-mingw32ce.cmake
#   cmake --build build-wince
#
# The toolchain brings its own Windows CE headers and import libraries
# (coredll, toolhelp); VESK_CE_TOOLCHAIN says where it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(VESK_CE_TOOLCHAIN /opt/mingw32ce CACHE PATH "Where the arm-mingw32ce toolchain is installed")
set(VESK_CE_TRIPLE arm-mingw32ce)
set(CMAKE_C_COMPILER ${VESK_CE_TOOLCHAIN}/bin/${VESK_CE_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VESK_CE_TOOLCHAIN}/bin/${VESK_CE_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${VESK_CE_TOOLCHAIN}/bin/${VESK_CE_TRIPLE}-windres)

# Pocket PC 2003 (Windows CE 4.20) and later. Every Windows CE program is a
# Unicode program; src/platform.h takes the device's branch on _WIN32_WCE.
set(VESK_CE_DEFINES "-D_WIN32_WCE=0x0420 -DUNDER_CE=0x0420 -DUNICODE -D_UNICODE -DARM -D_ARM_")
set(CMAKE_C_FLAGS_INIT "${VESK_CE_DEFINES}")
set(CMAKE_CXX_FLAGS_INIT "${VESK_CE_DEFINES}")
set(CMAKE_RC_FLAGS_INIT "-D_WIN32_WCE=0x0420 -DUNDER_CE=0x0420")

set(CMAKE_FIND_ROOT_PATH ${VESK_CE_TOOLCHAIN}/${VESK_CE_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

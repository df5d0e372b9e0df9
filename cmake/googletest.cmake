# GoogleTest for a cross build (preset arm): Debian packages GoogleTest's
# libraries for the machine only, so the suites' framework is built from its
# sources (libgtest-dev's /usr/src/googletest) for the target, with its own
# warnings, not ours. find_package(GTest) then finds GTest::gtest and
# GTest::gtest_main here, as it finds the installed ones in a native build.
set(VESK_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, built in a cross build")
if(NOT EXISTS ${VESK_GOOGLETEST_SOURCE}/googletest/CMakeLists.txt)
  message(FATAL_ERROR "no GoogleTest sources in ${VESK_GOOGLETEST_SOURCE} (Debian package libgtest-dev)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VESK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
set(VESK_GTEST_CONFIG_DIR ${CMAKE_BINARY_DIR}/googletest/config)
file(WRITE ${VESK_GTEST_CONFIG_DIR}/GTestConfig.cmake
  "# GoogleTest built from source in this tree (cmake/googletest.cmake).\n")
set(GTest_DIR ${VESK_GTEST_CONFIG_DIR} CACHE PATH "" FORCE)

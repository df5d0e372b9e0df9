# A static link finds static libraries only (cmake/arm-linux-gnueabi.cmake).
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

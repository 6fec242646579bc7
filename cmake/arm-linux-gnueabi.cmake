# Cross-compiling for 32-bit ARM with Debian's arm-linux-gnueabi
# toolchain, the device's processor: plain char is unsigned and wchar_t is 32 bits there.
# ctest runs the tests under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
set(CMAKE_C_FLAGS_INIT -march=armv5te)
set(CMAKE_CXX_FLAGS_INIT -march=armv5te)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabi)
# Libraries for the target beyond the toolchain's come from TESSARON_SYSROOT, when given, with
# their target-specific headers in a folder of the target's name, as Debian lays them out.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabi ${TESSARON_SYSROOT})
if(TESSARON_SYSROOT)
  set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${TESSARON_SYSROOT}/usr/include/arm-linux-gnueabi)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

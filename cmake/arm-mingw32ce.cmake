# Building the device program for the handheld (Windows CE 5.0 on 32-bit ARM) with a GCC that
# targets arm-mingw32ce and supports C++17. Such a toolchain is not a Debian package: put its
# bin folder on PATH, or set TOOLCHAIN_PREFIX to its prefix (for example /opt/mingw32ce).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(TESSARON_WINDOWS_CE ON CACHE BOOL "Build for Windows CE: the device program only" FORCE)
set(TESSARON_TESTS OFF CACHE BOOL "No tests run on the device" FORCE)
set(TESSARON_CE_FORMS ON CACHE BOOL "The device's forms of its calls" FORCE)

set(TOOLCHAIN_PREFIX "" CACHE PATH "Where the arm-mingw32ce toolchain is installed")
set(triple arm-mingw32ce)
if(TOOLCHAIN_PREFIX)
  set(tools ${TOOLCHAIN_PREFIX}/bin/${triple})
  set(CMAKE_FIND_ROOT_PATH ${TOOLCHAIN_PREFIX}/${triple})
else()
  set(tools ${triple})
endif()
set(CMAKE_C_COMPILER ${tools}-gcc)
set(CMAKE_CXX_COMPILER ${tools}-g++)
set(CMAKE_RC_COMPILER ${tools}-windres)
set(CMAKE_DLLTOOL ${tools}-dlltool)

# Windows CE 5.0 on an ARMv5 core; the program's calls come from COREDLL, COMMCTRL and COMMDLG.
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te -DUNICODE -D_UNICODE")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

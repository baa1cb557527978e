# Cross-build for Windows x86-64 with MinGW-w64 (posix threads); tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(DEFINED ENV{SYNAPTOR_DEPS})
    set(_deps "$ENV{SYNAPTOR_DEPS}")
else()
    set(_deps "$ENV{HOME}/.cache/synaptor-deps")
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${_deps}/mingw")
set(CMAKE_PREFIX_PATH "${_deps}/mingw")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's 64-bit Wine loader is not on PATH. Wine maps file names through the
# Unix locale, and in the C locale it cannot open non-ASCII ones: Wine gets a
# UTF-8 locale whatever the caller's (C.UTF-8 is always there). CTest runs the
# test programs through wine-test.sh, which keeps processes Wine starts beside
# them off CTest's output pipes; SYNAPTOR_WINE is the plain command, for the
# end-to-end tests that read a program's output while it runs.
set(SYNAPTOR_WINE env LC_ALL=C.UTF-8 /usr/lib/wine/wine64)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-test.sh")

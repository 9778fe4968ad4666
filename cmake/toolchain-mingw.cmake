# Cross-compiles for Windows with MinGW-w64. VOSKEL_MINGW_ARCH picks the
# target: i686 (the product, 32-bit) or x86_64 (a 64-bit build of the same
# code, whose tests run on machines that cannot execute 32-bit x86 code).
#
# The -posix compilers use the winpthreads thread model, which the C++
# standard library (std::mutex, std::thread) needs. Tests run under Wine.
if(NOT VOSKEL_MINGW_ARCH)
  set(VOSKEL_MINGW_ARCH i686)
endif()
set(VOSKEL_MINGW_ARCH ${VOSKEL_MINGW_ARCH} CACHE STRING "MinGW-w64 target: i686 or x86_64")
set(triplet ${VOSKEL_MINGW_ARCH}-w64-mingw32)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VOSKEL_MINGW_ARCH})

set(CMAKE_C_COMPILER ${triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${triplet}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# 64-bit programs run under Wine's 64-bit loader; 32-bit ones through
# scripts/wine32, which falls back to emulation where the machine cannot
# execute 32-bit code.
if(VOSKEL_MINGW_ARCH STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32)
endif()

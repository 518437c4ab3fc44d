# Toolchain file: orasay as a 32-bit Windows console program, cross-built with
# mingw-w64 (POSIX thread model, for std::thread and std::mutex) and run
# through wine.  See LICENSE.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ORASAY_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ORASAY_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORASAY_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORASAY_MINGW_TRIPLET}-windres)

# Floating point in SSE2 registers, as on x86-64, instead of the x87 unit,
# whose wider intermediate results round differently: the engine's audio
# then matches the Linux build's.  Every CPU that runs Windows 8 or later
# has SSE2.
set(ORASAY_MINGW_FLAGS "-msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${ORASAY_MINGW_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${ORASAY_MINGW_FLAGS}")

set(CMAKE_FIND_ROOT_PATH /usr/${ORASAY_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and gtest discovery run the .exe files through wine, quietly, in a
# wine prefix of the build tree's own; the build creates it once (target
# wine_prefix) before anything runs in it.
find_program(ORASAY_WINE wine)
if(ORASAY_WINE)
  set(ORASAY_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "wine prefix of the tests")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINEDEBUG=-all
      WINEPREFIX=${ORASAY_WINEPREFIX} ${ORASAY_WINE})
endif()

# The libraries that the engine builds with their own CMake projects
# (third_party/windows) use this file as well.
set(ORASAY_TOOLCHAIN_FILE ${CMAKE_CURRENT_LIST_FILE})

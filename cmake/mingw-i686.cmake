# Toolchain file: orasay as a 32-bit Windows console program, the program
# that ships, cross-built with mingw-w64 and run through wine.  See LICENSE.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORASAY_MINGW_TRIPLET i686-w64-mingw32)
# Floating point in SSE2 registers, as on x86-64, instead of the x87 unit,
# whose wider intermediate results round differently: the engine's audio
# then matches the Linux build's.  Every CPU that runs Windows 8 or later
# has SSE2.
set(ORASAY_MINGW_FLAGS "-msse2 -mfpmath=sse")
# wine's loader for 32-bit programs, with its own server and a 32-bit
# prefix, whether or not wine64 is installed too.
set(ORASAY_WINE_NAMES wine)
set(ORASAY_WINE_SERVER_NAMES wineserver32)
set(ORASAY_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

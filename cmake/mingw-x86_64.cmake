# Toolchain file: orasay as a 64-bit Windows console program, a test build
# only, for machines whose kernel runs no 32-bit x86 code: the same sources,
# run through wine64 without any 32-bit part of wine.  See LICENSE.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake

set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ORASAY_MINGW_TRIPLET x86_64-w64-mingw32)
# SSE2 arithmetic is x86-64's default.
set(ORASAY_MINGW_FLAGS "")
# wine64 itself, with its own server and a 64-bit prefix: Debian's wine
# wrapper would try the 32-bit loader first.  It starts through a wrapper
# that fixes its address-space layout.
set(ORASAY_WINE_NAMES wine64)
set(ORASAY_WINE_SERVER_NAMES wineserver64)
set(ORASAY_WINE_ARCH win64)
set(ORASAY_WINE_WRAPPER ${CMAKE_CURRENT_LIST_DIR}/wine64-fixed-layout)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

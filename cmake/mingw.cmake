# The part of the mingw-w64 toolchain files that the 32- and the 64-bit
# Windows builds share (POSIX thread model, for std::thread and std::mutex).
# They set, before including it: CMAKE_SYSTEM_PROCESSOR, ORASAY_MINGW_TRIPLET,
# ORASAY_MINGW_FLAGS, the names of wine's loader (ORASAY_WINE_NAMES) and server
# (ORASAY_WINE_SERVER_NAMES), the prefix's architecture (ORASAY_WINE_ARCH)
# and, if the loader is started through one, a wrapper (ORASAY_WINE_WRAPPER).
# See LICENSE.

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ORASAY_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORASAY_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORASAY_MINGW_TRIPLET}-windres)
set(CMAKE_C_FLAGS_INIT "${ORASAY_MINGW_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${ORASAY_MINGW_FLAGS}")

set(CMAKE_FIND_ROOT_PATH /usr/${ORASAY_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and gtest discovery run the .exe files through wine, quietly, in a
# wine prefix of the build tree's own; the build creates it once (target
# wine_prefix) before anything runs in it.  ORASAY_WINE_ENV is the
# environment of every wine command.
find_program(ORASAY_WINE NAMES ${ORASAY_WINE_NAMES} PATHS /usr/lib/wine)
find_program(ORASAY_WINESERVER NAMES ${ORASAY_WINE_SERVER_NAMES} PATHS /usr/lib/wine)
if(ORASAY_WINE)
  set(ORASAY_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "wine prefix of the tests")
  set(ORASAY_WINE_ENV WINEDEBUG=-all WINEPREFIX=${ORASAY_WINEPREFIX} WINEARCH=${ORASAY_WINE_ARCH}
      WINESERVER=${ORASAY_WINESERVER})
  if(ORASAY_WINE_WRAPPER)
    # The wrapper starts the loader that it finds in WINELOADER: the one
    # found, from the cache, since this file is read more than once.
    list(APPEND ORASAY_WINE_ENV WINELOADER=$CACHE{ORASAY_WINE})
    set(ORASAY_WINE ${ORASAY_WINE_WRAPPER})
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${ORASAY_WINE_ENV} ${ORASAY_WINE})
endif()

# The libraries that the engine builds with their own CMake projects
# (third_party/windows) use the same toolchain file.
set(ORASAY_TOOLCHAIN_FILE ${CMAKE_PARENT_LIST_FILE})

# How the Windows build runs its tests: through wine, in a prefix that the
# build makes first (the test programs' gtest discovery runs in it), with one
# wineserver for the whole test run.  Sets orasay_run_tests (whether the
# build's programs can run here), orasay_wine_env (the environment of every
# wine command, as a ;-list) and orasay_wine_test_properties (for every test
# that runs under wine), and keeps what runs in ORASAY_WINDOWS_RUN_TESTS for
# scripts/test to report.  See LICENSE.

set(orasay_run_tests ON)
set(orasay_wine_test_properties "")
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

set(orasay_run_tests ${CMAKE_CROSSCOMPILING_EMULATOR})
if(orasay_run_tests AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Some kernels execute no 32-bit x86 program at all, wine's loader
  # included.  On such a machine the 32-bit build is built and checked
  # without running it, and the 64-bit build (cmake/mingw-x86_64.cmake)
  # runs the tests under wine64 instead.
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/probe-i386 ${CMAKE_CROSSCOMPILING_EMULATOR}
                  OUTPUT_VARIABLE orasay_probe OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE orasay_probe_status)
  if(orasay_probe_status EQUAL 3)
    string(REGEX REPLACE "^no: " "" orasay_probe "${orasay_probe}")
    set(orasay_windows_tests "none: 32-bit x86 programs cannot run here (${orasay_probe})")
    message(STATUS "Windows tests: ${orasay_windows_tests}; the binaries are checked, not run")
    set(orasay_run_tests OFF)
  endif()
elseif(NOT orasay_run_tests)
  message(WARNING "wine not found: the Windows tests are built but not run")
  set(orasay_windows_tests "none: wine not found")
endif()

if(orasay_run_tests)
  set(orasay_run_tests ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(orasay_windows_tests "32-bit under wine")
  else()
    set(orasay_windows_tests "64-bit under wine64")
  endif()
  list(JOIN ORASAY_WINE_ENV ";" orasay_wine_env)
  add_custom_command(OUTPUT ${ORASAY_WINEPREFIX}/system.reg
    COMMAND ${CMAKE_COMMAND} -E time ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot -i
    COMMENT "Creating the wine prefix ${ORASAY_WINEPREFIX}")
  add_custom_target(wine_prefix ALL DEPENDS ${ORASAY_WINEPREFIX}/system.reg)
  # One wineserver for the whole test run, started before the first test
  # and stopped after the last: a wine program started just as an idle
  # server shuts down fails ("wine client error: ... Connection reset by
  # peer"), and each fresh server boots the prefix again (about 2 s).  The
  # boot starts wine's services, which live as long as the server: they get
  # no standard streams, or ctest would wait for them to close.
  if(NOT ORASAY_WINESERVER)
    message(FATAL_ERROR "wine is installed without its wineserver: install wine as scripts/deps does")
  endif()
  add_test(NAME wine.start_server
           COMMAND sh -c [=["$0" -k 2>/dev/null; "$0" -w; "$0" -p </dev/null >/dev/null 2>&1
                           exec "$1" wineboot -i </dev/null >/dev/null 2>&1]=]
                   ${ORASAY_WINESERVER} ${ORASAY_WINE})
  add_test(NAME wine.stop_server COMMAND ${ORASAY_WINESERVER} -k)
  set_tests_properties(wine.start_server wine.stop_server PROPERTIES
    ENVIRONMENT "${orasay_wine_env}")
  set_tests_properties(wine.start_server PROPERTIES FIXTURES_SETUP wine_server)
  set_tests_properties(wine.stop_server PROPERTIES FIXTURES_CLEANUP wine_server)
  set(orasay_wine_test_properties FIXTURES_REQUIRED wine_server)
endif()
set(ORASAY_WINDOWS_RUN_TESTS "${orasay_windows_tests}" CACHE INTERNAL
    "which Windows run-time tests this build runs, for scripts/test")

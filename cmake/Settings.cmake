# Warnings, sanitizers and assertions for every target of the project.

add_compile_options(-Wall -Wextra)
if(ORASAY_WERROR)
  add_compile_options(-Werror)
endif()

# On Windows every program and DLL carries its own C, C++ and thread runtimes,
# so that nothing but the engine needs to sit beside orasay.exe.
if(WIN32)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

# assert() guards programmer errors in every build type, release included.
foreach(config RELEASE RELWITHDEBINFO MINSIZEREL)
  foreach(lang C CXX)
    string(REPLACE "-DNDEBUG" "" CMAKE_${lang}_FLAGS_${config} "${CMAKE_${lang}_FLAGS_${config}}")
  endforeach()
endforeach()

if(ORASAY_SANITIZE)
  # -O1, as the sanitizers advise: stacks stay close to the source, and the
  # build takes a third less time than at -O2.
  foreach(lang C CXX)
    string(REPLACE "-O2" "-O1" CMAKE_${lang}_FLAGS_RELWITHDEBINFO "${CMAKE_${lang}_FLAGS_RELWITHDEBINFO}")
  endforeach()
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzz build: every target is instrumented for libFuzzer's coverage and
# checked by ASan and UBSan, each of which halts at its first finding; the
# fuzz targets link libFuzzer itself.
if(ORASAY_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ORASAY_FUZZ needs clang: CC=clang CXX=clang++ cmake -DORASAY_FUZZ=ON ...")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

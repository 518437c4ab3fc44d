# The static library orasay_espeak from the eSpeak NG tree ${src}: the Klatt
# synthesiser and nothing else (no audio output, async mode, MBROLA,
# speech-player or sonic).  Included by the build for the target and by the
# host build of the data compiler (host/).

set(lib ${src}/src/libespeak-ng)
set(ucd ${src}/src/ucd-tools/src)

set(config_dir ${CMAKE_CURRENT_BINARY_DIR}/include)
file(WRITE ${config_dir}/config.h.in [=[
#define HAVE_MKSTEMP @ORASAY_HAVE_MKSTEMP@
#define USE_ASYNC 0
#define USE_KLATT 1
#define USE_LIBPCAUDIO 0
#define USE_LIBSONIC 0
#define USE_MBROLA 0
#define USE_SPEECHPLAYER 0
#define PACKAGE_VERSION "1.52.0"
]=])
include(CheckSymbolExists)
check_symbol_exists(mkstemp stdlib.h ORASAY_HAVE_MKSTEMP)
if(ORASAY_HAVE_MKSTEMP)
  set(ORASAY_HAVE_MKSTEMP 1)
else()
  set(ORASAY_HAVE_MKSTEMP 0)
endif()
configure_file(${config_dir}/config.h.in ${config_dir}/config.h @ONLY)

add_library(orasay_espeak STATIC
  ${lib}/common.c ${lib}/mnemonics.c ${lib}/error.c ${lib}/ieee80.c
  ${lib}/compiledata.c ${lib}/compiledict.c
  ${lib}/dictionary.c ${lib}/encoding.c ${lib}/intonation.c ${lib}/langopts.c
  ${lib}/numbers.c ${lib}/phoneme.c ${lib}/phonemelist.c ${lib}/readclause.c
  ${lib}/setlengths.c ${lib}/soundicon.c ${lib}/spect.c ${lib}/ssml.c
  ${lib}/synthdata.c ${lib}/synthesize.c ${lib}/tr_languages.c ${lib}/translate.c
  ${lib}/translateword.c ${lib}/voices.c ${lib}/wavegen.c ${lib}/speech.c
  ${lib}/espeak_api.c ${lib}/klatt.c
  ${ucd}/case.c ${ucd}/categories.c ${ucd}/ctype.c ${ucd}/proplist.c
  ${ucd}/scripts.c ${ucd}/tostring.c)
target_include_directories(orasay_espeak SYSTEM PUBLIC ${src}/src/include)
target_include_directories(orasay_espeak PRIVATE
  ${config_dir} ${src}/src/include/compat ${ucd}/include)
# Not our code: its warnings are upstream's.  The data directory comes from
# the engine, never from a path built in; a longer path than upstream's 160
# bytes fits.  LIBESPEAK_NG_STATIC (our patch) keeps the API undecorated, so
# that a Windows DLL linking it exports none of it.
target_compile_options(orasay_espeak PRIVATE -w -fno-exceptions -fwrapv)
target_compile_definitions(orasay_espeak
  PUBLIC LIBESPEAK_NG_STATIC
  PRIVATE PATH_ESPEAK_DATA="/nonexistent/espeak-ng-data" N_PATH_HOME=1024)
# The fuzz build does not trace eSpeak NG's comparisons for libFuzzer: its
# rule matching compares each letter with hundreds of rules, and tracing
# them halved the fuzz targets' executions.  The targets' dictionaries give
# the constructs of its text instead.
if(ORASAY_FUZZ)
  target_compile_options(orasay_espeak PRIVATE -fno-sanitize-coverage=trace-cmp)
endif()
if(WIN32)
  target_compile_definitions(orasay_espeak PRIVATE _USE_MATH_DEFINES)
else()
  target_link_libraries(orasay_espeak PRIVATE m)
endif()

# The install tree beside bin/orasay (installed by src/) and the engine at
# lib/orasay/TV_ENG32.DLL (installed by engine/): the man page, the README,
# the changelog, the copyright, the bash completion, and the Debian package
# made from all of it by CPack.
# On Windows: one folder with orasay.exe, TV_ENG32.DLL, espeak-ng-data\,
# README.txt, COPYRIGHT.txt and the licence texts, zipped by CPack.

set(CPACK_PACKAGE_NAME orasay)
set(CPACK_PACKAGE_VENDOR "orasay")
set(CPACK_PACKAGE_CONTACT "orasay maintainers <orasay@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "speak a text with inline voice markup, or render it into an audio file")

# orasay_windows_notices(): the zip's COPYRIGHT.txt, written for it
# (packaging/copyright-windows.txt), with the versions and SHA-256 sums of
# the Debian source packages pinned in third_party/sources.lock and the
# versions of the cross-compiler's runtime that is linked in; and the
# licence texts it names that LICENSE.txt does not hold, from the pinned
# sources.
function(orasay_windows_notices)
  file(STRINGS ${PROJECT_SOURCE_DIR}/third_party/sources.lock pins REGEX "^[^#]")
  set(ORASAY_PINNED_SOURCES "")
  set(last "")
  foreach(line IN LISTS pins)
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(GET fields 0 package)
    list(GET fields 1 version)
    list(GET fields 2 suite)
    list(GET fields 3 file)
    list(GET fields 4 sum)
    if(NOT package STREQUAL last)
      string(TOUPPER ${package} name)
      string(REPLACE "-" "_" name ${name})
      string(REGEX REPLACE "[+~-].*$" "" upstream ${version})
      set(ORASAY_${name}_VERSION ${version})
      set(ORASAY_${name}_UPSTREAM ${upstream})
      string(APPEND ORASAY_PINNED_SOURCES "    ${package} ${version} (Debian ${suite}):\r\n")
      set(last ${package})
    endif()
    string(APPEND ORASAY_PINNED_SOURCES "      ${file}\r\n        SHA-256 ${sum}\r\n")
  endforeach()
  # The Debian packages of the cross-compiler, named after its CPU.
  string(REGEX MATCH "^[^-]+" cpu "${ORASAY_MINGW_TRIPLET}")
  string(REPLACE "_" "-" cpu "${cpu}")
  foreach(var_package IN ITEMS MINGW_W64:mingw-w64-${cpu}-dev
                               GCC_MINGW_W64:g++-mingw-w64-${cpu}-posix)
    string(REPLACE ":" ";" var_package ${var_package})
    list(GET var_package 0 var)
    list(GET var_package 1 package)
    execute_process(COMMAND dpkg-query -W -f=\${source:Version}\ \${Version} ${package}
                    OUTPUT_VARIABLE versions RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT versions MATCHES "^([^ ]+) ([^ ]+)$")
      message(FATAL_ERROR "COPYRIGHT.txt names the version of Debian's ${package}, "
                          "which dpkg-query does not find: run scripts/deps")
    endif()
    set(ORASAY_${var}_VERSION ${CMAKE_MATCH_1})
  endforeach()
  # The last query's: gcc-mingw-w64's packages are versioned
  # <GCC's Debian version>+<gcc-mingw-w64's own>.
  string(FIND "${CMAKE_MATCH_2}" "+${CMAKE_MATCH_1}" end REVERSE)
  string(SUBSTRING "${CMAKE_MATCH_2}" 0 ${end} gcc_version)
  string(REGEX MATCH "^[0-9]+" gcc_major "${CMAKE_CXX_COMPILER_VERSION}")
  set(ORASAY_GCC_SOURCE "gcc-${gcc_major}-source ${gcc_version}")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright-windows.txt
                 ${PROJECT_BINARY_DIR}/COPYRIGHT.txt @ONLY NEWLINE_STYLE CRLF)
  orasay_source_tree(libsoxr soxr_src)
  orasay_source_tree(sonic sonic_src)
  configure_file(${soxr_src}/COPYING.LGPL ${PROJECT_BINARY_DIR}/LICENSE-LGPL-2.1.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${sonic_src}/COPYING ${PROJECT_BINARY_DIR}/LICENSE-Apache-2.0.txt
                 @ONLY NEWLINE_STYLE CRLF)
endfunction()

if(WIN32)
  # cpack -G ZIP: orasay-<version>-win32.zip, whose one folder can be
  # unzipped anywhere (-win64 from the 64-bit test build, which does not
  # ship).  Windows' Notepad of old wants CR LF.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
                 ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  # The programs are GPL-3+ and carry eSpeak NG: the licence and the
  # copyright notices go with them.
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_BINARY_DIR}/LICENSE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  set(orasay_notices ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt
                     ${PROJECT_BINARY_DIR}/COPYRIGHT.txt)
  if(ORASAY_ENGINE)
    orasay_windows_notices()
    list(APPEND orasay_notices ${PROJECT_BINARY_DIR}/LICENSE-LGPL-2.1.txt
                               ${PROJECT_BINARY_DIR}/LICENSE-Apache-2.0.txt)
  else()
    configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright
                   ${PROJECT_BINARY_DIR}/COPYRIGHT.txt @ONLY NEWLINE_STYLE CRLF)
  endif()
  install(FILES ${orasay_notices} DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME orasay-${PROJECT_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME orasay-${PROJECT_VERSION}-win64)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

# The man page and the changelog are installed compressed, as Debian's policy
# wants them; gzip -n leaves out the name and time, so that builds of the same
# sources give the same files.
find_program(ORASAY_GZIP gzip REQUIRED)
set(orasay_doc_dir ${PROJECT_BINARY_DIR}/doc)
add_custom_command(OUTPUT ${orasay_doc_dir}/orasay.1.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/orasay.1 ${orasay_doc_dir}/orasay.1
  COMMAND ${ORASAY_GZIP} -9nf ${orasay_doc_dir}/orasay.1
  DEPENDS ${PROJECT_SOURCE_DIR}/doc/orasay.1
  VERBATIM)
# packaging/changelog is in Debian's format; its latest entry is this version.
set(orasay_changelog ${PROJECT_SOURCE_DIR}/packaging/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${orasay_changelog})
file(STRINGS ${orasay_changelog} orasay_changelog_top LIMIT_COUNT 1)
if(NOT orasay_changelog_top MATCHES "^orasay \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${orasay_changelog_top}', "
                      "not with an entry for orasay ${PROJECT_VERSION}")
endif()
add_custom_command(OUTPUT ${orasay_doc_dir}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${orasay_changelog} ${orasay_doc_dir}/changelog
  COMMAND ${ORASAY_GZIP} -9nf ${orasay_doc_dir}/changelog
  DEPENDS ${orasay_changelog}
  VERBATIM)
add_custom_target(orasay_docs ALL DEPENDS ${orasay_doc_dir}/orasay.1.gz ${orasay_doc_dir}/changelog.gz)

install(FILES ${orasay_doc_dir}/orasay.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A native package's changelog is changelog.gz; copyright is the
# machine-readable file of Debian's copyright format.
install(FILES ${orasay_doc_dir}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(EXISTS ${PROJECT_SOURCE_DIR}/README.md)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/orasay.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME orasay)

# cpack -G DEB: orasay_<version>_<arch>.deb, installing under /usr, with its
# dependencies computed by dpkg-shlibdeps from the ELF files it ships.
set(CPACK_PACKAGE_DESCRIPTION
    "orasay speaks one text through the TruVoice-compatible speech engine\n\
TV_ENG32.DLL, or has it write the speech into a WAV, raw or au file, in\n\
16-bit PCM or A-law at 11025 or 8000 Hz.  Inline markup such as\n\
{{voice alex}}, {{rate 120}} or {{pause 50}} changes the voice, style,\n\
rate, pitch, volume and pauses within the text.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program and the engine are stripped in the package.
set(CPACK_STRIP_FILES ON)
# CPack adds postinst and postrm scripts that run ldconfig when a shared
# object lies in a directory under /usr/lib, as the engine in /usr/lib/orasay
# does.  The engine is private: the program finds it through its RUNPATH and
# ldconfig never looks there, so the package needs no maintainer scripts.
# Naming a postinst and a postrm in the control extras turns the generated
# ones off; as these files do not exist, CPack adds none.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_BINARY_DIR}/no-maintainer-scripts/postinst
    ${PROJECT_BINARY_DIR}/no-maintainer-scripts/postrm)
include(CPack)

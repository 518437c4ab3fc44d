# The install tree beside bin/orasay (installed by src/) and the engine at
# lib/orasay/TV_ENG32.DLL (installed by engine/): the man page, the README,
# the bash completion, and the Debian package made from all of it by CPack.
# On Windows: one folder with orasay.exe, TV_ENG32.DLL, espeak-ng-data\ and
# README.txt, zipped by CPack.

set(CPACK_PACKAGE_NAME orasay)
set(CPACK_PACKAGE_VENDOR "orasay")
set(CPACK_PACKAGE_CONTACT "orasay maintainers <orasay@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "speak a text with inline voice markup, or render it into an audio file")

if(WIN32)
  # cpack -G ZIP: orasay-<version>-win32.zip, whose one folder can be
  # unzipped anywhere.  Windows' Notepad of old wants CR LF.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/README-windows.txt
                 ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME orasay-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_STRIP_FILES ON)
  include(CPack)
  return()
endif()

install(FILES ${PROJECT_SOURCE_DIR}/doc/orasay.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
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
include(CPack)

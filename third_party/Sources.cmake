# orasay_source_tree(PACKAGE OUT_VAR): the unpacked tree of a Debian source
# package pinned in sources.lock, as scripts/fetch-sources leaves it in
# ORASAY_SOURCES_DIR.  Configuring stops with one line naming the command
# that fetches it when the tree is missing or does not match the pins and
# our patches.

set(ORASAY_SOURCES_DIR ${PROJECT_SOURCE_DIR}/.sources CACHE PATH
    "Debian source packages fetched by scripts/fetch-sources")

function(orasay_source_tree package out_var)
  set(lock ${PROJECT_SOURCE_DIR}/third_party/sources.lock)
  file(STRINGS ${lock} lines REGEX "^${package}[ \t]")
  set(stamp "")
  set(version "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
    list(GET fields 1 version)
    list(JOIN fields " " joined)
    string(APPEND stamp "${joined}\n")
  endforeach()
  if(version STREQUAL "")
    message(FATAL_ERROR "${package} is not pinned in ${lock}")
  endif()
  file(GLOB patches ${PROJECT_SOURCE_DIR}/third_party/${package}/patches/*.patch)
  list(SORT patches)
  foreach(patch IN LISTS patches)
    file(SHA256 ${patch} sum)
    get_filename_component(name ${patch} NAME)
    string(APPEND stamp "patch ${name} ${sum}\n")
  endforeach()
  set(tree ${ORASAY_SOURCES_DIR}/${package}-${version})
  set(found "")
  if(EXISTS ${tree}/.orasay-stamp)
    file(READ ${tree}/.orasay-stamp found)
  endif()
  if(NOT found STREQUAL stamp)
    message(FATAL_ERROR "The source of ${package} ${version} is missing or out of date in "
                        "${ORASAY_SOURCES_DIR}: run scripts/fetch-sources (scripts/deps runs it)")
  endif()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${tree}/.orasay-stamp ${lock} ${patches})
  set(${out_var} ${tree} PARENT_SCOPE)
endfunction()

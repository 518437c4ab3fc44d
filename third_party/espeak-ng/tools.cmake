# The build-time tools, our own sources in engine/: the data compiler on
# orasay_espeak and the manifest writer.  Included by the native build and
# by the host build of a cross build (host/).

add_executable(orasay_espeak_compile ${ORASAY_SOURCE_DIR}/engine/data_compiler.c)
target_link_libraries(orasay_espeak_compile PRIVATE orasay_espeak)
add_executable(orasay_data_manifest
  ${ORASAY_SOURCE_DIR}/engine/manifest_tool.cpp ${ORASAY_SOURCE_DIR}/engine/data.cpp)
target_link_libraries(orasay_data_manifest PRIVATE ${CMAKE_DL_LIBS})

# The build-time tools: the data compiler on orasay_espeak and the manifest
# writer.  Included by the native build and by the host build of a cross
# build (host/).

add_executable(orasay_espeak_compile ${CMAKE_CURRENT_LIST_DIR}/compile_data.c)
target_link_libraries(orasay_espeak_compile PRIVATE orasay_espeak)
add_executable(orasay_data_manifest
  ${ORASAY_SOURCE_DIR}/engine/manifest_tool.cpp ${ORASAY_SOURCE_DIR}/engine/data.cpp)
target_link_libraries(orasay_data_manifest PRIVATE ${CMAKE_DL_LIBS})

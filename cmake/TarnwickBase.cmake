# tarnwick_base: the bottom layer, header-only. The exception classes and the record store's
# data-type codes; its include folder is the source root, so every layer above includes
# "<folder>/<header>". Included by the top-level project and by the fuzz project (dataset/fuzz),
# which is why the root is taken from this file's own place.
get_filename_component(TARNWICK_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
add_library(tarnwick_base INTERFACE)
target_sources(tarnwick_base INTERFACE FILE_SET HEADERS BASE_DIRS ${TARNWICK_SOURCE_ROOT} FILES
  ${TARNWICK_SOURCE_ROOT}/base/Utf8.h
  ${TARNWICK_SOURCE_ROOT}/oracle/Exception.h
  ${TARNWICK_SOURCE_ROOT}/recordset/DataTypes.h)
target_include_directories(tarnwick_base INTERFACE ${TARNWICK_SOURCE_ROOT})

# tarnwick_add_tests(<dir> LIBS <libs...>)
# Every *_test.cpp in <dir> becomes one GoogleTest executable registered with CTest, so a test
# file being edited never stops the others from building. Each links GoogleMock for its matchers
# (the exception matchers Throws and ThrowsMessage among them).
function(tarnwick_add_tests dir)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*_test.cpp)
  foreach(src IN LISTS sources)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  endforeach()
endfunction()

# tarnwick_tests_use_standin(<test>...)
# Tests that run against the stand-in client, its demo server and standin-admin build those
# first. The stand-in is configured after the folders that use it; CMake resolves the names of
# dependencies once every folder is read.
function(tarnwick_tests_use_standin)
  foreach(test IN LISTS ARGN)
    if(TARGET ${test})
      add_dependencies(${test} standin_oci standin-demo standin-admin)
    endif()
  endforeach()
endfunction()

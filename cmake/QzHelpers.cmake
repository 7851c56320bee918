include(GoogleTest)

# qz_platform_library(NAME SOURCES ... [LIBS ...])
# A stand-in of a host library: a shared library whose headers are included
# as "<folder>/<header>.h" from the platform root.
function(qz_platform_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/platform)
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# qz_test(NAME SOURCES ... [LIBS ...])
# One GoogleTest executable; each test case is registered with CTest.
# Tests run from the build folder with QZ_TEST_DATA pointing at tests/data
# and the class registry and the user's settings (the accepted engine
# commands) redirected into the build tree; the helpers of
# tests/common are on the include path.
function(qz_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  # Helpers shared by the suites are included as "common/<header>.h".
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    QZ_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
    QZ_LIB_DIR="${CMAKE_BINARY_DIR}/lib"
    QZ_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT
      "QZ_REGISTRY_FILE=${CMAKE_BINARY_DIR}/test-registry/${name}.json;QZ_USER_SETTINGS=${CMAKE_BINARY_DIR}/test-user-settings/${name}")
endfunction()

# GoogleTest from Debian's sources, built with the same compiler and flags as the code.
set(QV_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${QV_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# The support code (the recording window port among it) is compiled into each test
# executable: the core's calls into the window port must resolve against it.

foreach(layer unit integration)
  string(TOUPPER ${layer} LAYER)
  if(QV_${LAYER}_TESTS)
    add_executable(${layer}_tests ${QV_${LAYER}_TESTS} ${QV_TEST_SUPPORT})
    target_include_directories(${layer}_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
    target_link_libraries(${layer}_tests PRIVATE qcore gtest_main)
    qv_warnings(${layer}_tests)
    gtest_discover_tests(${layer}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         TEST_PREFIX "${layer}." PROPERTIES LABELS ${layer} TIMEOUT 300)
  endif()
endforeach()

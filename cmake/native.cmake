# Native (Linux) build: the portable core, the command-line peer and the tests.
if(QV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)

add_library(qcore STATIC ${QV_CORE_SOURCES})
target_include_directories(qcore PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources)
target_compile_definitions(qcore PUBLIC QV_BANNER_HOST="${QV_BANNER_HOST}")
target_link_libraries(qcore PUBLIC Threads::Threads)
qv_warnings(qcore)

file(GLOB QV_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/cli/*.cpp)
if(QV_CLI_SOURCES)
  add_executable(quorvalinthexa ${QV_CLI_SOURCES})
  target_link_libraries(quorvalinthexa PRIVATE qcore)
  qv_warnings(quorvalinthexa)
endif()

include(cmake/tests.cmake)

# Faults of a sender's files (slow opens, a read that fails), preloaded into the peer by
# the shell tests. It is built without the sanitizers: a preloaded library must not bring
# their runtime in ahead of the program's.
add_library(qv_file_faults SHARED ${CMAKE_SOURCE_DIR}/tests/support/file_faults.c)
set_target_properties(qv_file_faults PROPERTIES COMPILE_OPTIONS "" LINK_OPTIONS "")
target_link_libraries(qv_file_faults PRIVATE ${CMAKE_DL_LIBS})

# Writes history entries in a loop for the fault tests that kill it or fill its disk.
add_executable(qv_history_entries ${CMAKE_SOURCE_DIR}/tests/faults/history_entries.cpp)
target_link_libraries(qv_history_entries PRIVATE qcore)
qv_warnings(qv_history_entries)

# A man in the middle of a pairing who grinds his nonce to steer the codes.
add_executable(qv_pair_grinder ${CMAKE_SOURCE_DIR}/tests/faults/pair_grinder.cpp)
target_link_libraries(qv_pair_grinder PRIVATE qcore qv_openssl)
qv_warnings(qv_pair_grinder)

# Shell tests of the real command-line peer: each tests/LABEL/*_test.sh is one test
# LABEL.<name>, labelled LABEL; exit 77 is a skip.
function(qv_add_shell_tests label)
  file(GLOB scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${label}/*_test.sh)
  foreach(script ${scripts})
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME ${label}.${name} COMMAND bash ${script})
    set_tests_properties(${label}.${name} PROPERTIES LABELS ${label} TIMEOUT 480 SKIP_RETURN_CODE 77
      ENVIRONMENT "QV_NATIVE_BUILD=${CMAKE_BINARY_DIR};QV_ROOT=${CMAKE_SOURCE_DIR}")
  endforeach()
endfunction()

# Fault-injection tests: in network namespaces of their own (as root; elsewhere they skip).
qv_add_shell_tests(faults)
# The command-line peer's own tests on loopback (--once, system calls per file).
qv_add_shell_tests(cli)

# The command-line peer's option tables against its --help, the manual page and the user
# guide.
add_executable(cli_option_tests ${CMAKE_SOURCE_DIR}/tests/cli/command_options_test.cpp
  ${CMAKE_SOURCE_DIR}/src/cli/option_table.cpp ${CMAKE_SOURCE_DIR}/src/cli/command_options.cpp
  ${CMAKE_SOURCE_DIR}/src/cli/arguments.cpp)
target_link_libraries(cli_option_tests PRIVATE qcore gtest_main)
target_compile_definitions(cli_option_tests PRIVATE QV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
qv_warnings(cli_option_tests)
gtest_discover_tests(cli_option_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                     TEST_PREFIX "cli." PROPERTIES LABELS cli TIMEOUT 120)

# Source conventions, so that a new file needs no edit here:
#   src/core/*.cpp, src/<subsystem>/*.cpp   portable code, both builds
#   src/platform/*_win32.cpp       Windows side of a platform seam
#   src/platform/*_posix.cpp       POSIX side of a platform seam
#   src/trust/*_win32.cpp, *_posix.cpp   the same for the stores of the key and the pinned list
#   src/windows/*.cpp              the Windows front end (only in the .exe)
#   src/cli/*.cpp                  the native command-line peer
#   tests/support/*.cpp            test helpers (recording window port, stream feeders)
#   tests/unit/*.cpp, tests/integration/*.cpp   GoogleTest suites
set(QV_SUBSYSTEMS core selection policy peers trust history store doors transfer private send discovery banner web platform)

set(QV_CORE_SOURCES)
foreach(sub ${QV_SUBSYSTEMS})
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${sub}/*.cpp)
  foreach(f ${files})
    get_filename_component(name ${f} NAME_WE)
    if(name MATCHES "_win32$")
      if(WIN32)
        list(APPEND QV_CORE_SOURCES ${f})
      endif()
    elseif(name MATCHES "_posix$")
      if(NOT WIN32)
        list(APPEND QV_CORE_SOURCES ${f})
      endif()
    else()
      list(APPEND QV_CORE_SOURCES ${f})
    endif()
  endforeach()
endforeach()

file(GLOB QV_GUI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/windows/*.cpp)
file(GLOB QV_TEST_SUPPORT CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
file(GLOB QV_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
file(GLOB QV_INTEGRATION_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/integration/*.cpp)

function(qv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# The browser page (src/web/page/: its HTML, style, script and one table of texts per
# language) becomes a source of the core at build time, in every build.
file(GLOB QV_PAGE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/web/page/*)
set(QV_PAGE_SOURCE ${CMAKE_BINARY_DIR}/generated/page_files.cpp)
add_custom_command(OUTPUT ${QV_PAGE_SOURCE}
  COMMAND ${CMAKE_COMMAND} -DPAGE_DIR=${CMAKE_SOURCE_DIR}/src/web/page -DOUT=${QV_PAGE_SOURCE}
          -P ${CMAKE_SOURCE_DIR}/cmake/embed_page.cmake
  DEPENDS ${QV_PAGE_FILES} ${CMAKE_SOURCE_DIR}/cmake/embed_page.cmake
  COMMENT "Embedding the browser page")
list(APPEND QV_CORE_SOURCES ${QV_PAGE_SOURCE})

# Windows build (mingw-w64, i686 or x86_64): Quorvalinthexa.exe, its language satellites,
# the Windows test executables and the end-to-end driver.
enable_language(RC)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QV_WIN_ARCH 64)
  set(QV_MANIFEST_ARCH amd64)
else()
  set(QV_WIN_ARCH 32)
  set(QV_MANIFEST_ARCH x86)
endif()
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
add_compile_definitions(WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0800 NOMINMAX
                        WIN32_LEAN_AND_MEAN __USE_MINGW_ANSI_STDIO=1)
add_link_options(-static -static-libgcc -static-libstdc++)
# Reproducible programs: no link time in the PE header, no build folder in the binaries
# (the program's own code; tests find their files through __FILE__).
add_link_options(-Wl,--no-insert-timestamp)
set(QV_PREFIX_MAPS -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)

set(QV_WIN_LIBS ws2_32 iphlpapi gdiplus comctl32 comdlg32 shell32 ole32 oleaut32 uuid
    gdi32 user32 advapi32 shlwapi bcrypt)

add_library(qcore STATIC ${QV_CORE_SOURCES})
target_include_directories(qcore PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/resources)
target_compile_definitions(qcore PUBLIC QV_BANNER_HOST="${QV_BANNER_HOST}")
target_link_libraries(qcore PUBLIC ${QV_WIN_LIBS})
target_compile_options(qcore PRIVATE ${QV_PREFIX_MAPS})
qv_warnings(qcore)

# The program itself.
add_executable(Quorvalinthexa WIN32 ${QV_GUI_SOURCES} ${CMAKE_SOURCE_DIR}/resources/Quorvalinthexa.rc)
target_link_libraries(Quorvalinthexa PRIVATE qcore)
target_compile_options(Quorvalinthexa PRIVATE ${QV_PREFIX_MAPS})
configure_file(${CMAKE_SOURCE_DIR}/resources/Quorvalinthexa.manifest.in
               ${CMAKE_BINARY_DIR}/generated/Quorvalinthexa.manifest @ONLY)
target_include_directories(Quorvalinthexa PRIVATE ${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/Quorvalinthexa.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/generated/Quorvalinthexa.manifest)
set_target_properties(Quorvalinthexa PROPERTIES OUTPUT_NAME Quorvalinthexa)
qv_warnings(Quorvalinthexa)

# Language satellites: resource-only modules holding the string table.
function(qv_satellite code rcfile)
  set(target satellite_${code})
  add_library(${target} SHARED ${CMAKE_SOURCE_DIR}/resources/${rcfile})
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C PREFIX "" SUFFIX ".mui"
                        OUTPUT_NAME "Quorvalinthexa.exe.${code}")
  target_link_options(${target} PRIVATE -nostdlib -Wl,--entry=0 -Wl,--no-insert-timestamp)
  add_dependencies(Quorvalinthexa ${target})
endfunction()
qv_satellite(0c0a satellite_es.rc)
qv_satellite(0419 satellite_ru.rc)

# The end-to-end driver: a small Win32 program that works the window like a user.
file(GLOB QV_DRIVER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*_win32.cpp)
if(QV_DRIVER_SOURCES)
  add_executable(qdriver ${QV_DRIVER_SOURCES})
  target_include_directories(qdriver PRIVATE ${CMAKE_SOURCE_DIR}/resources)
  target_link_libraries(qdriver PRIVATE user32 gdi32 shell32)
endif()

include(cmake/tests.cmake)

# End-to-end tests: shell scripts that run the real program under Wine (+ Xvfb), driven
# by qdriver. They share the build's Wine prefix (one "PC"), so they run one at a time.
file(GLOB QV_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/*_test.sh)
foreach(script ${QV_E2E_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e.${name} COMMAND bash ${script})
  set_tests_properties(e2e.${name} PROPERTIES LABELS e2e RUN_SERIAL TRUE TIMEOUT 600 SKIP_RETURN_CODE 77
    ENVIRONMENT "QV_WIN_ARCH=${QV_WIN_ARCH};QV_WIN_BUILD=${CMAKE_BINARY_DIR};QV_NATIVE_BUILD=${CMAKE_SOURCE_DIR}/build/native;QV_ROOT=${CMAKE_SOURCE_DIR}")
endforeach()

# The launcher of the Windows tests, when Wine's server kills a test program that finished.
add_test(NAME harness.wine_exec COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/wine_exec_test.sh)
set_tests_properties(harness.wine_exec PROPERTIES LABELS harness SKIP_RETURN_CODE 77 TIMEOUT 120
  ENVIRONMENT "QV_WIN_ARCH=${QV_WIN_ARCH};QV_WIN_BUILD=${CMAKE_BINARY_DIR}")

# The part both Windows toolchain files share: Debian's mingw-w64 for the processor they
# name (posix thread model; windows.cmake links the runtime statically).
set(CMAKE_SYSTEM_NAME Windows)
set(qv_triple ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${qv_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${qv_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${qv_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${qv_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Test executables run under Wine, in the build's own prefix and mode (32 or 64).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec.sh ${qv_wine_mode})

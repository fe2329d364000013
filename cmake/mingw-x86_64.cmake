# Cross build for 64-bit Windows (PE32+), tested under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(qv_wine_mode 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

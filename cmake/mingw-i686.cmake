# Cross build for 32-bit Windows (PE32), tested under the 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(qv_wine_mode 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

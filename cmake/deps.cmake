# The QR code library: for the Windows builds from Debian's source archive, unpacked
# outside the tree by scripts/install-deps.sh; the native build takes it from its
# Debian package.
set(QV_DEPS_DIR /usr/local/src/quorvalinthexa-deps CACHE PATH "Unpacked Debian sources of the libraries")
set(QV_QRCODEGEN_SOURCE ${QV_DEPS_DIR}/QR-Code-generator-1.8.0/cpp)

if(WIN32)
  if(NOT EXISTS ${QV_QRCODEGEN_SOURCE}/qrcodegen.cpp)
    message(FATAL_ERROR "${QV_QRCODEGEN_SOURCE} is missing: run scripts/install-deps.sh as root")
  endif()
  add_library(qv_qrcodegen STATIC ${QV_QRCODEGEN_SOURCE}/qrcodegen.cpp)
  target_include_directories(qv_qrcodegen SYSTEM PUBLIC ${QV_QRCODEGEN_SOURCE})
  target_compile_options(qv_qrcodegen PRIVATE -ffile-prefix-map=${QV_DEPS_DIR}=deps)
  target_link_libraries(qcore PUBLIC qv_qrcodegen)
else()
  find_path(QV_QRCODEGEN_INCLUDE qrcodegen.hpp PATH_SUFFIXES qrcodegen REQUIRED)
  find_library(QV_QRCODEGEN_LIBRARY libqrcodegencpp.a REQUIRED)
  target_include_directories(qcore SYSTEM PUBLIC ${QV_QRCODEGEN_INCLUDE})
  target_link_libraries(qcore PUBLIC ${QV_QRCODEGEN_LIBRARY})
endif()

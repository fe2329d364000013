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

# OpenSSL (the code in src/trust): natively Debian's libssl-dev; for the Windows builds
# the static libraries scripts/install-deps.sh built into QV_DEPS_DIR for the toolchain's
# processor (the newest version there), with the system libraries they call. Every build
# sees only the 3.0 interface, deprecated calls hidden, as the Windows libraries are built.
add_library(qv_openssl INTERFACE)
target_compile_definitions(qv_openssl INTERFACE OPENSSL_API_COMPAT=30000 OPENSSL_NO_DEPRECATED)
if(WIN32)
  file(GLOB qv_openssl_prefixes LIST_DIRECTORIES true ${QV_DEPS_DIR}/openssl-3.*-${CMAKE_SYSTEM_PROCESSOR})
  list(SORT qv_openssl_prefixes COMPARE NATURAL ORDER DESCENDING)
  list(POP_FRONT qv_openssl_prefixes QV_OPENSSL_PREFIX)
  if(NOT EXISTS "${QV_OPENSSL_PREFIX}/lib/libssl.a")
    message(FATAL_ERROR "OpenSSL for ${CMAKE_SYSTEM_PROCESSOR} is missing under ${QV_DEPS_DIR}: run scripts/install-deps.sh as root")
  endif()
  target_include_directories(qv_openssl SYSTEM INTERFACE ${QV_OPENSSL_PREFIX}/include)
  target_link_libraries(qv_openssl INTERFACE ${QV_OPENSSL_PREFIX}/lib/libssl.a
    ${QV_OPENSSL_PREFIX}/lib/libcrypto.a ws2_32 gdi32 crypt32 bcrypt user32 advapi32)
else()
  find_package(OpenSSL 3 REQUIRED)
  target_link_libraries(qv_openssl INTERFACE OpenSSL::SSL OpenSSL::Crypto)
endif()
target_link_libraries(qcore PUBLIC qv_openssl)

# SQLite (the code in src/history alone): natively Debian's libsqlite3-dev; for the Windows
# builds the amalgamation scripts/install-deps.sh made into QV_DEPS_DIR from Debian's
# source (the newest version there), compiled here as a static library.
if(WIN32)
  file(GLOB qv_sqlite_folders LIST_DIRECTORIES true ${QV_DEPS_DIR}/sqlite-*)
  list(FILTER qv_sqlite_folders EXCLUDE REGEX "\\.build$")
  list(SORT qv_sqlite_folders COMPARE NATURAL ORDER DESCENDING)
  list(POP_FRONT qv_sqlite_folders QV_SQLITE_SOURCE)
  if(NOT EXISTS "${QV_SQLITE_SOURCE}/sqlite3.c")
    message(FATAL_ERROR "The SQLite amalgamation is missing under ${QV_DEPS_DIR}: run scripts/install-deps.sh as root")
  endif()
  add_library(qv_sqlite STATIC ${QV_SQLITE_SOURCE}/sqlite3.c)
  target_include_directories(qv_sqlite SYSTEM PUBLIC ${QV_SQLITE_SOURCE})
  # Threads may share it (the writer and the readers keep a connection each); no
  # extension is ever loaded; the deprecated calls are not there to be called.
  target_compile_definitions(qv_sqlite PRIVATE SQLITE_THREADSAFE=2 SQLITE_OMIT_LOAD_EXTENSION
    SQLITE_OMIT_DEPRECATED SQLITE_DEFAULT_WAL_SYNCHRONOUS=1 SQLITE_DQS=0)
  target_compile_options(qv_sqlite PRIVATE -ffile-prefix-map=${QV_DEPS_DIR}=deps -w)
  target_link_libraries(qcore PUBLIC qv_sqlite)
else()
  find_package(SQLite3 REQUIRED)
  target_link_libraries(qcore PUBLIC SQLite::SQLite3)
endif()

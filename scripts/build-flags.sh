#!/usr/bin/env bash
# The compiler and linker flags of the release build and the .deb made from it: Debian's
# own (dpkg-buildflags with every hardening feature: stack protector, fortified
# functions, RELRO with immediate binding, PIE), plus stack clash protection and, on
# x86-64, control-flow protection, which Debian 12's dpkg does not yet add by itself.
# The build paths are mapped to "." (reproducible builds).
#   build-flags.sh CXX   the C++ compiler's flags (preprocessor flags included)
#   build-flags.sh LD    the linker's
set -euo pipefail
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=+all"
flag() { dpkg-buildflags --get "$1"; }
extra="-fstack-clash-protection"
[ "$(dpkg-architecture -qDEB_HOST_ARCH)" = amd64 ] && extra+=" -fcf-protection"
case "${1:-}" in
  CXX) echo "$(flag CPPFLAGS) $(flag CXXFLAGS) $extra" ;;
  LD) flag LDFLAGS ;;
  *) echo "usage: build-flags.sh CXX|LD" >&2; exit 2 ;;
esac

# Sourced: the Wine environment of one Windows build (one prefix = one "PC").
# QV_WIN_ARCH picks the build, its Wine and its prefixes (the tests' own and the e2e PCs'):
#   32: build/win (PE32) under Debian's `wine`, which takes the 32-bit loader, in a win32 prefix;
#   64: build/win64 (PE32+) under wine64 in a win64 prefix. Debian's `wine`, `wineboot` and
#       `winepath` take the 32-bit loader whenever wine32 is installed, even where it cannot
#       execute, so scripts/wine64 (put first on PATH) holds stand-ins that call wine64.
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export QV_WIN_ARCH="${QV_WIN_ARCH:-32}"
if [ "$QV_WIN_ARCH" = 64 ]; then
  export QV_WIN_BUILD="${QV_WIN_BUILD:-$QV_ROOT/build/win64}"
  export WINEPREFIX="${WINEPREFIX:-$QV_ROOT/build/wineprefix64}"
  export QV_E2E_PREFIXES="${QV_E2E_PREFIXES:-$QV_ROOT/build/e2e64}"
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
  case ":$PATH:" in *":$QV_ROOT/scripts/wine64:"*) ;; *) export PATH="$QV_ROOT/scripts/wine64:$PATH" ;; esac
else
  export QV_WIN_BUILD="${QV_WIN_BUILD:-$QV_ROOT/build/win}"
  export WINEPREFIX="${WINEPREFIX:-$QV_ROOT/build/wineprefix}"
  export QV_E2E_PREFIXES="${QV_E2E_PREFIXES:-$QV_ROOT/build/e2e}"
  export WINEARCH=win32
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=d;mshtml=d}"

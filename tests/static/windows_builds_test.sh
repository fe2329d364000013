#!/usr/bin/env bash
# Static check of both Windows builds, for the machines that cannot run one of them:
# the program is a GUI program of its architecture that imports only Windows' own DLLs,
# the 32-bit and 64-bit programs carry the same resources, and each language satellite
# is a resource-only module with the string table alone. Reads the files with the
# mingw-w64 binutils' objdump and file(1).
set -uo pipefail
QV_ROOT="${QV_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}"
source "$QV_ROOT/tests/support/checks.sh"

# Windows' own DLLs, the only ones the program may import (the runtime is linked in).
SYSTEM_DLLS=" advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll gdi32.dll gdiplus.dll iphlpapi.dll"
SYSTEM_DLLS+=" kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll "
SATELLITES="0c0a 0419"

# resources OBJDUMP FILE: one line "TYPE NAME LANGUAGE SIZE" per resource (hex ids).
resources() {
  "$1" -p "$2" | awk '
    /Resource Directory section/ { on = 1 }
    !on { next }
    /Entry: ID:/ { id = $4; sub(",", "", id); depth = index($0, "Entry") - index($0, " ")
                   if (depth <= 4) type = id; else if (depth <= 6) name = id; else lang = id }
    /Entry: name:/ { id = $0; sub(/.*name: /, "", id); sub(/,? *Value:.*/, "", id); gsub(/ /, "_", id)
                     depth = index($0, "Entry") - index($0, " ")
                     if (depth <= 4) type = id; else name = id }
    /Leaf:/ { size = $6; sub(",", "", size); print type, name, lang, size }' | sort -u
}
imports() { "$1" -p "$2" | awk '/DLL Name:/ { print tolower($3) }' | sort -u; }
entry_point() { "$1" -p "$2" | awk '/^AddressOfEntryPoint/ { print $2 }'; }
hexid() { printf '0x%06x' "$1"; }
id_of() { awk -v n="$1" '$1 == "#define" && $2 == n { print $3 }' "$QV_ROOT/resources/resource.h"; }

check_build() {  # check_build DIR OBJDUMP FILE_KIND
  local dir="$1" objdump="$2" kind="$3" exe="$1/Quorvalinthexa.exe" dll kinds
  [ -f "$exe" ] || { fail "$exe is missing"; return; }
  kinds="$(file -b "$exe")"
  [[ "$kinds" == "$kind executable (GUI) "* ]] && ok "$exe: $kind GUI" || fail "$exe: $kinds"
  local dlls code mui
  dlls="$(imports "$objdump" "$exe" | tr '\n' ' ')"
  for dll in $dlls; do
    [[ "$SYSTEM_DLLS" == *" $dll "* ]] || fail "$exe imports $dll, not a DLL of Windows itself"
  done
  [ -n "$dlls" ] && ok "$exe: imports only Windows' own DLLs ($dlls)"
  # Loaded at a random address (high-entropy on 64-bit), data never executable.
  local want="DYNAMIC_BASE NX_COMPAT"
  [ "$kind" = PE32+ ] && want="HIGH_ENTROPY_VA $want"
  expect_eq "$exe: DLL characteristics" "$want" \
    "$("$objdump" -p "$exe" | awk '/^DllCharacteristics/ { on = 1; next } on && /^\t\t/ { print $1; next } { on = 0 }' |
      grep -xE 'HIGH_ENTROPY_VA|DYNAMIC_BASE|NX_COMPAT' | xargs)"
  for code in $SATELLITES; do
    mui="$exe.$code.mui"
    [ -f "$mui" ] || { fail "$mui is missing"; continue; }
    kinds="$(file -b "$mui")"
    [[ "$kinds" == "$kind executable (DLL) "* ]] || fail "$mui: $kinds"
    dlls="$(imports "$objdump" "$mui" | tr '\n' ' ')"
    [ -z "$dlls" ] || fail "$mui imports $dlls"
    [ "$(entry_point "$objdump" "$mui" | tr -d 0)" = "" ] || fail "$mui has an entry point"
    local types
    types="$(resources "$objdump" "$mui" | awk '{ print $1 }' | sort -u | tr '\n' ' ')"
    [ "$types" = "$(hexid 6) " ] || fail "$mui: resource types $types, not the string table alone"
    resources "$objdump" "$mui" | awk -v l="$(hexid "0x$code")" '$3 != l { bad = 1 } END { exit bad }' ||
      fail "$mui: a string of another language than $code"
    ok "$mui: resource-only, the string table in language $code"
  done
}

W32="$QV_ROOT/build/win"
W64="$QV_ROOT/build/win64"
OD32=i686-w64-mingw32-objdump
OD64=x86_64-w64-mingw32-objdump
check_build "$W32" "$OD32" PE32
check_build "$W64" "$OD64" PE32+

# The resources the program needs, present in the 32-bit build.
listing32="$(resources "$OD32" "$W32/Quorvalinthexa.exe")"
need() {  # need WHAT TYPE NAME
  grep -q "^$(hexid "$2") $(hexid "$3") " <<<"$listing32" && ok "32-bit program has $1" || fail "32-bit program lacks $1"
}
for dialog in IDD_MAIN IDD_SELECTION IDD_ANALYSIS IDD_SETTINGS IDD_ASK IDD_BROWSER IDD_TEXT; do need "dialog $dialog" 5 "$(id_of $dialog)"; done
need "the tray menu" 4 "$(id_of IDM_TRAY)"
need "the icon group" 14 "$(id_of IDI_PROGRAM)"
need "the manifest" 24 1
grep -q "^$(hexid 6) " <<<"$listing32" && ok "32-bit program has the string table" || fail "32-bit program lacks the string table"

# The same resources in both: every resource of the same size, but for the manifest,
# which names its architecture (and so its size may differ).
comparable() { resources "$1" "$2" | awk -v m="$(hexid 24)" '$1 == m { $4 = "any" } 1'; }
same() {  # same WHAT FILE32 FILE64
  if diff <(comparable "$OD32" "$2") <(comparable "$OD64" "$3") >&2; then
    ok "$1: the same resources in both builds"
  else
    fail "$1: the 32-bit and 64-bit resources differ"
  fi
}
# Windows refuses a program whose manifest names another architecture.
for pair in "$W32 x86" "$W64 amd64"; do
  read -r dir arch <<<"$pair"
  grep -aq "processorArchitecture=\"$arch\"/>" "$dir/Quorvalinthexa.exe" &&
    ok "$dir: the manifest names $arch" || fail "$dir: the manifest does not name $arch"
done
same Quorvalinthexa.exe "$W32/Quorvalinthexa.exe" "$W64/Quorvalinthexa.exe"
for code in $SATELLITES; do
  same "satellite $code" "$W32/Quorvalinthexa.exe.$code.mui" "$W64/Quorvalinthexa.exe.$code.mui"
done
# Two controls with one id: the dialog finds only the first of them.
twice="$(awk '$1 == "#define" && $2 ~ /^IDC_/ { print $3 }' "$QV_ROOT/resources/resource.h" | sort | uniq -d | tr '\n' ' ')"
[ -z "$twice" ] && ok "every control id in resource.h is its own" || fail "control ids given twice: $twice"
finish

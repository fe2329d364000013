#!/usr/bin/env bash
# The Linux peer's .deb: lintian finds no error and nothing about hardening, nor does
# hardening-check; the licence is in its copyright file; it holds exactly its five files; its
# Depends names the package of every library the program loads. Installed with dpkg into
# a throw-away root (whose package database is a copy of this machine's, so Depends is
# checked against real packages) and removed again: --version prints the version, the
# man page renders without warnings and covers every option and exit status of --help,
# systemd-analyze accepts the user unit, and the unit's commands receive a file into
# ~/Downloads/Quorvalinthexa, creating it.
source "$(dirname "$0")/lib.sh"
deb="quorvalinthexa_${VERSION}_$DEB_ARCH.deb"
need_dist "$deb"
deb="$DIST/$deb"
[ "$(id -u)" = 0 ] || skip "dpkg installs into a throw-away root as root only"

work="$(mktemp -d /tmp/qv-deb.XXXXXX)"
export XDG_STATE_HOME="$work/state"  # the peer's remembered peers stay in this test's folder
trap 'rm -rf "$work"' EXIT

# Its warnings and notes are shown; an error fails.
if lintian --fail-on error --display-level '>=info' "$deb" >"$work/lintian.txt" 2>&1; then
  echo "ok: lintian reports no error"
else
  fail "lintian reports errors: $(grep '^E:' "$work/lintian.txt" | xargs)"
fi
grep -v 'running with root privileges' "$work/lintian.txt" | sed 's/^/lintian: /'
expect_eq "lintian's hardening tags" "" "$(grep -o 'hardening-[a-z-]*' "$work/lintian.txt" | sort -u | xargs)"
expect_eq "version in the package" "$VERSION" "$(dpkg-deb -f "$deb" Version)"
expect_eq "files in the package" \
  "./usr/bin/quorvalinthexa ./usr/lib/systemd/user/quorvalinthexa-receive.service ./usr/share/doc/quorvalinthexa/changelog.gz ./usr/share/doc/quorvalinthexa/copyright ./usr/share/man/man1/quorvalinthexa.1.gz" \
  "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort | xargs)"

dpkg-deb -x "$deb" "$work/unpacked"
# Built with Debian's hardening flags: every feature hardening-check knows is there. Its
# control-flow check reads the ELF note that marks a whole program as protected, which the
# linker writes only when every object carries it, and Debian 12's C library start files
# (Scrt1.o, crti.o, crtn.o) do not: our own code is checked for endbr64 instead.
bin="$work/unpacked/usr/bin/quorvalinthexa"
if hardening-check --nocfprotection "$bin" >"$work/hardening.txt" 2>&1; then
  ok "hardening-check passes"
else
  fail "hardening-check: $(grep -v ': yes' "$work/hardening.txt" | tail -n +2 | xargs)"
fi
sed 's/^/hardening-check: /' "$work/hardening.txt"
if [ "$DEB_ARCH" = amd64 ]; then
  endbr="$(objdump -d "$bin" | grep -c endbr64 || true)"
  check "control-flow protection compiled in ($endbr endbr64 landing pads)" test "$endbr" -gt 100
fi
copyright="$work/unpacked/usr/share/doc/quorvalinthexa/copyright"
expect_eq "the licence in the copyright file" "Expat" "$(sed -n 's/^License: //p' "$copyright" | sort -u | xargs)"
check "the copyright file holds the licence's text" grep -q "^ Permission is hereby granted, free of charge" "$copyright"
expect_eq "the maintainer" "Quorvalinthexa maintainers <maintainers@quorvalinthexa.invalid>" "$(dpkg-deb -f "$deb" Maintainer)"

# Every library the program needs comes from a package that Depends names.
depends="$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | awk '{print $1}')"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
for library in $(objdump -p "$work/unpacked/usr/bin/quorvalinthexa" | awk '$1 == "NEEDED" {print $2}'); do
  owner="$(dpkg -S "*/$multiarch/$library" 2>/dev/null | head -n 1 | cut -d ':' -f 1)"
  check "Depends names $owner (for $library)" grep -qx "$owner" <<<"$depends"
done

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
touch "$root/var/lib/dpkg/available"
# The copy has no file lists, which dpkg mentions for every package: those lines go.
dpkg_root() {
  dpkg --root="$root" --force-script-chrootless --log=/dev/null "$@" 2> >(grep -v 'files list file for package' >&2)
}
installed() { dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}' quorvalinthexa 2>/dev/null | grep -qx 'install ok installed'; }
not_installed() { ! installed; }
dpkg_root -i "$deb" >/dev/null
check "dpkg -i installs it" installed
program="$root/usr/bin/quorvalinthexa"
expect_eq "quorvalinthexa --version" "quorvalinthexa $VERSION" "$("$program" --version 2>&1)"

# The man page: rendered by man without a warning, and it names every option and every
# exit status that the program's own --help texts give.
page="$root/usr/share/man/man1/quorvalinthexa.1.gz"
warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
expect_eq "man's warnings on the page" "" "$warnings"
LC_ALL=C.UTF-8 MANWIDTH=100 man -l "$page" >"$work/page.txt" 2>/dev/null
check "man -l renders the page" grep -q '^NAME' "$work/page.txt"
for command in "" receive send discover history; do
  "$program" $command --help >"$work/help-${command:-main}.txt" 2>&1
done
python3 - "$work" <<'PY' || fail "the man page differs from --help (above)"
import re, sys
work = sys.argv[1]
page = open(f"{work}/page.txt").read()
# Exit statuses per command, from the page's EXIT STATUS section: "   receive" starts a
# subsection, "       0      ..." is one status.
section = page.split("\nEXIT STATUS\n", 1)[1]
section = re.split(r"\n[A-Z][A-Z ]+\n", section, maxsplit=1)[0]
statuses, current = {}, None
for line in section.splitlines():
    if re.match(r"^ {3}\S", line):
        current = line.split()[0]
    elif m := re.match(r"^ {7}(\d+)\b", line):
        statuses.setdefault(current, set()).add(m.group(1))
missing = 0
for command in ("main", "receive", "send", "discover", "history"):
    help_text = open(f"{work}/help-{command}.txt").read()
    for option in sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", help_text))):
        if option not in page:
            print(f"FAIL: {command} --help names {option}; the man page does not")
            missing += 1
    said = help_text.split("Exit status:", 1)
    if len(said) == 2:
        codes = set(re.findall(r"\b(\d+)\s+(?:when|on|after)\b", said[1]))  # a status may end a line
        if codes != statuses.get(command, set()):
            print(f"FAIL: exit statuses of {command}: --help {sorted(codes)}, "
                  f"man page {sorted(statuses.get(command, set()))}")
            missing += 1
print("ok: the man page covers every option and exit status of --help" if not missing else "")
sys.exit(1 if missing else 0)
PY

# The user unit: systemd-analyze (as the user's manager) has nothing to say about it, its
# commands included, and finds its man page; then its commands, run as the manager would
# run them (%h: the home folder), receive into ~/Downloads/Quorvalinthexa. Both take the
# program from the throw-away root.
unit="$root/usr/lib/systemd/user/quorvalinthexa-receive.service"
mkdir -p "$work/units" "$work/run"
sed "s|/usr/bin/quorvalinthexa|$program|" "$unit" >"$work/units/quorvalinthexa-receive.service"
expect_eq "what systemd-analyze verify says about the user unit" "" \
  "$(XDG_RUNTIME_DIR="$work/run" MANPATH="$root/usr/share/man" \
    systemd-analyze --user verify "$work/units/quorvalinthexa-receive.service" 2>&1 || echo "(exit $?)")"
home="$work/home"
mkdir -p "$home"
unit_command() {  # unit_command KEY: the unit's command line, %h filled in
  sed -n "s/^$1=//p" "$work/units/quorvalinthexa-receive.service" | sed "s|%h|$home|g"
}
if command -v unshare >/dev/null && unshare -n true 2>/dev/null; then
  # In a network of its own, so that the receiver's discovery stays off the machine's.
  unshare -n bash -c '
    ip link set lo up
    $1 || exit 1
    $2 >"$3/receiver.out" 2>"$3/receiver.err" &
    for i in $(seq 100); do grep -q "listening" "$3/receiver.err" && break; sleep 0.1; done
    echo hello >"$3/note.txt"
    "$4" send 127.0.0.1 "$3/note.txt" >/dev/null || exit 1
    for i in $(seq 100); do grep -q "Receiving complete" "$3/receiver.out" && break; sleep 0.1; done
    kill -TERM $!
    wait $!' _ "$(unit_command ExecStartPre)" "$(unit_command ExecStart)" "$work" "$program" ||
    fail "the unit's commands did not run as a receiver: $(cat "$work/receiver.out" "$work/receiver.err")"
  expect_eq "what the unit's receiver stored" "hello" "$(cat "$home/Downloads/Quorvalinthexa/note.txt" 2>&1)"
else
  echo "not run: the unit's commands (no network namespace here)"
fi

dpkg_root -r quorvalinthexa >/dev/null
check "dpkg -r removes it" not_installed
expect_eq "files left after dpkg -r" "" "$(cd "$root" && find usr -type f 2>/dev/null)"
finish

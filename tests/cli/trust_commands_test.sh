#!/usr/bin/env bash
# The commands of the identity and the pinned list: `id` makes the key once and prints
# the same ID after, `trust`, `trusted` and `untrust` keep the list, with the exit
# statuses of the other commands (0 done, 1 refused, 2 a usage error).
source "$(dirname "$0")/lib.sh"
export XDG_CONFIG_HOME="$WORK/config"
A=ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567
# A zero-width space and an Arabic letter mark: a name keeps neither.
ZWSP=$'\xe2\x80\x8b' ALM=$'\xd8\x9c'

# status | arguments | a line the output holds
while IFS='|' read -r expected arguments line; do
  rc=0
  # shellcheck disable=SC2086
  out="$("$CLI" $arguments 2>&1)" || rc=$?
  expect_eq "status of '$arguments'" "$expected" "$rc"
  [[ "$out" == *"$line"* ]] || fail "'$arguments' printed '$out', not '$line'"
done <<TABLE
0|trusted|No trusted computers.
2|trust|missing the computer ID
2|trust ABCD-EFGH|not a computer ID: ABCD-EFGH
2|trust $A Lab extra|too many operands
2|untrust --force $A|unknown option --force
0|trust abcdefghijklmnopqrstuvwxyz234567 Lab|Trusted $A as Lab.
0|trusted|Lab   $A  -                never
0|trust $A L${ZWSP}a${ALM}b|Trusted $A as Lab.
0|trusted|Lab   $A  -                never
0|untrust $A|No longer trusted: $A.
1|untrust $A|$A is not trusted
0|trusted --help|Usage: quorvalinthexa trusted
TABLE

first="$("$CLI" id)"
expect_eq "the ID again" "$first" "$("$CLI" id)"
[[ "$first" =~ ^([A-Z2-7]{4}-){7}[A-Z2-7]{4}$ ]] || fail "'$first' is not an ID"
expect_eq "the key file's mode" 600 "$(stat -c %a "$XDG_CONFIG_HOME/quorvalinthexa/identity.pem")"

# As a user other than root, who reads and changes every file: a pinned list that cannot
# be read is never replaced by a save, and a key file others may read that cannot be made
# private is refused with the way to mend it.
if command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
  N="$WORK/n"
  as_nobody() {
    setpriv --reuid nobody --regid nogroup --clear-groups \
      env XDG_CONFIG_HOME="$N/config" XDG_STATE_HOME="$N/state" "$CLI" "$@"
  }
  chmod 711 "$WORK"
  mkdir -p "$N/state/quorvalinthexa" "$N/config/quorvalinthexa"
  chown -R nobody:nogroup "$N"
  list="$N/state/quorvalinthexa/trusted"
  printf '%s\tkept\t\t0\n' "$A" >"$list"  # root's, 0600: nobody cannot read it
  chmod 600 "$list"
  rc=0
  out="$(as_nobody trust XJ4B-NP4P-AHH6-UQKB-IDPF-3LRC-EOYA-GYND new 2>&1)" || rc=$?
  expect_eq "an unreadable list: the status of trust" 1 "$rc"
  [[ "$out" == *"cannot be read (Permission denied); it was left as it is"* ]] || fail "trust printed '$out'"
  expect_eq "an unreadable list: left as it was" "$(printf '%s\tkept\t\t0' "$A")" "$(cat "$list")"
  rc=0
  out="$(as_nobody trusted 2>&1)" || rc=$?
  expect_eq "an unreadable list: the status of trusted" 1 "$rc"
  [[ "$out" == *"cannot be read"* ]] || fail "trusted printed '$out'"
  key="$N/config/quorvalinthexa/identity.pem"
  cp "$XDG_CONFIG_HOME/quorvalinthexa/identity.pem" "$key"
  chmod 644 "$key"  # root's, readable by all
  rc=0
  out="$(as_nobody id 2>&1)" || rc=$?
  expect_eq "a key others may read, not ours: the status of id" 1 "$rc"
  [[ "$out" == *"chmod 600 $key"* ]] || fail "id printed '$out'"
  chown nobody "$key"
  expect_eq "the same key, ours: read after it is made private" "$first" "$(as_nobody id)"
  expect_eq "the same key, ours: its mode" 600 "$(stat -c %a "$key")"
  # Nobody can be told trusted: a send goes nowhere in the clear (5), not to port 2904.
  echo words >"$N/f.txt"
  chmod 644 "$N/f.txt"
  rc=0
  out="$(as_nobody send --port 39041 --private-port 39061 127.0.0.1 "$N/f.txt" 2>&1)" || rc=$?
  expect_eq "an unreadable list: the status of send" 5 "$rc"
  [[ "$out" == *"cannot be read"* ]] || fail "send printed '$out'"
else
  echo "SKIP the cases as another user: no setpriv or no user nobody"
fi
finish

#!/usr/bin/env bash
# The commands of the identity and the pinned list: `id` makes the key once and prints
# the same ID after, `trust`, `trusted` and `untrust` keep the list, with the exit
# statuses of the other commands (0 done, 1 refused, 2 a usage error).
source "$(dirname "$0")/lib.sh"
export XDG_CONFIG_HOME="$WORK/config"
A=ABCD-EFGH-IJKL-MNOP-QRST-UVWX-YZ23-4567

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
0|untrust $A|No longer trusted: $A.
1|untrust $A|$A is not trusted
0|trusted --help|Usage: quorvalinthexa trusted
TABLE

first="$("$CLI" id)"
expect_eq "the ID again" "$first" "$("$CLI" id)"
[[ "$first" =~ ^([A-Z2-7]{4}-){7}[A-Z2-7]{4}$ ]] || fail "'$first' is not an ID"
expect_eq "the key file's mode" 600 "$(stat -c %a "$XDG_CONFIG_HOME/quorvalinthexa/identity.pem")"
finish

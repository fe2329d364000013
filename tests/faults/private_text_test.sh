#!/usr/bin/env bash
# Texts between two copies over the private channel (send --text), case by case (CASES):
#   words      a text both ways and from standard input: shown on the receiver's output,
#              in both histories, never in the store, and a capture holds none of its words
#   hostile    escape sequences and bidi controls never reach the receiver's terminal raw;
#              65536 bytes go, 65537 are refused whole by the sender; invalid UTF-8 and
#              lying lengths from a trusted key are refused or dropped by the receiver
#   untrusted  a receiver that does not trust the sender refuses it unread; a sender that
#              does not trust HOST sends nothing and names the pairing; --ask takes a
#              trusted computer's text without a question, as its files
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/private_lib.sh"
command -v tcpdump >/dev/null || skip "tcpdump is missing"
command -v openssl >/dev/null || skip "openssl is missing"
CASES=(words hostile untrusted)

# history_of COPY: that copy's history as JSON lines.
history_of() { as "$1" "$CLI" history --json; }
# shown WORDS: the receiver printed a text holding WORDS.
shown() { wait_for_line "$WORK/rx.out" "$1"; }
store_empty() { [ -z "$(ls -A "$STORE")" ]; }
# raw WHAT PEM REQUEST FILE: the receiver's first answer to a scripted sender with the key in
# PEM writing "QVP/1 REQUEST\n" and FILE's bytes.
raw() {
  in_tx python3 "$QV_ROOT/tests/faults/old_private_sender.py" "$RX_ADDR" 2906 "$2" "$2" "$4" "$3" || true
}

case_words() {
  as r "$CLI" trust "$(id_of s)" sender-s >/dev/null
  as s "$CLI" trust "$(id_of r)" receiver-r >/dev/null
  receive_as r
  capture "$WORK/text.cap" send_as s "words" 0 --text "meet at noon W4R-words" "$RX_ADDR"
  check "words: shown on the receiver's output" shown "meet at noon W4R-words"
  check "words: named by the trusted name" shown "Text from sender-s:"
  check "words: the sender said where it went" said "$WORK/tx.out" "Text sent to receiver-r. (encrypted)"
  check "words: the capture saw the private port" seen "$WORK/text.cap" "$RX_ADDR.2906:"
  check "words: the capture holds none of the words" not seen "$WORK/text.cap" "W4R-words"
  check "words: nothing in the store" store_empty
  printf 'line one S7D-stdin\nline two\n' >"$WORK/in.txt"
  send_as s "standard input" 0 --text - "$RX_ADDR" <"$WORK/in.txt"
  check "standard input: shown" shown "line one S7D-stdin"
  rx_stop
  check "history: the receiver kept the text, named and counted" \
    grep -q '"direction":"received","door":"text","encrypted":true.*"peer":"sender-s".*"bytes":22' <(history_of r)
  check "history: the sender kept it" \
    grep -q '"direction":"sent","door":"text","encrypted":true.*"peer":"receiver-r".*"bytes":22.*"outcome":"complete"' <(history_of s)
  receive_as s  # the other way
  send_as r "the other way" 0 --text "back again B2K-words" "$RX_ADDR"
  check "the other way: shown, named" shown "Text from receiver-r:"
  check "the other way: the words" shown "back again B2K-words"
  rx_stop
}

case_hostile() {
  receive_as r
  send_as s "escapes" 0 --text $'red \e[31mE5C\e]0;title\a \u202eevil\u2066 done' "$RX_ADDR"
  check "escapes: the text arrived" shown "E5C"
  check "escapes: no escape byte on the receiver's output" not grep -q $'\e' "$WORK/rx.out"
  check "escapes: no bell on the receiver's output" not grep -q $'\a' "$WORK/rx.out"
  check "escapes: no bidi control raw on the receiver's output" not grep -qaF $'\u202e' "$WORK/rx.out"
  head -c 65536 /dev/zero | tr '\0' 'a' >"$WORK/most.txt"
  send_as s "65536 bytes" 0 --text - "$RX_ADDR" <"$WORK/most.txt"
  { cat "$WORK/most.txt"; printf b; } >"$WORK/over.txt"
  send_as s "65537 bytes" 2 --text - "$RX_ADDR" <"$WORK/over.txt"
  expect_said "65537 bytes: the sender says why" "$WORK/tx.err" "longer than 65536 bytes: nothing was sent"
  send_as s "invalid UTF-8 on the sender" 2 --text $'ab\xff' "$RX_ADDR"
  local pem="$WORK/s/config/quorvalinthexa/identity.pem"
  printf 'ab\xffcd' >"$WORK/bad.txt"
  expect_eq "invalid UTF-8 from a trusted key: refused" \
    "QVP/1 REFUSED Refused a text from $TX_ADDR: it is not valid UTF-8." "$(raw bad "$pem" "TEXT 5" "$WORK/bad.txt" | tr -d '\n')"
  printf 'short L13-short' >"$WORK/short.txt"
  expect_eq "a length that lies long: no answer" "" "$(raw short "$pem" "TEXT 100" "$WORK/short.txt")"
  printf 'five L13-extra' >"$WORK/extra.txt"
  expect_eq "a length that lies short: only its bytes are taken" "QVP/1 STORED" \
    "$(raw extra "$pem" "TEXT 5" "$WORK/extra.txt" | tr -d '\n')"
  expect_eq "TEXT 65537: no answer" "" "$(raw over "$pem" "TEXT 65537" "$WORK/over.txt")"
  expect_eq "TEXT 007: no answer" "" "$(raw zeros "$pem" "TEXT 007" "$WORK/extra.txt")"
  rx_stop
  check "lies: the cut text was never shown" not said "$WORK/rx.out" "L13-short"
  check "lies: the bytes past the length were never shown" not said "$WORK/rx.out" "L13-extra"
  check "hostile: nothing in the store" store_empty
}

case_untrusted() {
  as u "$CLI" trust "$(id_of r)" receiver-r >/dev/null  # u trusts r; r does not trust u
  receive_as r
  send_as u "a stranger to the receiver" 4 --text "let me in U8N-words" "$RX_ADDR"
  expect_said "a stranger: told why" "$WORK/tx.err" "Refused $TX_ADDR: not a trusted computer."
  check "a stranger: its words never shown" not said "$WORK/rx.out" "U8N-words"
  check "a stranger: the receiver says so" said "$WORK/rx.err" "Refused $TX_ADDR: not a trusted computer."
  check "a stranger: its own history keeps the refusal and why" \
    grep -q '"direction":"sent","door":"text".*"outcome":"refused","reason":"Refused '"$TX_ADDR"': not a trusted' \
    <(history_of u)
  capture "$WORK/none.cap" send_as m "HOST not trusted" 5 --text "hello N0T-words" "$RX_ADDR"
  expect_said "HOST not trusted: the hint names the pairing" "$WORK/tx.err" "quorvalinthexa pair $RX_ADDR"
  check "HOST not trusted: no connection was made" not seen "$WORK/none.cap" "$RX_ADDR.2906:"
  rx_stop
  check "untrusted: the refusal is in the receiver's history" \
    grep -q '"direction":"received","door":"text","encrypted":false,"peer":"'"$TX_ADDR"'".*"outcome":"refused"' \
    <(history_of r)
  check "untrusted: nothing in the store" store_empty
  receive_as r --ask </dev/null  # no terminal: a question would be declined
  send_as s "--ask: a trusted computer's text" 0 --text "no question A5K-words" "$RX_ADDR"
  check "--ask: shown without a question, as its files would be" shown "A5K-words"
  rx_stop
}

for name in "${CASES[@]}"; do
  echo "== $name"
  "case_$name"
done
finish

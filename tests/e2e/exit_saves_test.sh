#!/usr/bin/env bash
# The exit command: F1 asks; Cancel keeps the program running and writes
# nothing; OK writes both data files and ends the program with code 0.
source "$(dirname "$0")/lib.sh"

start_shell
start_demo
[ -f "$DATA_DIR/afxg002" ] && [ -f "$DATA_DIR/afxg003" ] || fail "the demo wrote no device"
# The program has read the files; take them away so that only the exit
# command can bring them back.
rm -f "$DATA_DIR/afxg002" "$DATA_DIR/afxg003"

keys F1
wait_for "$EXIT_CONFIRM" 10
keys Escape # Cancel
wait_gone "$EXIT_CONFIRM" 10
[ ! -e "$DATA_DIR/afxg002" ] || fail "Cancel wrote the settings"
program_pid >/dev/null || fail "the program ended on Cancel"

keys F1
wait_for "$EXIT_CONFIRM" 10
keys Enter # OK
wait_gone "$H_NAME" 20
[ "$(last_status)" = 0 ] || fail "exit code is not 0"
[ -s "$DATA_DIR/afxg002" ] || fail "afxg002 not written"
[ -s "$DATA_DIR/afxg003" ] || fail "afxg003 not written"
# The watch list file is scrambled; its five codes are there once unscrambled.
codes=$(python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
text = bytes(b ^ 0x5A for b in data).decode("gbk", "replace")
print(" ".join(f for f in text.split(";") if len(f) == 6 and f.isdigit()))
' "$DATA_DIR/afxg003")
for code in 600519 600036 000002 601318 999998; do
  grep -qw "$code" <<<"$codes" || fail "afxg003 lacks $code: $codes"
done
# Nothing of the program is left running (the demo server stops with it).
end=$((SECONDS + 10))
while ((SECONDS < end)) && [ -n "$(our_pids)" ]; do sleep 0.1; done
[ -z "$(our_pids)" ] || fail "copies still running: $(our_pids)"
echo "PASS"

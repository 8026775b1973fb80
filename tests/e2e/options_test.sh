#!/usr/bin/env bash
# The command line of the real binary: help with the keys, the version, a
# clear one-line error with exit code 2, and a clear refusal without a
# terminal.
source "$(dirname "$0")/lib.sh"

out=$("$STOCKAT" --help)
for word in --root --server --gateway --clock --clock-rate --tz --sms-outbox --demo --feed F1 F2 F3 Enter Esc Tab; do
  grep -qF -- "$word" <<<"$out" || fail "--help lacks $word"
done
[ "$("$STOCKAT" --version)" = "stockat 2.0" ] || fail "--version"

set +e
err=$("$STOCKAT" --no-such-option 2>&1 >/dev/null)
rc=$?
set -e
[ "$rc" = 2 ] || fail "a bad option gave exit code $rc"
[ "$(wc -l <<<"$err")" = 1 ] || fail "a bad option gave more than one line: $err"
grep -qF -- "--no-such-option" <<<"$err" || fail "the error does not name the option: $err"

set +e
err=$("$STOCKAT" --root "$WORK/root" --sms-outbox "$WORK/outbox" </dev/null 2>&1 >/dev/null)
rc=$?
set -e
[ "$rc" = 1 ] || fail "without a terminal: exit code $rc"
grep -qF "terminal" <<<"$err" || fail "without a terminal: $err"
echo "PASS"

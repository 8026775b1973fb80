#!/usr/bin/env bash
# The systemd user unit: systemd-analyze verify accepts it (as a user unit
# and as a unit at all, with the program and its manual page where the unit
# names them), it restarts only after a failure, and its ExecStart line,
# run as the service manager runs it (standard error on the journal, as
# JOURNAL_STREAM says), keeps the program in the started process, which
# SIGTERM (a stop) ends with exit code 0 and its files written. Without a
# user manager (CI) this is as close as the unit gets to running.
source "$(dirname "$0")/lib.sh"
SRC=${STOCKAT_SOURCE_DIR:-$(cd "$E2E_DIR/../.." && pwd)}
command -v systemd-analyze >/dev/null || fail "systemd-analyze is missing (scripts/install-deps.sh installs systemd)"

unit="$WORK/stockat.service"
sed "s|@BINDIR@|$BUILD|" "$SRC/cmake/systemd/stockat.service.in" >"$unit"
mkdir -p "$WORK/man/man1" "$WORK/xdg"
if [ -f "$BUILD/man/stockat.1" ]; then
  cp "$BUILD/man/stockat.1" "$WORK/man/man1/"
else # a build without help2man: the page's place is all verify looks for
  printf '.TH STOCKAT 1\n.SH NAME\nstockat\n' >"$WORK/man/man1/stockat.1"
fi
for mode in --user --system; do
  out=$(XDG_RUNTIME_DIR=$WORK/xdg MANPATH=$WORK/man systemd-analyze verify "$mode" "$unit" 2>&1) ||
    fail "systemd-analyze verify $mode: $out"
  [ -z "$out" ] || fail "systemd-analyze verify $mode says: $out"
done
value() { sed -n "s/^$1=//p" "$unit"; }
[ "$(value Type)" = exec ] || fail "Type is not exec"
[ "$(value Restart)" = on-failure ] || fail "Restart is not on-failure"
[ -n "$(value StartLimitBurst)" ] && [ -n "$(value StartLimitIntervalSec)" ] || fail "no start limit"
[ "$(value WantedBy)" = default.target ] || fail "not wanted by default.target"

# The ExecStart line, on the demo's simulated market (loopback only).
read -r -a exec_start <<<"$(value ExecStart)"
[ "${exec_start[0]}" = "$BUILD/stockat" ] && [ "${exec_start[1]}" = --background ] ||
  fail "ExecStart: ${exec_start[*]}"
exec 3>"$WORK/journal"
journal=$(stat -L -c '%d:%i' /proc/self/fd/3)
JOURNAL_STREAM=$journal XDG_RUNTIME_DIR=$WORK setsid "${exec_start[@]}" --demo \
  --sms-outbox "$WORK/outbox" </dev/null >&3 2>&3 &
service=$!
end=$((SECONDS + 30))
while ((SECONDS < end)) && ! program_pid >/dev/null; do sleep 0.1; done
[ "$(program_pid)" = "$service" ] || fail "the program left the started process ($service): $(program_pid || true)"
rm -f "$DATA_DIR/afxg002" "$DATA_DIR/afxg003"
kill -TERM "$service"
rc=0
wait "$service" || rc=$?
[ "$rc" = 0 ] || fail "a stop ended it with exit code $rc: $(cat "$WORK/journal")"
[ -s "$DATA_DIR/afxg002" ] && [ -s "$DATA_DIR/afxg003" ] || fail "a stop did not write the files"
end=$((SECONDS + 10))
while ((SECONDS < end)) && [ -n "$(our_pids)" ]; do sleep 0.1; done
[ -z "$(our_pids)" ] || fail "the quote server outlived a stop: $(our_pids)"
echo "PASS"

#!/usr/bin/env bash
# The program kept running without a terminal. `stockat --background` from a
# plain shell with no terminal starts it detached (no controlling terminal,
# its output in its log); a target alert reaches the desktop stand-in (a mock
# notification service on a private session bus) while it has no terminal; a
# second --background finds it and says so; `stockat` in tmux takes it over
# with the same list; its exit command ends it; --status answers in both
# states with 0 and 3. SIGTERM saves an added stock and a target as the exit
# command would; SIGKILL leaves the files of the last save.
source "$(dirname "$0")/lib.sh"

# --- A private session bus with the mock desktop ---------------------------
python=""
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import dbusmock' 2>/dev/null; then python=$candidate; break; fi
done
[ -n "$python" ] || fail "python3-dbusmock is not installed (scripts/install-deps.sh installs it)"
cat >"$WORK/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:dir=$WORK</listen>
<auth>EXTERNAL</auth><policy context="default"><allow send_destination="*" eavesdrop="true"/>
<allow eavesdrop="true"/><allow own="*"/></policy></busconfig>
CONF
dbus-daemon --config-file="$WORK/bus.conf" --fork --print-address=3 --print-pid=4 \
  3>"$WORK/bus.address" 4>"$WORK/bus.pid" </dev/null >/dev/null 2>&1
for _ in $(seq 100); do [ -s "$WORK/bus.pid" ] && break; sleep 0.05; done
BUS=$(head -1 "$WORK/bus.address")
DBUS_SESSION_BUS_ADDRESS=$BUS "$python" -m dbusmock --template notification_daemon \
  -l "$WORK/bubbles.log" >/dev/null 2>&1 &
mock_pid=$!
stop_bus() {
  kill "$mock_pid" 2>/dev/null || true
  kill "$(cat "$WORK/bus.pid")" 2>/dev/null || true
  cleanup
}
trap stop_bus EXIT
for _ in $(seq 100); do
  DBUS_SESSION_BUS_ADDRESS=$BUS dbus-send --session --print-reply --reply-timeout=1000 \
    --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.Notifications 2>/dev/null | grep -q true && break
  sleep 0.1
done

# Runs stockat from a plain shell without a terminal, as a service or a
# script would; its output in $WORK/out.
plain() {
  XDG_RUNTIME_DIR=$WORK DBUS_SESSION_BUS_ADDRESS=$BUS setsid "$STOCKAT" "$@" \
    </dev/null >"$WORK/out" 2>&1
}
status() { # --status of the demo's device; its exit code in $rc
  rc=0
  plain --status --demo || rc=$?
}

status
[ "$rc" = 3 ] && grep -qx "running: no" "$WORK/out" || fail "--status before: rc $rc, $(cat "$WORK/out")"

# --- In the background from the start --------------------------------------
plain --background --demo --sms-outbox "$WORK/outbox" || fail "--background: exit $?: $(cat "$WORK/out")"
[ "$(wc -l <"$WORK/out")" = 1 ] || fail "--background said more than one line: $(cat "$WORK/out")"
pid=$(program_pid) || fail "no program after --background"
[ "$(awk '{print $7}' "/proc/$pid/stat")" = 0 ] || fail "the background copy has a controlling terminal"
[ "$(awk '{print $6}' "/proc/$pid/stat")" = "$pid" ] || fail "the background copy leads no session"
[ "$(readlink "/proc/$pid/fd/0")" = /dev/null ] || fail "its input is not /dev/null"
[ "$(readlink "/proc/$pid/fd/2")" = "$DEMO_ROOT/stockat.log" ] || fail "its errors do not go to its log"
status
[ "$rc" = 0 ] || fail "--status while running: rc $rc"
for line in "running: yes" "pid: $pid" "terminal: no (in the background)" "push outbox: 0 waiting"; do
  grep -qxF "$line" "$WORK/out" || fail "--status lacks \"$line\": $(cat "$WORK/out")"
done
grep -qE '^quote server: 127\.0\.0\.1:[0-9]+ \(simulated market' "$WORK/out" || fail "no quote server: $(cat "$WORK/out")"

# Twice: one line, exit 0, still one copy.
plain --background --demo --sms-outbox "$WORK/outbox" || fail "a second --background failed"
grep -q "runs already (pid $pid)" "$WORK/out" || fail "a second --background said: $(cat "$WORK/out")"
[ "$(program_pid)" = "$pid" ] || fail "a second copy runs"

# The demo's targets lie around the prices: alerts come within a few
# refreshes, as bubbles, to the desktop.
end=$((SECONDS + 90))
while ((SECONDS < end)) && ! grep -q "Notify" "$WORK/bubbles.log" 2>/dev/null; do sleep 0.2; done
grep -q "Notify" "$WORK/bubbles.log" || fail "no alert reached the desktop in the background"
status
grep -qE '^last refresh: [0-9]{4}-' "$WORK/out" || fail "no last refresh: $(cat "$WORK/out")"
# An alert waiting in the push outbox is counted; hidden files are not.
mkdir -p "$DEMO_ROOT/push/outbox"
touch "$DEMO_ROOT/push/outbox/1.json" "$DEMO_ROOT/push/outbox/.2.json.tmp"
status
grep -qxF "push outbox: 1 waiting" "$WORK/out" || fail "outbox count: $(cat "$WORK/out")"

# --- A terminal takes it over; its exit command ends it --------------------
start_shell
type_line "'$STOCKAT' --demo --sms-outbox '$WORK/outbox'"
wait_for "$H_NAME" 30
dismiss_bubbles
for name in 贵州茅台 招商银行 中国平安 上证指数; do # the demo's list, by name
  screen | grep -qF "$name" || fail "the taken-over list lacks $name"
done
[ "$(program_pid)" = "$pid" ] || fail "another process shows the list"
status
grep -qxF "terminal: yes" "$WORK/out" || fail "--status does not see the terminal: $(cat "$WORK/out")"
end=$((SECONDS + 30))
until screen | grep -qF "$EXIT_CONFIRM"; do
  ((SECONDS < end)) || fail "no exit confirmation"
  dismiss_bubbles
  keys F1
  sleep 0.5
done
keys Enter
end=$((SECONDS + 20))
while ((SECONDS < end)) && [ -n "$(our_pids)" ]; do sleep 0.1; done
[ -z "$(our_pids)" ] || fail "the exit command did not end it: $(our_pids)"
[ "$(last_status)" = 0 ] || fail "the waiting copy did not exit with 0"
status
[ "$rc" = 3 ] || fail "--status after the exit: rc $rc"

# --- SIGTERM saves; SIGKILL keeps the last save ----------------------------
# The demo's device as the exit command left it, on the simulated market.
run_on_terminal() {
  type_line "'$STOCKAT' --demo --root '$DEMO_ROOT' --clock-rate 0.5 --sms-outbox '$WORK/outbox'"
  wait_for "$H_NAME" 30
  dismiss_bubbles
}
run_on_terminal
open_add_stock
tm send-keys -t main -l 601398
wait_for 601398 10
keys F2 # look up
wait_for "$DETAIL_TITLE" 30
added=$(screen | sed -n 2p | awk '{print $1}')
[ -n "$added" ] || fail "the preview shows no name"
keys F2 # save
wait_for "$H_NAME" 10
wait_for "$added" 10
# A sell target of 1.00 on the first row.
keys Down
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Enter
wait_for "$TARGET_TITLE" 10
keys End BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace
tm send-keys -t main -l "1.00"
keys F2
wait_for "$NOTIFY_TITLE" 10
keys F2
wait_for "$H_NAME" 10
wait_for " 1.00" 10
pid=$(program_pid) || fail "no program"
kill -TERM "$pid"
end=$((SECONDS + 20))
while ((SECONDS < end)) && kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "SIGTERM did not end it"
[ "$(last_status)" = 0 ] || fail "SIGTERM: exit code is not 0"
saved=$(python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
print(bytes(b ^ 0x5A for b in data).replace(b"\0", b"").decode("gbk", "replace"))' "$DATA_DIR/afxg003")
grep -qF ";601398;" <<<"$saved" || fail "SIGTERM did not save the added stock: $saved"
grep -qF ";1.00;" <<<"$saved" || fail "SIGTERM did not save the target: $saved"
run_on_terminal
screen | grep -qF "$added" || fail "the added stock is gone after the next start"
screen | grep -qF " 1.00" || fail "the target is gone after the next start"

# A change that is not saved, then SIGKILL: the files stay as they were.
cp "$DATA_DIR/afxg002" "$WORK/settings.before"
cp "$DATA_DIR/afxg003" "$WORK/list.before"
keys Down
keys F2
wait_for "${MENU_TOP[2]}" 10
keys Down Down
keys Enter
wait_for "$DELETE_PREFIX" 10
keys Enter
wait_gone "$DELETE_PREFIX" 10
# X: the program goes on in the background in a process of its own, and its
# status follows it there.
keys F3
wait_gone "$H_NAME" 20
[ "$(last_status)" = 0 ] || fail "X did not give the shell back"
pid=$(program_pid) || fail "no program in the background"
status
grep -qxF "pid: $pid" "$WORK/out" && grep -qxF "terminal: no (in the background)" "$WORK/out" ||
  fail "--status after X: $(cat "$WORK/out")"
kill -KILL "$pid"
cmp -s "$DATA_DIR/afxg002" "$WORK/settings.before" || fail "SIGKILL changed the settings file"
cmp -s "$DATA_DIR/afxg003" "$WORK/list.before" || fail "SIGKILL changed the watch list file"
status
[ "$rc" = 3 ] || fail "--status after SIGKILL: rc $rc (a stale status file)"
end=$((SECONDS + 10))
while ((SECONDS < end)) && [ -n "$(our_pids)" ]; do sleep 0.1; done
[ -z "$(our_pids)" ] || fail "the quote server outlived a killed program: $(our_pids)"
echo "PASS"

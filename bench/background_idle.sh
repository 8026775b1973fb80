#!/usr/bin/env bash
# Idle cost of the program in the background with no terminal: how often it
# wakes up and how much CPU time it spends in one idle minute, outside trading
# hours (where it has nothing to do and should not wake at all) and, for
# comparison, inside them (a refresh every 20 s). Run by hand, not in CI (it
# takes a little over a minute):
#
#   bash bench/background_idle.sh [BUILD_DIR]     # default: build/
#
# The device is the demo's (five stocks, a 20-second refresh), saved by a
# short --background --demo run that SIGTERM ends. Each measured copy starts
# with `setsid stockat --background ... </dev/null` (no terminal, its own
# session) on a copy of that folder, against a closed loopback port
# (--server 127.0.0.1:9: no quote is fetched, and nothing leaves the
# machine), with the device clock at a Wednesday 20:00 (outside) or 10:00
# (inside). A wake-up is a return from a wait: the growth of
# voluntary_ctxt_switches in /proc/PID/status over the minute, after a
# settling second; CPU time is utime + stime from /proc/PID/stat.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
STOCKAT="$BUILD/stockat"
WORK=$(mktemp -d /tmp/stockat-idle.XXXXXX)
cleanup() {
  for pid in $(pgrep -f -- "$WORK/outbox" || true); do kill -TERM "$pid" 2>/dev/null || true; done
  sleep 1
  rm -rf "$WORK"
}
trap cleanup EXIT

pid_of() { sed -n 's/^pid=//p' "$1/stockat.status"; }
switches() { awk '/^voluntary_ctxt_switches/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# The demo's device, saved by SIGTERM.
XDG_RUNTIME_DIR=$WORK setsid "$STOCKAT" --background --demo --sms-outbox "$WORK/outbox" \
  </dev/null >/dev/null 2>&1
demo_pid=$(pid_of "$WORK/stockat-demo")
kill -TERM "$demo_pid"
while kill -0 "$demo_pid" 2>/dev/null; do sleep 0.1; done

declare -A pids
for when in outside:20:00 inside:10:00; do
  name=${when%%:*}
  root="$WORK/$name"
  cp -r "$WORK/stockat-demo" "$root"
  rm -f "$root/stockat.status"
  XDG_RUNTIME_DIR=$WORK/$name-rt setsid "$STOCKAT" --background --root "$root" \
    --server 127.0.0.1:9 --clock "2026-03-04 ${when#*:}" --sms-outbox "$WORK/outbox" \
    </dev/null >/dev/null 2>&1
  pids[$name]=$(pid_of "$root")
done
sleep 1
declare -A s0 c0
for name in outside inside; do
  s0[$name]=$(switches "${pids[$name]}")
  c0[$name]=$(cpu_ticks "${pids[$name]}")
done
sleep 60
hz=$(getconf CLK_TCK)
echo "== stockat --background, no terminal, one idle minute"
for name in outside inside; do
  pid=${pids[$name]}
  [ "$(awk '{print $7}' "/proc/$pid/stat")" = 0 ] || echo "($name: it has a terminal!)"
  echo "$name trading hours: $(($(switches "$pid") - s0[$name])) wake-ups," \
    "$((($(cpu_ticks "$pid") - c0[$name]) * 1000 / hz)) ms CPU"
done

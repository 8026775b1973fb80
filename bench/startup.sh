#!/usr/bin/env bash
# Start-up, memory and idle cost of stockat, beside htop measured the same
# way in the same run. Run by hand (it takes about two minutes), not in CI:
#
#   bash bench/startup.sh [BUILD_DIR]      # default: build/ (scripts/demo.sh)
#
# Each program starts in a shell in its own tmux server on a 100x30 terminal.
# "Start to first full screen" is the time from typing the command to the
# first capture of the pane that shows the whole first screen (the list's
# headers and the soft keys for stockat; the function-key bar for htop),
# polled every 10 ms, so it includes up to that much of polling. Memory is
# VmRSS of the running process once the screen is up. The idle minute is the
# CPU time (utime + stime from /proc/PID/stat) spent in 60 s of nothing
# typed: stockat outside trading hours (its timer ticks, nothing is fetched)
# and, for the demo figure, inside them (a refresh every 20 seconds),
# htop with its default refresh.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
HERE=$(pwd)
source tests/e2e/texts.sh
WORK=$(mktemp -d /tmp/stockat-bench.XXXXXX)
SOCK="stockat-bench-$$"
tm() { tmux -L "$SOCK" -f /dev/null "$@"; }
cleanup() {
  for pid in $(pgrep -f -- "$WORK/outbox" || true); do kill -TERM "$pid" 2>/dev/null || true; done
  tm kill-server 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

now_ms() { date +%s%3N; }
pane_has() { tm capture-pane -p -t "$1" | grep -qF -- "$2"; }
shell() {
  tm new-window -d -n "$1" -e TERM=tmux-256color -e XDG_RUNTIME_DIR="$WORK" "bash --norc --noprofile"
  sleep 0.5
}
# first_screen PANE COMMAND TEXT...: ms from typing COMMAND until all TEXTs show.
first_screen() {
  local pane=$1 command=$2
  shift 2
  local start end ok text
  start=$(now_ms)
  tm send-keys -t "$pane" -l "$command"
  tm send-keys -t "$pane" Enter
  while :; do
    ok=1
    for text in "$@"; do pane_has "$pane" "$text" || { ok=0; break; }; done
    ((ok)) && break
    (($(now_ms) - start > 60000)) && { echo "timeout" >&2; return 1; }
    sleep 0.01
  done
  end=$(now_ms)
  echo $((end - start))
}
child_of_pane() {
  local shellpid
  shellpid=$(tm display -p -t "$1" '#{pane_pid}')
  pgrep -P "$shellpid" | head -1
}
lock_holder() {
  local pid
  for pid in $(pgrep -f -- "$WORK/outbox" || true); do
    if ls -l "/proc/$pid/fd" 2>/dev/null | grep -q StockAtApp.lock; then
      echo "$pid"
      return 0
    fi
  done
  return 0
}
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

tm new-session -d -s main -x 100 -y 30 "sleep 100000"

echo "== start to first full screen (ms), memory (VmRSS, kB)"
shell demo
t=$(first_screen demo "$BUILD/stockat --demo --clock-rate 0.5 --sms-outbox $WORK/outbox" "$H_NAME" "$SOFT_MENU")
pid=$(lock_holder)
echo "stockat --demo (quote server start, 5 fetches, first screen): $t ms, RSS $(rss_kb "$pid") kB"
# Leave through the exit command; the files are written.
tm send-keys -t demo F1
sleep 1
tm send-keys -t demo Enter
sleep 2

shell plain
# A --server of its own (a closed loopback port) keeps stockat from starting
# its live quote server, which would fetch from the public feeds.
t=$(first_screen plain "$BUILD/stockat --root $WORK/stockat-demo --server 127.0.0.1:9 --clock '2026-03-04 20:00' --sms-outbox $WORK/outbox" "$H_NAME" "$SOFT_MENU")
pid=$(lock_holder)
echo "stockat (files read, no network): $t ms, RSS $(rss_kb "$pid") kB"

shell htop
t=$(first_screen htop "htop" "F10Quit")
hpid=$(child_of_pane htop)
echo "htop: $t ms, RSS $(rss_kb "$hpid") kB"

echo "== CPU time of one idle minute (ms)"
shell demo2
first_screen demo2 "XDG_RUNTIME_DIR=$WORK/rt2 $BUILD/stockat --demo --clock-rate 1 --sms-outbox $WORK/outbox2" "$H_NAME" >/dev/null ||
  true
dpid=$(for p in $(pgrep -f -- "$WORK/outbox2"); do
  if ls -l "/proc/$p/fd" 2>/dev/null | grep -q StockAtApp.lock; then echo "$p"; fi
done | head -1)
hz=$(getconf CLK_TCK)
a=$(cpu_ticks "$pid")
b=$(cpu_ticks "$hpid")
c=${dpid:+$(cpu_ticks "$dpid")}
sleep 60
echo "stockat idle, outside trading hours: $((($(cpu_ticks "$pid") - a) * 1000 / hz)) ms"
if [ -n "${dpid:-}" ]; then
  echo "stockat --demo, refreshing every 20 s: $((($(cpu_ticks "$dpid") - c) * 1000 / hz)) ms"
fi
echo "htop idle: $((($(cpu_ticks "$hpid") - b) * 1000 / hz)) ms"
for p in $(pgrep -f -- "$WORK/outbox" || true); do kill -TERM "$p" 2>/dev/null || true; done

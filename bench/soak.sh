#!/usr/bin/env bash
# A trading week of the real program against the bundled quote server, at a
# high clock rate, in tmux:
#
#   bench/soak.sh [--short] [--build DIR] [--rate R] [--keep]
#
# 16 stocks with targets chosen from the simulated market (bench/soak_plan.cpp
# computes beforehand which side is crossed when), a refresh every 20 s,
# alerts as bubbles (to a mock desktop notification service on a private
# session bus) in the first half and as SMS to a private gammu-smsd (files
# backend, dummy phone) in the second half, switched in the notification
# method dialog during a lunch break. The program spends a day in the
# background with its terminal closed and is brought back by a second start.
# Every simulated hour the RSS, open descriptors and CPU time of the program
# and of the server are sampled. At the end: every target's alert came once,
# by the right way; each SMS is in the gateway's sent folder with its text;
# the files saved at exit hold the targets; RSS and descriptors stayed flat
# after the first day; nothing is left running.
#
# The full week (Mon 09:00 to Fri 15:30 at 300x) takes about 21 minutes; with
# --short one trading day at 200x (bubbles in the morning, SMS in the
# afternoon) takes about 2 minutes. The build folder (a Release build of
# stockat and stockat-quoted, with its static libraries) is DIR, or
# $STOCKAT_BUILD_DIR, or build-pkg when it holds one; otherwise build-soak is
# built. Results: the samples and logs are in the work folder that the script
# names (removed at the end unless --keep).
set -euo pipefail
ROOT_DIR=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT_DIR"

short=0
keep=0
rate=""
build=${STOCKAT_BUILD_DIR:-}
while (($#)); do
  case "$1" in
  --short) short=1 ;;
  --keep) keep=1 ;;
  --rate) rate=$2; shift ;;
  --build) build=$2; shift ;;
  *) echo "usage: $0 [--short] [--build DIR] [--rate R] [--keep]" >&2; exit 2 ;;
  esac
  shift
done
if [ -z "$build" ]; then
  if [ -x build-pkg/stockat ] && [ -f build-pkg/libstockat_server.a ]; then
    build="build-pkg"
  else
    build="build-soak"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTOCKAT_TESTS=OFF \
      -DSTOCKAT_BENCH=OFF -DCMAKE_CXX_FLAGS=-Wno-error >/dev/null
    cmake --build "$build" --target stockat stockat-quoted -j "$(nproc)"
  fi
fi
build=$(cd "$build" && pwd)
STOCKAT="$build/stockat"
QUOTED="$build/stockat-quoted"

SEED=7
WEEK_START="2026-03-02 09:00" # a Monday
START_SECONDS=$((9 * 3600))   # of the Monday
PHONE=13800138000
if ((short)); then
  rate=${rate:-200}
  days=1
  switch_days=0 # SMS from the first afternoon on
  end_hour=6.5  # 15:30
  # Background from 10:00 to 11:00, the switch at 12:00.
  background_hour=1
  return_hour=2
  switch_hour=3
  day1_hour=4 # "after the first day": from 13:00 on
  growth_limit=0 # a day is too short to tell growth from the first alerts' memory
else
  rate=${rate:-300}
  days=5
  switch_days=2 # SMS from Wednesday 12:00 on
  end_hour=102.5 # Friday 15:30
  background_hour=23 # Tuesday 08:00 to Wednesday 08:00
  return_hour=47
  switch_hour=51 # Wednesday 12:00
  # Resources are compared from Wednesday 14:00 on: after the first day,
  # the day in the background and the switch to SMS.
  day1_hour=53
  growth_limit=1 # percent of RSS
fi

WORK=$(mktemp -d /tmp/stockat-soak.XXXXXX)
DEVICE="$WORK/device"
DATA_DIR="$DEVICE/Program Files/MyTradlynx/qzfen"
SMS="$WORK/sms"
SOCK="stockat-soak-$$"
SAMPLES="$WORK/samples.csv"
COLS=100
ROWS=30
source "$ROOT_DIR/tests/e2e/texts.sh"

tm() { tmux -L "$SOCK" -f /dev/null "$@"; }
screen() { tm capture-pane -p -t "${1:-main}" 2>/dev/null || true; }
log() { echo "[soak $(date -u +%T) sim $(sim_text)] $*"; }

server_pid=""
bus_pid=""
mock_pid=""
cleanup() {
  local rc=$?
  tm kill-server 2>/dev/null || true
  for pid in $(pgrep -f -- "$DEVICE" || true); do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  [ -n "$mock_pid" ] && kill "$mock_pid" 2>/dev/null || true
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  bash "$ROOT_DIR/scripts/gammu-smsd.sh" stop "$SMS" || true
  if ((keep)) || ((rc != 0)); then
    echo "soak: work folder kept: $WORK" >&2
  else
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

fail() {
  echo "FAIL: $*" >&2
  echo "--- screen ---" >&2
  screen >&2
  exit 1
}

# --- The plan: which stocks, which targets, which half fires each side ----
python=python3
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import dbusmock' 2>/dev/null; then python=$candidate; break; fi
done
# shellcheck disable=SC2046 # the libraries are separate words
"${CXX:-c++}" -std=c++20 -O1 -I"$ROOT_DIR" bench/soak_plan.cpp \
  "$build/libstockat_server.a" "$build/libstockat_platform.a" \
  $(pkg-config --libs libsystemd) -pthread -o "$WORK/soak_plan"
"$WORK/soak_plan" "$SEED" "$WEEK_START" "$switch_days" "$days" >"$WORK/plan"
[ "$(wc -l <"$WORK/plan")" -eq 16 ] || { cat "$WORK/plan"; echo "soak: no plan" >&2; exit 1; }
sms_sides=$(awk '{n += ($3 == "s") + ($5 == "s")} END {print n + 0}' "$WORK/plan")
python3 bench/soak_tool.py write "$DATA_DIR" "$WORK/plan" "$PHONE"

# --- The services: SMS gateway, session bus with the mock desktop ---------
bash scripts/gammu-smsd.sh start "$SMS" $((${end_hour%.*} * 3600 / rate + 600))
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
BUS_ADDRESS=$(head -1 "$WORK/bus.address")
bus_pid=$(head -1 "$WORK/bus.pid")
[ -n "$BUS_ADDRESS" ] && [ -n "$bus_pid" ] || { echo "soak: no session bus" >&2; exit 1; }
DBUS_SESSION_BUS_ADDRESS=$BUS_ADDRESS "$python" -m dbusmock --template notification_daemon \
  -l "$WORK/bubbles.log" >/dev/null 2>&1 &
mock_pid=$!
for _ in $(seq 100); do
  DBUS_SESSION_BUS_ADDRESS=$BUS_ADDRESS dbus-send --session --print-reply --reply-timeout=1000 \
    --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
    string:org.freedesktop.Notifications 2>/dev/null | grep -q true && break
  sleep 0.1
done

# --- The clock: the server's and the program's run from one real start ---
T0=0
sim_seconds() { # simulated seconds since Monday 00:00, now
  if [ "$T0" = 0 ]; then echo "$START_SECONDS"; return; fi
  python3 -c "import time; print(int($START_SECONDS + (time.time() - $T0) * $rate))"
}
sim_text() {
  local s
  s=$(sim_seconds)
  printf '%s %02d:%02d' "$(cut -d' ' -f$((s / 86400 + 1)) <<<'Mon Tue Wed Thu Fri Sat Sun')" \
    $((s % 86400 / 3600)) $((s % 3600 / 60))
}
# wait_sim HOURS: until HOURS simulated hours after the start.
wait_sim() {
  local until
  until=$(python3 -c "print($T0 + $1 * 3600 / $rate)")
  python3 -c "import time; time.sleep(max(0, $until - time.time()))"
}
clock_at() { # the Beijing clock text of the moment now
  local s
  s=$(sim_seconds)
  printf '2026-03-%02d %02d:%02d:%02d' $((2 + s / 86400)) $((s % 86400 / 3600)) \
    $((s % 3600 / 60)) $((s % 60))
}

T0=$(python3 -c 'import time; print(repr(time.time()))')
"$QUOTED" --listen 127.0.0.1:0 --seed "$SEED" --clock "$WEEK_START" --clock-rate "$rate" \
  >"$WORK/quoted.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do grep -q listening "$WORK/quoted.out" && break; sleep 0.05; done
port=$(grep -oE '[0-9]+$' "$WORK/quoted.out" | head -1)
[ -n "$port" ] || { cat "$WORK/quoted.out"; echo "soak: no server" >&2; exit 1; }

start_terminal() { # a shell in a tmux window NAME that knows the bus
  local name=$1
  if tm has-session -t main 2>/dev/null; then
    tm new-window -d -n "$name" -e TERM=tmux-256color -e "XDG_RUNTIME_DIR=$WORK" \
      -e "DBUS_SESSION_BUS_ADDRESS=$BUS_ADDRESS" "bash --norc --noprofile"
  else
    tm new-session -d -s main -n "$name" -x "$COLS" -y "$ROWS" -e TERM=tmux-256color \
      -e "XDG_RUNTIME_DIR=$WORK" -e "DBUS_SESSION_BUS_ADDRESS=$BUS_ADDRESS" \
      "bash --norc --noprofile"
  fi
  tm send-keys -t "$name" -l "PS1='soak''> '"
  tm send-keys -t "$name" Enter
  wait_for 'soak>' 10 "$name"
}
wait_for() {
  local text=$1 limit=${2:-30} pane=${3:-main} end=$((SECONDS + ${2:-30}))
  while ((SECONDS < end)); do
    screen "$pane" | grep -qF -- "$text" && return 0
    sleep 0.1
  done
  fail "waited ${limit}s for \"$text\" on $pane"
}
run_stockat() { # in window NAME, with the clock of the moment
  tm send-keys -t "$1" -l "'$STOCKAT' --root '$DEVICE' --server 127.0.0.1:$port \
--sms-outbox '$SMS/outbox' --tz Asia/Shanghai --clock '$(clock_at)' --clock-rate $rate"
  tm send-keys -t "$1" Enter
}
# Whether process PID holds the program's lock file. Each descriptor is read
# on its own: a listing of the whole folder fails when a descriptor closes
# while it is read (the program opens and closes sockets all the time).
holds_lock() {
  local link
  for link in /proc/"$1"/fd/*; do
    [[ $(readlink "$link" 2>/dev/null) == *StockAtApp.lock ]] && return 0
  done
  return 1
}
# The copy that holds the program's lock file: the running program.
program_pid() {
  local pid
  for pid in $(pgrep -f -- "$DEVICE" || true); do
    if holds_lock "$pid"; then
      echo "$pid"
      return 0
    fi
  done
  return 1
}
# Escape until the list shows: each key dismisses the top bubble.
dismiss_bubbles() {
  local pane=$1 end=$((SECONDS + 60))
  while ((SECONDS < end)); do
    screen "$pane" | grep -qF -- "$BUBBLE_TITLE" || { screen "$pane" | grep -qF -- "$H_NAME" && return 0; }
    tm send-keys -t "$pane" Escape
    sleep 0.2
  done
  fail "bubbles did not go"
}

# One line of samples: simulated hour, then RSS (kB), descriptors and CPU
# seconds of the program and of the server.
ticks=$(getconf CLK_TCK)
measure() {
  local pid=$1
  if [ -z "$pid" ] || [ ! -d "/proc/$pid" ]; then echo "0,0,0"; return; fi
  local rss fds cpu
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
  fds=$(find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
  cpu=$(awk -v t="$ticks" '{printf "%.2f", ($14 + $15) / t}' "/proc/$pid/stat")
  echo "$rss,$fds,$cpu"
}
sample() {
  echo "$1,$(measure "$(program_pid || true)"),$(measure "$server_pid")" >>"$SAMPLES"
}
echo "hour,stockat_rss_kb,stockat_fds,stockat_cpu_s,quoted_rss_kb,quoted_fds,quoted_cpu_s" >"$SAMPLES"

# --- The run ---------------------------------------------------------------
log "plan (seed $SEED, $sms_sides of 32 sides in the SMS half):"
sed 's/^/    /' "$WORK/plan"
start_terminal main
run_stockat main
wait_for "$H_NAME" 30 main
pid=$(program_pid) || fail "no program"
log "stockat $pid, stockat-quoted $server_pid on port $port"
sample 0

hour=1
last_hour=${end_hour%.*}
while ((hour <= last_hour)); do
  wait_sim "$hour"
  program_pid >/dev/null || fail "the program is gone at hour $hour"
  case "$hour" in
  "$background_hour")
    # The terminal closes: like X, the program goes on in the background.
    log "terminal closed"
    tm kill-window -t main 2>/dev/null || tm kill-session -t main
    # The program detaches from the terminal and goes on as a process of
    # its own.
    pid=""
    end=$((SECONDS + 20))
    while ((SECONDS < end)); do
      sleep 0.5
      pid=$(program_pid) || continue
      readlink "/proc/$pid/fd/0" 2>/dev/null | grep -q /dev/pts || break
    done
    pid=$(program_pid) || fail "closing the terminal ended the program"
    log "in the background: stockat $pid"
    ;;
  "$return_hour")
    log "second start"
    start_terminal back
    run_stockat back
    wait_for "$TITLE" 30 back
    [ "$(program_pid)" = "$pid" ] || fail "another process answered the second start"
    ;;
  "$switch_hour")
    pane=back
    tm has-session -t back 2>/dev/null || pane=main
    log "switching to SMS in the notification method dialog"
    dismiss_bubbles "$pane"
    tm send-keys -t "$pane" Down # a row must be chosen; any will do
    tm send-keys -t "$pane" F2
    wait_for "${MENU_TOP[0]}" 10 "$pane"
    tm send-keys -t "$pane" Enter
    wait_for "$TARGET_TITLE" 10 "$pane"
    tm send-keys -t "$pane" F2 # save the targets unchanged: their alerts stay as they are
    wait_for "$NOTIFY_TITLE" 10 "$pane"
    tm send-keys -t "$pane" Tab
    tm send-keys -t "$pane" Space # the SMS choice
    tm send-keys -t "$pane" Tab
    tm send-keys -t "$pane" -l "$PHONE"
    wait_for "$PHONE" 10 "$pane"
    tm send-keys -t "$pane" F2
    wait_for "$H_NAME" 10 "$pane"
    screen "$pane" | grep -qF -- "$NOTIFY_TITLE" && fail "the notification method was not saved"
    ;;
  esac
  sample "$hour"
  hour=$((hour + 1))
done

wait_sim "$end_hour"
sample "$end_hour"
log "exit command"
pane=back
tm has-session -t back 2>/dev/null || pane=main
dismiss_bubbles "$pane"
tm send-keys -t "$pane" F1
wait_for "$EXIT_CONFIRM" 10 "$pane"
tm send-keys -t "$pane" Enter
end=$((SECONDS + 20))
while ((SECONDS < end)) && [ -n "$(pgrep -f -- "$DEVICE" || true)" ]; do sleep 0.1; done
[ -z "$(pgrep -f -- "$DEVICE" || true)" ] || fail "copies of the program still run after the exit"
kill "$server_pid"
wait "$server_pid" 2>/dev/null || true
server_pid=""
# The gateway sends what is left in its outbox within a few seconds.
end=$((SECONDS + 30))
while ((SECONDS < end)) && [ -n "$(ls -A "$SMS/outbox")" ]; do sleep 0.5; done
[ -z "$(ls -A "$SMS/outbox")" ] || fail "SMS left unsent in the outbox"
[ -z "$(ls -A "$SMS/error")" ] || fail "SMS in the gateway's error folder"

log "samples:"
column -s, -t "$SAMPLES" | sed 's/^/    /'
python3 bench/soak_tool.py check "$DATA_DIR" "$WORK/plan" "$PHONE" "$WORK/bubbles.log" \
  "$SMS/sent" "$SAMPLES" "$day1_hour" "$growth_limit" || fail "the checks failed (work folder $WORK)"
echo "real time: $((SECONDS / 60)) min $((SECONDS % 60)) s"
echo "PASS"

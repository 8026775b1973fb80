# Shared helpers of the end-to-end tests (sourced, not run by itself).
#
# Each test runs the real binaries in a tmux server of its own (tmux -L),
# in a shell on a fixed-size terminal, with a temporary runtime folder so
# that the demo's device lives in it, and a demo quote server on a loopback
# port. The screen is read with capture-pane; waiting is always a bounded
# poll of the screen, never a fixed sleep.
set -euo pipefail

BUILD=${STOCKAT_BUILD_DIR:?STOCKAT_BUILD_DIR names the build folder}
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=texts.sh
source "$E2E_DIR/texts.sh"
STOCKAT="$BUILD/stockat"
WORK=$(mktemp -d /tmp/stockat-e2e.XXXXXX)
DEMO_ROOT="$WORK/stockat-demo"
DATA_DIR="$DEMO_ROOT/Program Files/MyTradlynx/qzfen"
SOCK="stockat-e2e-$$"
COLS=100
ROWS=30

tm() { tmux -L "$SOCK" -f /dev/null "$@"; }

# The copies of the program this test started: their command lines name the
# test's own folder.
our_pids() { pgrep -f -- "$WORK/outbox" || true; }

cleanup() {
  local pids
  pids=$(our_pids)
  for pid in $pids; do kill -TERM "$pid" 2>/dev/null || true; done
  for _ in $(seq 50); do
    [ -z "$(our_pids)" ] && break
    sleep 0.1
  done
  tm kill-server 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

screen() { tm capture-pane -p -t "${1:-main}"; }
screen_colours() { tm capture-pane -p -e -t "${1:-main}"; }

fail() {
  echo "FAIL: $*" >&2
  echo "--- screen ---" >&2
  screen >&2 || true
  exit 1
}

# wait_for TEXT [SECONDS] [PANE]: until the screen shows TEXT.
wait_for() {
  local text=$1 limit=${2:-30} pane=${3:-main}
  local end=$((SECONDS + limit))
  while ((SECONDS < end)); do
    screen "$pane" | grep -qF -- "$text" && return 0
    sleep 0.1
  done
  fail "waited ${limit}s for \"$text\""
}

# wait_gone TEXT [SECONDS]: until the screen no longer shows TEXT.
wait_gone() {
  local text=$1 limit=${2:-30}
  local end=$((SECONDS + limit))
  while ((SECONDS < end)); do
    screen | grep -qF -- "$text" || return 0
    sleep 0.1
  done
  fail "waited ${limit}s for \"$text\" to go"
}

keys() { tm send-keys -t "${PANE:-main}" "$@"; }
type_line() {
  tm send-keys -t "${PANE:-main}" -l "$1"
  tm send-keys -t "${PANE:-main}" Enter
}

# A shell on a terminal of COLS x ROWS with the prompt "e2e> ".
start_shell() {
  local name=${1:-main}
  if tm has-session -t main 2>/dev/null; then
    tm new-window -d -n "$name" -e TERM=tmux-256color -e XDG_RUNTIME_DIR="$WORK" \
      "bash --norc --noprofile"
  else
    tm new-session -d -s main -n "$name" -x "$COLS" -y "$ROWS" -e TERM=tmux-256color \
      -e XDG_RUNTIME_DIR="$WORK" "bash --norc --noprofile"
  fi
  PANE=$name type_line "PS1='e2e''> '"
  wait_for 'e2e>' 10 "$name"
}

# Starts the demo in the current pane and waits for its first screen. The
# clock runs at half speed: the 20-second refresh comes every 40 seconds, so
# that no alert bubble interrupts the keys a test types.
start_demo() {
  type_line "'$STOCKAT' --demo --sms-outbox '$WORK/outbox' --clock-rate 0.5 $*"
  wait_for "$H_NAME" 30 "${PANE:-main}"
}

# A new root's first start asks how the program connects: Wi-Fi is chosen
# and the list comes up.
choose_wifi() {
  wait_for "请选择连接方式" 30
  keys Down
  keys Down Down Down
  keys Enter
  wait_for "Wi-Fi" 10
  keys F2
  wait_for "$H_NAME" 30
}

# Opens the add-stock dialog through the menu.
open_add_stock() {
  keys F2
  wait_for "${MENU_TOP[1]}" 10
  keys Down
  keys Enter
  wait_for "$ADD_TITLE" 10
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
# The pid of the copy that holds the program's lock file, i.e. the running
# program (not a waiting second copy, not the demo server's guard).
program_pid() {
  local pid
  for pid in $(our_pids); do
    if holds_lock "$pid"; then
      echo "$pid"
      return 0
    fi
  done
  return 1
}

# The shell's last exit status, read back from the screen (a fresh token
# each time, so that an older answer on the screen is never taken).
STATUS_TOKEN=0
last_status() {
  STATUS_TOKEN=$((STATUS_TOKEN + 1))
  local token="st$STATUS_TOKEN-$$" pane=${PANE:-main}
  tm send-keys -t "$pane" -l "echo \"$token=\$?\""
  tm send-keys -t "$pane" Enter
  local end=$((SECONDS + 10))
  while ((SECONDS < end)); do
    if screen "$pane" | grep -qE "^$token=[0-9]+"; then
      screen "$pane" | grep -oE "^$token=[0-9]+" | tail -1 | cut -d= -f2
      return 0
    fi
    sleep 0.1
  done
  fail "no exit status"
}

# Dismisses alert bubbles (any key but the soft keys dismisses the top one)
# until the list's headers show.
dismiss_bubbles() {
  local end=$((SECONDS + 30))
  while ((SECONDS < end)); do
    screen | grep -qF -- "$H_NAME" && return 0
    keys Escape
    sleep 0.2
  done
  fail "bubbles did not go"
}

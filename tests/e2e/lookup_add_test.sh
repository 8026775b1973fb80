#!/usr/bin/env bash
# End to end in tmux: in the demo, add a stock by typing its code, save it,
# see its row refreshed from the bundled quote server, and open its detail
# dialog with Enter.
#
# The demo's clock starts at the midday break and runs at real speed: the
# quote server shows the morning's last prices, and no timed refresh (nor
# its alert bubbles) comes between the keys, since the break lies outside
# trading hours. The refresh here is the manual one, which runs at any time;
# the bubbles it raises are dismissed before the next key.
set -euo pipefail

BUILD_DIR=${STOCKAT_BUILD_DIR:-$(cd "$(dirname "$0")/../.." && pwd)/build}
STOCKAT="$BUILD_DIR/stockat"
[[ -x "$STOCKAT" && -x "$BUILD_DIR/stockat-quoted" ]] || {
    echo "stockat and stockat-quoted must be built in $BUILD_DIR" >&2
    exit 1
}
command -v tmux >/dev/null || { echo "tmux is needed" >&2; exit 1; }

WORK=$(mktemp -d)
SOCKET="stockat-lookup-$$"
SESSION=lookup
cleanup() {
    tmux -L "$SOCKET" kill-server 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

screen() { tmux -L "$SOCKET" capture-pane -p -t "$SESSION"; }
keys() {
    tmux -L "$SOCKET" send-keys -t "$SESSION" "$@"
    sleep 0.3
}
fail() {
    echo "FAIL: $*" >&2
    echo "----- screen -----" >&2
    screen >&2 || true
    exit 1
}
# Waits up to 20 seconds until the screen shows the text (a grep pattern).
wait_for() {
    local pattern=$1
    for _ in $(seq 1 100); do
        if screen | grep -q -- "$pattern"; then
            return 0
        fi
        sleep 0.2
    done
    fail "the screen never showed: $pattern"
}
# Waits until the screen no longer shows the text.
wait_gone() {
    local pattern=$1
    for _ in $(seq 1 100); do
        if ! screen | grep -q -- "$pattern"; then
            return 0
        fi
        sleep 0.2
    done
    fail "the screen kept showing: $pattern"
}
# Dismisses the bubbles on the screen ("新通知"), one key each.
dismiss_bubbles() {
    for _ in $(seq 1 20); do
        screen | grep -q "新通知" || return 0
        keys F1
        sleep 0.5
    done
    fail "the bubbles did not go"
}

tmux -L "$SOCKET" new-session -d -s "$SESSION" -x 60 -y 26 \
    "XDG_RUNTIME_DIR='$WORK' '$STOCKAT' --demo --clock '2026-03-04 12:00' --clock-rate 1"
wait_for "退出"
dismiss_bubbles

# Menu, "增加自选股" (the second entry): the add-stock dialog.
keys F2
wait_for "增加自选股"
keys Down Enter
wait_for "瞰市\[增加\]"

# Type the code and look it up: the preview of 民生银行.
keys 6 0 0 0 1 6
wait_for "^600016"
keys F2
wait_for "瞰市\[个股\]"
wait_for "\[600016\]"
screen | grep -q "民生银行" || fail "the preview does not name the stock"
screen | grep -q "目标价(卖出): *--" || fail "the preview has a sell target"

# Save it: a new last row in the list.
keys F2
wait_gone "瞰市\[个股\]"
wait_for "^民生银行"

# Refresh by hand ("手动刷新", the last entry of the menu).
keys F2
wait_for "手动刷新"
keys Up Enter
sleep 1
dismiss_bubbles
wait_for "退出"
screen | grep -E -q "^民生银行 +[0-9]+\.[0-9]{2} +[-+]?[0-9]+\.[0-9]+%" ||
    fail "the new row shows no refreshed quote"

# Select the sixth row and open it with Enter: its detail dialog.
for _ in 1 2 3 4 5 6; do
    keys Down
done
keys Enter
wait_for "瞰市\[个股\]"
wait_for "\[600016\]"
screen | grep -q "提醒设置" || fail "the detail dialog is not in watch-list mode"
screen | grep -E -q "成交量: +[0-9]+" || fail "the detail dialog shows no volume"

keys F1
wait_gone "瞰市\[个股\]"
echo "PASS"

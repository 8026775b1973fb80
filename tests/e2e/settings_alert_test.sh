#!/usr/bin/env bash
# End to end, in tmux, with the real binaries: the demo runs against the
# bundled quote server on loopback; the user selects the first stock, sets a
# sell target far below its price through the menu's "提醒设置", chooses the
# bubble in the notification method dialog, sees the alert arrive at the
# next refresh, exits through "退出" and finds the target in afxg003.
#
# The demo's clock runs 4 times faster than real time from a trading
# morning, so the 40-second refresh comes due within ten seconds and a
# bubble stays ten seconds; the script waits for what the screen shows, with
# a deadline, never for a fixed time.
set -euo pipefail

BUILD=${STOCKAT_BUILD_DIR:-$(cd "$(dirname "$0")/../.." && pwd)/build}
STOCKAT="$BUILD/stockat"
if ! command -v tmux >/dev/null; then
    echo "tmux is needed" >&2
    exit 1
fi
[ -x "$STOCKAT" ] || { echo "no $STOCKAT" >&2; exit 1; }

WORK=$(mktemp -d /tmp/stockat-e2e-settings-XXXXXX)
SOCKET="stockat-e2e-settings-$$"
SESSION=e2e
T() { tmux -L "$SOCKET" "$@"; }
cleanup() {
    T kill-server 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

screen() { T capture-pane -p -t "$SESSION" 2>/dev/null || true; }
keys() { T send-keys -t "$SESSION" "$@"; }

# Waits until the screen shows the fixed text $1, for at most $2 seconds.
wait_for() {
    local text=$1 limit=${2:-10} waited=0
    until screen | grep -qF -- "$text"; do
        if [ "$waited" -ge $((limit * 10)) ]; then
            echo "FAIL: the screen never showed: $text" >&2
            screen >&2
            exit 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
}

# The demo keeps its device in $XDG_RUNTIME_DIR/stockat-demo: a folder of
# this test's own.
T new-session -d -s "$SESSION" -x 48 -y 24 \
    "env XDG_RUNTIME_DIR='$WORK' LANG=C.UTF-8 '$STOCKAT' --demo --clock '2026-03-04 10:00' --clock-rate 4; echo \$? > '$WORK/exit-code'; sleep 60"
wait_for "贵州茅台" 15
wait_for "菜单"

# Select the first row and open "提醒设置", the menu's first entry.
keys Down
keys F2
wait_for "提醒设置"
keys Enter
wait_for "瞰市[提醒]"
wait_for "[600519"

# The focus is in the sell price: replace it with 100.
keys End
for _ in $(seq 12); do keys BSpace; done
keys 1 0 0
wait_for "卖出:      100"
keys F2

# The notification method dialog follows; choose the bubble and save.
wait_for "通知方式"
wait_for "托盘通知"
keys Enter
keys F2
wait_for "100.00" # the list shows the new sell target

# The next refresh raises the sell alert: bubbles stack up, newest on top;
# look through them for this one.
found=no
for _ in $(seq 150); do
    if screen | grep -qF "卖出价位100.00元"; then
        found=yes
        break
    fi
    if screen | grep -qF "新通知"; then
        keys Escape
    fi
    sleep 0.2
done
if [ "$found" != yes ]; then
    echo "FAIL: no sell alert for 100.00" >&2
    screen >&2
    exit 1
fi
screen | grep -qF "贵州茅台(600519)"

# Leave the bubbles, then exit and confirm.
for _ in $(seq 20); do
    screen | grep -qF "新通知" || break
    keys Escape
    sleep 0.2
done
keys F1
wait_for "确实要退出吗"
keys Enter

# The program writes its files and ends.
for _ in $(seq 100); do
    [ -s "$WORK/exit-code" ] && break
    sleep 0.1
done
[ "$(cat "$WORK/exit-code" 2>/dev/null)" = 0 ] || { echo "FAIL: the program did not end with 0" >&2; exit 1; }
FILE="$WORK/stockat-demo/Program Files/MyTradlynx/qzfen/afxg003"

# The watch-list file: one line of ";"-ended fields, XOR 0x5A: the count,
# then fourteen fields per stock (turnover and volume are not kept), the
# sell target fourth after the code.
python3 - "$FILE" <<'EOF'
import sys
data = bytes(b ^ 0x5A for b in open(sys.argv[1], "rb").read())
text = data.split(b"\0")[0].decode("gbk")
fields = text.split(";")
at = fields.index("600519")
sell = fields[at + 4]
if sell != "100.00":
    sys.exit(f"FAIL: afxg003 holds sell target {sell!r} for 600519")
print("PASS: sell target 100.00 in afxg003")
EOF

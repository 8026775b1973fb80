#!/usr/bin/env bash
# A sell target set through the menu, with the bubble chosen as the way to be
# told: the alert arrives from the bundled quote server at the next refresh,
# and the exit command keeps the target in afxg003.
source "$(dirname "$0")/lib.sh"

start_shell
start_demo
code=600519 # the first row of the demo

keys Down
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Enter
wait_for "$TARGET_TITLE" 10
wait_for "$code" 10
screen | grep -qE "\[ *$code *\]" || fail "no [$code]"
# The sell target's field has the focus: replace it with a price far below
# the stock's, so that the next quote reaches it.
keys End BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace
tm send-keys -t main -l "100.00"
wait_for "100.00" 10
keys F2 # save
wait_for "$NOTIFY_TITLE" 10
wait_for "(*)" 10 # the bubble is the chosen way (the first choice)
keys F2 # save
wait_for "$H_NAME" 10
screen | grep -qF "100.00" || fail "the list does not show the new target"

# The refresh (the timer's, or one asked for) brings the alert; other alerts
# of the demo's targets may come in the same cycle, each its own bubble.
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Up
keys Enter
end=$((SECONDS + 60))
found=0
while ((SECONDS < end)); do
  if screen | grep -qF "100.00"$'\xe5\x85\x83'; then # the target, then 元
    found=1
    break
  fi
  if screen | grep -qF "$BUBBLE_TITLE"; then keys Escape; fi
  sleep 0.2
done
((found)) || fail "no alert for the target 100.00"
screen | grep -qF "($code)" || fail "the alert does not name $code"
dismiss_bubbles

keys F1
wait_for "$EXIT_CONFIRM" 10
keys Enter
wait_gone "$H_NAME" 20
sell=$(python3 -c '
import sys
data = open(sys.argv[1], "rb").read()
fields = bytes(b ^ 0x5A for b in data).decode("gbk", "replace").split(";")
i = fields.index(sys.argv[2])
print(fields[i + 4])
' "$DATA_DIR/afxg003" "$code")
[ "$sell" = "100.00" ] || fail "afxg003 holds sell target $sell for $code"
echo "PASS"

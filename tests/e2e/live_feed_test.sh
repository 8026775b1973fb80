#!/usr/bin/env bash
# stockat alone, on its own live quote server, with the tencent feed stood in
# for on loopback by recorded replies: the stocks show their real names and
# prices, a suspended stock stands at its previous close, and a sell target
# below a recorded price raises its alert at the next refresh.
source "$(dirname "$0")/lib.sh"

python3 "$E2E_DIR/feed_standin.py" "$E2E_DIR/../data/feeds/tencent-recorded.txt" \
  "$WORK/feed-requests" >"$WORK/feed-port" &
FEED_PID=$!
trap 'kill "$FEED_PID" 2>/dev/null || true; cleanup' EXIT
end=$((SECONDS + 20))
while ((SECONDS < end)) && [ ! -s "$WORK/feed-port" ]; do sleep 0.1; done
port=$(awk '{print $2}' "$WORK/feed-port")
[ -n "$port" ] || fail "the stand-in feed did not start"

# The recorded replies are of 2022-11-22 shortly before noon: watch them as
# of that day, so that they are today's quotes.
start_shell
type_line "'$STOCKAT' --root '$WORK/root' --sms-outbox '$WORK/outbox' --clock '2022-11-22 11:58' --clock-rate 0.5 --feed 'tencent=http://127.0.0.1:$port'"
choose_wifi

add_stock() {
  open_add_stock
  tm send-keys -t main -l "$1"
  wait_for "$1" 10
  keys F2
  wait_for "$DETAIL_TITLE" 30
  wait_for "$2" 10
  keys F2
  wait_for "$H_NAME" 10
}
add_stock 002039 "黔源电力"
add_stock 002150 "通润装备"
row() { screen | grep -F -- "$1" || true; }
grep -qE '13\.85 +\+1\.84%' <<<"$(row 黔源电力)" || fail "黔源电力 is not at its recorded 13.85 +1.84%"
grep -qE '9\.55 +0(\.00)?%' <<<"$(row 通润装备)" || fail "the suspended 通润装备 is not at its previous close"

# A sell target of 13.00 on the first row, told by bubble: the next refresh
# (asked for from the menu) reaches it at the recorded 13.85.
keys Down
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Enter
wait_for "$TARGET_TITLE" 10
keys End BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace BSpace
tm send-keys -t main -l "13.00"
wait_for "13.00" 10
keys F2
wait_for "$NOTIFY_TITLE" 10
keys Enter # the bubble, the first choice, has the focus
wait_for "(*)" 10
keys F2
wait_for "$H_NAME" 10
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Up
keys Enter
wait_for "$BUBBLE_TITLE" 30
wait_for "13.00"$'\xe5\x85\x83' 10 # the target, then 元
screen | grep -qF "(002039)" || fail "the alert does not name 002039"
dismiss_bubbles

# Every page came from the stand-in, through batched requests that carry
# both indices.
grep -q 'sh000001' "$WORK/feed-requests" || fail "no request carried the indices"
keys F1
wait_for "$EXIT_CONFIRM" 10
keys Enter
wait_gone "$H_NAME" 20
echo "PASS"

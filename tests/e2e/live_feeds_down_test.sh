#!/usr/bin/env bash
# stockat on its own live quote server while the only feed is down: the
# add-stock lookup and a manual refresh both say that the connection failed
# (never that the stock does not exist, never nothing at all); once the feed
# is back, the next refresh shows prices again.
source "$(dirname "$0")/lib.sh"

DOWN="$WORK/feed-down"
python3 "$E2E_DIR/feed_standin.py" "$E2E_DIR/../data/feeds/tencent-recorded.txt" \
  "$WORK/feed-requests" "$DOWN" >"$WORK/feed-port" &
FEED_PID=$!
trap 'kill "$FEED_PID" 2>/dev/null || true; cleanup' EXIT
end=$((SECONDS + 20))
while ((SECONDS < end)) && [ ! -s "$WORK/feed-port" ]; do sleep 0.1; done
port=$(awk '{print $2}' "$WORK/feed-port")
[ -n "$port" ] || fail "the stand-in feed did not start"

CONNECTION_FAILED="连接失败，请检查Wi-Fi设置是否正确！"
NOT_FOUND="没有找到您要查询的股票"

# The recorded replies are of 2022-11-22 shortly before noon, in the lunch
# break; a fast clock lets the failed feed's rest end within seconds.
start_shell
type_line "'$STOCKAT' --root '$WORK/root' --sms-outbox '$WORK/outbox' --clock '2022-11-22 11:58' --clock-rate 10 --feed 'tencent=http://127.0.0.1:$port'"
choose_wifi

open_add_stock
tm send-keys -t main -l 002039
wait_for 002039 10
keys F2
wait_for "$DETAIL_TITLE" 30
wait_for "黔源电力" 10
keys F2
wait_for "$H_NAME" 10
row() { screen | grep -F -- "$1" || true; }
grep -qE '13\.85 +\+1\.84%' <<<"$(row 黔源电力)" || fail "黔源电力 is not at its recorded 13.85"

# The feed goes down.
touch "$DOWN"

# The add-stock lookup: the connection-failure text, not "not found".
open_add_stock
tm send-keys -t main -l 002150
wait_for 002150 10
keys F2
wait_for "$CONNECTION_FAILED" 30
screen | grep -qF "$NOT_FOUND" && fail "the lookup says the stock does not exist"
keys F1
wait_for "$H_NAME" 10

# A manual refresh: the connection-failure box.
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Up
keys Enter
wait_for "$CONNECTION_FAILED" 60
keys Enter
wait_gone "$CONNECTION_FAILED" 10
wait_for "$H_NAME" 10

# The feed is back: once its rest is over (30 s of the fast clock, three
# real seconds), a refresh shows the prices again; until then each refresh
# still says the connection failed.
served=$(wc -l <"$WORK/feed-requests")
rm -f "$DOWN"
end=$((SECONDS + 30))
back=0
while ((SECONDS < end)); do
  keys F2
  wait_for "${MENU_TOP[0]}" 10
  keys Up
  keys Enter
  wait_for "$REFRESHING" 20
  wait_gone "$REFRESHING" 60
  # The failure box, if any, follows the progress pop-up at once.
  failed=0
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    if screen | grep -qF "$CONNECTION_FAILED"; then failed=1 && break; fi
    sleep 0.2
  done
  if ((failed)); then
    keys Enter
    wait_gone "$CONNECTION_FAILED" 10
    continue
  fi
  back=1
  break
done
((back)) || fail "the refresh kept failing with the feed back"
(($(wc -l <"$WORK/feed-requests") > served)) || fail "the refresh did not reach the feed"
grep -qE '13\.85 +\+1\.84%' <<<"$(row 黔源电力)" || fail "no price after the feed came back"
keys F1
wait_for "$EXIT_CONFIRM" 10
keys Enter
wait_gone "$H_NAME" 20
echo "PASS"

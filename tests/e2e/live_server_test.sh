#!/usr/bin/env bash
# Without --server (and without --demo) stockat starts its own live quote
# server on a loopback port, passes it the feeds and the clock, and keeps it
# running as long as the program runs, in the background too; the exit
# command ends both. The server here is a stand-in that records its
# arguments and serves the simulated market (it never reaches any feed).
source "$(dirname "$0")/lib.sh"

mkdir -p "$WORK/bin"
cp "$STOCKAT" "$WORK/bin/stockat"
cat >"$WORK/bin/stockat-quoted" <<STANDIN
#!/usr/bin/env bash
printf '%s\n' "\$@" >"$WORK/quoted-args"
echo \$\$ >"$WORK/quoted-pid"
args=()
while ((\$#)); do
  case \$1 in
  --market | --feed) shift 2 ;;
  *) args+=("\$1"); shift ;;
  esac
done
exec "$BUILD/stockat-quoted" "\${args[@]}"
STANDIN
chmod +x "$WORK/bin/stockat-quoted"

LIVE="'$WORK/bin/stockat' --root '$WORK/root' --sms-outbox '$WORK/outbox'"
start_shell
type_line "$LIVE --clock '2026-03-04 10:00' --clock-rate 0.5 --feed tencent --feed 'sina=http://127.0.0.1:9/list='"
end=$((SECONDS + 30))
while ((SECONDS < end)) && [ ! -s "$WORK/quoted-pid" ]; do sleep 0.1; done
[ -s "$WORK/quoted-pid" ] || fail "no quote server was started"
server=$(cat "$WORK/quoted-pid")
expected=$'--listen\n127.0.0.1:0\n--market\nlive\n--feed\ntencent\n--feed\nsina=http://127.0.0.1:9/list=\n--clock\n2026-03-04 10:00:00\n--clock-rate\n0.5\n--log\n'"$WORK/root/stockat-quoted.log"
[ "$(cat "$WORK/quoted-args")" = "$expected" ] || fail "the server's arguments: $(cat "$WORK/quoted-args")"

# The first start asks how the program connects: Wi-Fi.
choose_wifi

# A stock looked up comes from the server that stockat started.
open_add_stock
tm send-keys -t main -l 600036
wait_for 600036 10
keys F2
wait_for "$DETAIL_TITLE" 30
wait_for 600036 10
screen | grep -qE "\[ *600036 *\]" || fail "no [600036]"
keys F2
wait_for "$H_NAME" 10
screen | grep -qE '[0-9]+\.[0-9]{2} +[-+]?[0-9]+\.[0-9]{2}%' || fail "the new row has no quote"

# In the background the server goes on.
keys F3
wait_gone "$H_NAME" 20
[ "$(last_status)" = 0 ] || fail "the foreground process did not exit with 0"
background=$(program_pid) || fail "the program did not keep running"
kill -0 "$server" 2>/dev/null || fail "the server ended when the program went to the background"

# Back on the terminal (no second server), then the exit command ends both.
type_line "$LIVE"
wait_for "$H_NAME" 30
[ "$(program_pid)" = "$background" ] || fail "another process answered"
[ "$(cat "$WORK/quoted-pid")" = "$server" ] || fail "a second server was started"
keys F1
wait_for "$EXIT_CONFIRM" 10
keys Enter
end=$((SECONDS + 20))
while ((SECONDS < end)) && kill -0 "$server" 2>/dev/null; do sleep 0.1; done
kill -0 "$server" 2>/dev/null && fail "the server outlived the program"

# A server that cannot start is reported, and the program does not run.
rm "$WORK/bin/stockat-quoted"
type_line "$LIVE; echo \"rc=\$?\""
wait_for "rc=1" 20
screen | grep -qF "cannot start the live quote server" || fail "no clear message"
echo "PASS"

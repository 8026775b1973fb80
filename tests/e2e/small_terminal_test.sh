#!/usr/bin/env bash
# A terminal that cannot place the cursor (TERM=dumb) gets a one-line error
# and exit code 1. A terminal smaller than the screen needs (60 x 16) shows
# one centred line saying so, while the program runs on underneath and
# still takes keys; the whole screen comes back as soon as the terminal is
# large enough again.
source "$(dirname "$0")/lib.sh"

TOO_SMALL="终端窗口太小"
INDEX_TITLE="瞰市[指数]"

start_shell

type_line "TERM=dumb '$STOCKAT' --root '$WORK/dumb' --sms-outbox '$WORK/outbox' 2>'$WORK/dumb.err'"
[ "$(last_status)" = 1 ] || fail "TERM=dumb did not end with exit code 1"
[ "$(wc -l <"$WORK/dumb.err")" = 1 ] || fail "TERM=dumb: not one line: $(cat "$WORK/dumb.err")"
grep -qF "cursor" "$WORK/dumb.err" || fail "TERM=dumb: $(cat "$WORK/dumb.err")"
[ -z "$(our_pids)" ] || fail "TERM=dumb left a program running"

start_demo
pid=$(program_pid) || fail "no running program"

# 50 x 12: the one line, in the middle row, centred.
tm resize-window -t main -x 50 -y 12
wait_for "$TOO_SMALL" 10
wait_gone "$H_NAME" 10
[ "$(screen | grep -c '[^ ]')" = 1 ] || fail "more than the one line"
row=$(screen | grep -n "$TOO_SMALL" | cut -d: -f1)
[ "$row" = 6 ] || fail "the line is on row $row, not in the middle"
grep -qF "60x16" <<<"$(screen)" || fail "the line does not name the size"
lead=$(screen | sed -n 6p | sed 's/[^ ].*//' | wc -c)
[ "$lead" -ge 10 ] && [ "$lead" -le 14 ] || fail "the line is not centred ($lead blanks)"

# Wide enough but one row short: still the line.
tm resize-window -t main -x 100 -y 15
sleep 0.5
wait_for "$TOO_SMALL" 10
screen | grep -qF -- "$H_NAME" && fail "the screen came back one row short"

# The program takes keys underneath: the market index view opens unseen.
keys F2
keys Down Down Down Down
keys Enter
sleep 0.5
screen | grep -qF -- "$INDEX_TITLE" && fail "the view showed on a small terminal"

# Exactly large enough: the whole screen, with the view opened meanwhile.
tm resize-window -t main -x 60 -y 16
wait_for "$INDEX_TITLE" 10
wait_gone "$TOO_SMALL" 10
wait_for "上证指数" 10
keys F1
wait_for "$H_NAME" 10
[ "$(program_pid)" = "$pid" ] || fail "the program did not run on"

tm resize-window -t main -x "$COLS" -y "$ROWS"
wait_for "$H_SELL" 10
echo "PASS"

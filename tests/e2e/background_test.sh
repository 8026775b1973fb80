#!/usr/bin/env bash
# X sends the program to the background and gives the shell its terminal
# back; the program keeps running. A second `stockat`, from another terminal,
# brings that same running copy (same process, same unsaved state) to its
# terminal and waits; X there gives the terminal back and the second copy
# exits with code 0. Closing a terminal that shows the program is like X.
source "$(dirname "$0")/lib.sh"

start_shell
start_demo
first=$(program_pid) || fail "no running program"

# Change the state without saving: delete the first stock.
victim=$(screen | sed -n 3p | awk '{print $1}')
[ -n "$victim" ] || fail "no first row"
keys Down
keys F2
wait_for "${MENU_TOP[2]}" 10
keys Down Down
keys Enter
wait_for "$DELETE_PREFIX$victim" 10
keys Enter
wait_gone "$DELETE_PREFIX" 10
wait_for "$H_NAME" 10
screen | grep -qF -- "$victim" && fail "$victim still listed after the delete"

# X: the shell gets its terminal back with exit status 0; the program runs on.
keys F3
wait_gone "$H_NAME" 20
[ "$(last_status)" = 0 ] || fail "the foreground process did not exit with 0"
background=$(program_pid) || fail "the program did not keep running"
ls "/proc/$background/fd/0" -l | grep -q /dev/null || fail "the background copy still holds the terminal"

# A second stockat in another terminal brings it back, with the same state.
start_shell second
PANE=second type_line "'$STOCKAT' --root '$DEMO_ROOT' --server 127.0.0.1:9 --sms-outbox '$WORK/outbox'"
wait_for "$H_NAME" 30 second
screen second | grep -qF -- "$victim" && fail "the state was not kept: $victim is back"
[ "$(program_pid)" = "$background" ] || fail "another process answered"
[ "$(pgrep -f -- "$WORK/outbox" | wc -l)" -ge 2 ] || fail "the second copy is not waiting"

# The screen follows the terminal's size.
tm resize-window -t second -x 90 -y 26
end=$((SECONDS + 10))
while ((SECONDS < end)); do
  [ "$(screen second | tail -1 | grep -c "$SOFT_MENU")" = 1 ] &&
    [ "$(screen second | wc -l)" -le 26 ] && break
  sleep 0.1
done
screen second | sed -n 26p | grep -qF -- "$SOFT_MENU" || fail "the soft keys did not move to the new last row"

# X on the second terminal: the second copy exits with 0.
PANE=second keys F3
end=$((SECONDS + 20))
while ((SECONDS < end)) && screen second | grep -qF -- "$H_NAME"; do sleep 0.1; done
[ "$(PANE=second last_status)" = 0 ] || fail "the second copy did not exit with 0"
[ "$(program_pid)" = "$background" ] || fail "the program did not stay in the background"

# Once more, and this time the terminal closes: like X, the program goes on.
PANE=second type_line "'$STOCKAT' --root '$DEMO_ROOT' --server 127.0.0.1:9 --sms-outbox '$WORK/outbox'"
wait_for "$H_NAME" 30 second
tm kill-window -t second
end=$((SECONDS + 10))
while ((SECONDS < end)) && [ "$(pgrep -f -- "$WORK/outbox" | wc -l)" -gt 2 ]; do sleep 0.1; done
[ "$(program_pid)" = "$background" ] || fail "closing the terminal ended the program"

# A waiting copy that is told to end ends; the program goes back to the
# background.
start_shell third
PANE=third type_line "'$STOCKAT' --root '$DEMO_ROOT' --server 127.0.0.1:9 --sms-outbox '$WORK/outbox'"
wait_for "$H_NAME" 30 third
waiting=$(pgrep -P "$(tm display -p -t third '#{pane_pid}')" | head -1)
[ -n "$waiting" ] || fail "no waiting copy"
kill -TERM "$waiting"
end=$((SECONDS + 20))
while ((SECONDS < end)) && screen third | grep -qF -- "$H_NAME"; do sleep 0.1; done
PANE=third last_status >/dev/null
[ "$(program_pid)" = "$background" ] || fail "ending the waiting copy ended the program"

# And back on the first terminal, where the exit command ends it.
type_line "'$STOCKAT' --demo --sms-outbox '$WORK/outbox'"
wait_for "$H_NAME" 30
keys F1
wait_for "$EXIT_CONFIRM" 10
keys Enter
wait_gone "$H_NAME" 20
end=$((SECONDS + 10))
while ((SECONDS < end)) && [ -n "$(our_pids)" ]; do sleep 0.1; done
[ -z "$(our_pids)" ] || fail "copies still running after the exit command"
echo "PASS"

#!/usr/bin/env bash
# Adding a stock by typing its code: the lookup fetches it from the bundled
# quote server, the preview saves it, its row is refreshed with the others,
# and Enter on its row opens its detail dialog.
source "$(dirname "$0")/lib.sh"

start_shell
start_demo
code=601398 # a stock the demo's list does not hold

open_add_stock
# Typed Chinese (two wide characters) reaches the field whole, and two
# Backspaces take it away again.
tm send-keys -t main -l "$H_NAME"
wait_for "$H_NAME" 10
keys BSpace BSpace
wait_gone "$H_NAME" 10
tm send-keys -t main -l "$code"
wait_for "$code" 10
keys F2 # look up
wait_for "$DETAIL_TITLE" 30
wait_for "$code" 10
# The code between its brackets (spread over the screen's width).
screen | grep -qE "\[ *$code *\]" || fail "no [$code]"
name=$(screen | sed -n 2p | awk '{print $1}')
[ -n "$name" ] || fail "the preview shows no name"
tail -1 <<<"$(screen)" | grep -qF "$SAVE_KEY" || fail "the preview has no save key"
keys F2 # save
wait_for "$H_NAME" 10
row=$(screen | grep -F -- "$name" || true)
[ -n "$row" ] || fail "no row for $name"
grep -qE '[0-9]+\.[0-9]{2} +[-+]?[0-9]+\.[0-9]{2}%' <<<"$row" || fail "the new row has no quote: $row"

# A refresh fetches it with the others.
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Up
keys Enter
wait_for "$REFRESHING" 20
wait_gone "$REFRESHING" 60
dismiss_bubbles
row=$(screen | grep -F -- "$name" || true)
grep -qE '[0-9]+\.[0-9]{2} +[-+]?[0-9]+\.[0-9]{2}%' <<<"$row" || fail "the row was lost in the refresh: $row"

# Its row is the last: Down past the end stops there; Enter opens it.
keys Down Down Down Down Down Down Down Down
keys Enter
wait_for "$DETAIL_TITLE" 20
wait_for "$code" 10
# The code between its brackets (spread over the screen's width).
screen | grep -qE "\[ *$code *\]" || fail "no [$code]"
echo "PASS"

#!/usr/bin/env bash
# The demo's first screen, its colours, the whole main menu with its
# submenus, and a manual refresh chosen from the menu.
source "$(dirname "$0")/lib.sh"

start_shell
start_demo

# The first screen: the title, the four column headers, the soft keys and a
# row for every stock of the demo's watch list, with prices.
s=$(screen)
for text in "$TITLE" "$H_NAME" "$H_LATEST" "$H_CHANGE" "$H_SELL" "$SOFT_EXIT" "$SOFT_MENU"; do
  grep -qF -- "$text" <<<"$s" || fail "first screen lacks $text"
done
rows=$(grep -cE '[0-9]+\.[0-9]{2} +[-+]?[0-9]+\.[0-9]{2}% +[0-9]+\.[0-9]{2}' <<<"$s" || true)
[ "$rows" -eq 5 ] || fail "expected 5 quote rows, found $rows"
# The title sits on the top row, the soft keys on the bottom row.
head -1 <<<"$s" | grep -qF "$TITLE" || fail "title not on the top row"
tail -1 <<<"$s" | grep -qF "$SOFT_EXIT" || fail "soft keys not on the bottom row"

# Chinese names take two cells each and never push the columns: every row's
# numbers end in the same terminal columns.
python3 - "$s" <<'PY' || fail "the columns are not aligned"
import sys, unicodedata
def cells(text):
    return sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)
rows = [l for l in sys.argv[1].split("\n") if "%" in l]
percent = {cells(l[:l.index("%") + 1]) for l in rows}
last = {cells(l.rstrip()) for l in rows}
sys.exit(0 if len(percent) == 1 and len(last) == 1 else 1)
PY

# Colours: a rising change is red, a falling one green (black background).
while IFS= read -r line; do
  if grep -qE ' \+[0-9]+\.[0-9]{2}%' <<<"$line"; then
    grep -qF $'\e[38;5;196m' <<<"$line" || fail "a rising row is not red: $line"
  elif grep -qE ' -[0-9]+\.[0-9]{2}%' <<<"$line"; then
    grep -qF $'\e[38;5;46m' <<<"$line" || fail "a falling row is not green: $line"
  fi
done < <(screen_colours)

# A resize of the terminal: the screen is laid out again at the new size.
tm resize-window -t main -x 90 -y 24
end=$((SECONDS + 10))
while ((SECONDS < end)); do
  screen | sed -n 24p | grep -qF -- "$SOFT_MENU" && break
  sleep 0.1
done
screen | sed -n 24p | grep -qF -- "$SOFT_MENU" || fail "the soft keys did not move to row 24"
screen | head -1 | grep -qE "X *$" || fail "the title row's X is not at the right edge"
[ "$(screen | head -1 | wc -L)" -le 90 ] || fail "the title row is wider than the terminal"

# F2 opens the menu with every entry; Right opens each submenu.
keys F2
for entry in "${MENU_TOP[@]}"; do wait_for "$entry" 10; done
# Down to the service entry (sixth; the separator is skipped), Right.
keys Down Down Down Down Down
keys Right
for entry in "${MENU_SERVICE[@]}"; do wait_for "$entry" 10; done
keys Left
wait_gone "${MENU_SERVICE[1]}" 10
# Down twice more to the system settings entry.
keys Down Down
keys Right
for entry in "${MENU_SYSTEM[@]}"; do wait_for "$entry" 10; done
keys Escape
wait_gone "${MENU_SYSTEM[0]}" 10
keys Escape
wait_gone "${MENU_TOP[0]}" 10

# Manual refresh: the last entry (Up wraps to it); the progress box shows and
# goes, and the list is there again.
keys F2
wait_for "${MENU_TOP[0]}" 10
keys Up
keys Enter
wait_for "$REFRESHING" 20
wait_gone "$REFRESHING" 60
# The refresh may raise alert bubbles (the demo's targets lie close to the
# prices); a key dismisses each.
dismiss_bubbles
s=$(screen)
rows=$(grep -cE '[0-9]+\.[0-9]{2}%' <<<"$s" || true)
[ "$rows" -ge 1 ] || fail "no quotes after the manual refresh"
echo "PASS"

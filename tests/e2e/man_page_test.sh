#!/usr/bin/env bash
# The manual pages that the build makes with help2man: every option that a
# program's --help lists is in its page, the hand-written sections are there
# (keys, background, files), and man renders each page without a warning.
set -euo pipefail
BUILD=${STOCKAT_BUILD_DIR:?STOCKAT_BUILD_DIR names the build folder}

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for program in stockat stockat-quoted; do
  page="$BUILD/man/$program.1"
  [ -f "$page" ] || fail "no $page (the build makes it with help2man: scripts/install-deps.sh)"
  gzip -dc "$page.gz" | cmp -s - "$page" || fail "$page.gz is not the page"
  err=$(mktemp)
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>"$err")
  if [ -s "$err" ]; then
    cat "$err" >&2
    rm -f "$err"
    fail "man reports warnings on $program(1)"
  fi
  rm -f "$err"
  options=$("$BUILD/$program" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
  [ -n "$options" ] || fail "$program --help lists no option"
  for option in $options; do
    grep -qE -- "(^|[^a-z-])$option([^a-z0-9-]|\$)" <<<"$text" || fail "$program(1) lacks $option"
  done
  version=$("$BUILD/$program" --version)
  grep -qF -- "${version##* }" <<<"$text" || fail "$program(1) does not carry version $version"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS EXAMPLES "SEE ALSO"; do
    grep -qE "^$section\$" <<<"$text" || fail "$program(1) lacks the section $section"
  done
done

# The program's page: the keys, the background behaviour and the files.
text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$BUILD/man/stockat.1" 2>/dev/null | tr -s " ")
for section in KEYS BACKGROUND "KEEPING IT RUNNING" FILES; do
  grep -qE "^$section\$" <<<"$text" || fail "stockat(1) lacks the section $section"
done
for word in F1 F2 F3 Enter Esc Tab Ctrl-L "X is not exit" afxg002 afxg003 stockat-quoted enable-linger "journalctl --user -u stockat" stockat.service; do
  grep -qF -- "$word" <<<"$text" || fail "stockat(1) does not mention $word"
done
echo "PASS"

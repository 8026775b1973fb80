#!/usr/bin/env bash
# Runs a private gammu-smsd on its dummy phone driver, for tests and demos:
# the program hands it messages through the outbox of its files backend
# (stockat --sms-outbox DIR/outbox), and what it "sent" lands in DIR/sent.
#
#   scripts/gammu-smsd.sh start DIR [SECONDS]
#                                     writes DIR/smsdrc, starts the daemon;
#                                     with SECONDS it ends itself after that
#                                     long (tests use it, so that a crashed
#                                     test leaves nothing running)
#   scripts/gammu-smsd.sh stop DIR    stops it
#
# Nothing leaves the machine: the dummy driver only pretends to be a phone.
set -euo pipefail
cmd=${1:-}
dir=${2:-}
if [[ -z "$cmd" || -z "$dir" ]]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi
dir=$(realpath -m "$dir")
case "$cmd" in
start)
  command -v gammu-smsd >/dev/null || { echo "gammu-smsd is not installed" >&2; exit 3; }
  mkdir -p "$dir"/{inbox,outbox,sent,error,phone}
  cat >"$dir/smsdrc" <<CONF
[gammu]
model = dummy
connection = none
device = $dir/phone

[smsd]
service = files
inboxpath = $dir/inbox/
outboxpath = $dir/outbox/
sentsmspath = $dir/sent/
errorsmspath = $dir/error/
outboxformat = unicode
transmitformat = auto
commtimeout = 1
loopsleep = 1
statusfrequency = 0
checksecurity = 0
checkbattery = 0
checksignal = 0
checknetwork = 0
logfile = $dir/smsd.log
debuglevel = 1
CONF
  rm -f "$dir/smsd.pid"
  lifetime=()
  [[ -n "${3:-}" ]] && lifetime=(--suicide "$3")
  gammu-smsd --config "$dir/smsdrc" --daemon --pid "$dir/smsd.pid" "${lifetime[@]}"
  # The daemon writes its pid file once it runs.
  for _ in $(seq 1 100); do
    [[ -s "$dir/smsd.pid" ]] && exit 0
    sleep 0.1
  done
  echo "gammu-smsd did not start; see $dir/smsd.log" >&2
  exit 1
  ;;
stop)
  [[ -s "$dir/smsd.pid" ]] || exit 0
  pid=$(cat "$dir/smsd.pid")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$dir/smsd.pid"; exit 0; }
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  rm -f "$dir/smsd.pid"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac

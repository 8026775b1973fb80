#!/usr/bin/env bash
# Pages per second and p99 latency of stockat-quoted beside nginx serving the
# same page bytes, on loopback, with the same load generator: wrk, 2 threads,
# 100 connections, "Connection: close" (one page per connection, as the
# phone fetches them). The two servers are measured in turns, ROUNDS times,
# and the medians compared, because the machine may be busy with other work;
# the load average before each turn is printed beside it.
#
#   bench/server_vs_nginx.sh [BUILD_DIR]   (default: build-release)
#   ROUNDS=5 SECONDS_EACH=10 bench/server_vs_nginx.sh build-release
#   QUOTED_ARGS="--loops 1" bench/server_vs_nginx.sh   (more options for the server)
#
# Installs nginx-light and wrk from Debian when they are missing. Only
# 127.0.0.1 is ever contacted.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-release}
rounds=${ROUNDS:-5}
seconds=${SECONDS_EACH:-10}
quoted="$build/stockat-quoted"
[ -x "$quoted" ] || { echo "no $quoted: build it first" >&2; exit 1; }

missing=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx-light)
command -v wrk >/dev/null || missing+=(wrk)
command -v curl >/dev/null || missing+=(curl)
if ((${#missing[@]})); then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
nginx=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket;s=socket.socket();s.bind(("127.0.0.1",0));print(s.getsockname()[1])'
}

# The quote server, its market standing still so that every page is the same.
# shellcheck disable=SC2086
"$quoted" --listen 127.0.0.1:0 --seed 1 --clock "2009-03-18 10:00" --clock-rate 0 ${QUOTED_ARGS:-} \
  >"$work/quoted.out" 2>"$work/quoted.err" &
pids+=($!)
for _ in $(seq 100); do grep -q listening "$work/quoted.out" 2>/dev/null && break; sleep 0.05; done
qport=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/quoted.out")
path="/prog/wapsite/stock/stockquery.php"
query="?code=600036&vt=2"

# nginx serves the very bytes the quote server sends as a static file.
mkdir -p "$work/root${path%/*}" "$work/logs" "$work/tmp"
curl -sf "http://127.0.0.1:$qport$path$query" -o "$work/root$path"
size=$(stat -c %s "$work/root$path")
# nginx's workers may run as another user (when started as root).
chmod -R a+rX "$work"
nport=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  default_type "text/html; charset=utf-8";
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  server {
    listen 127.0.0.1:$nport;
    root $work/root;
    location / { types { } default_type "text/html; charset=utf-8"; }
  }
}
CONF
"$nginx" -p "$work" -c "$work/nginx.conf" -g 'daemon off;' 2>"$work/logs/start.log" &
pids+=($!)
for _ in $(seq 100); do curl -sf "http://127.0.0.1:$nport$path$query" -o /dev/null && break; sleep 0.05; done
curl -s "http://127.0.0.1:$nport$path$query" -o "$work/nginx-page" || true
cmp -s "$work/nginx-page" "$work/root$path" ||
  { echo "nginx does not serve the page:" >&2; cat "$work/logs/"* >&2; exit 1; }

echo "page: $size bytes; stockat-quoted ${QUOTED_ARGS:-}; wrk -t2 -c100 -d${seconds}s, Connection: close; $rounds rounds; $(nproc) cores"
run() { # NAME PORT
  local load
  load=$(cut -d' ' -f1 /proc/loadavg)
  wrk -t2 -c100 -d"${seconds}s" --latency -H "Connection: close" \
    "http://127.0.0.1:$2$path$query" >"$work/wrk.txt" 2>&1 || true
  python3 - "$1" "$load" "$work/wrk.txt" >>"$work/results" <<'PY'
import re, sys
name, load, text = sys.argv[1], sys.argv[2], open(sys.argv[3]).read()
rate = re.search(r"Requests/sec:\s*([\d.]+)", text)
p99 = re.search(r"^\s*99%\s+([\d.]+)(us|ms|s)\b", text, re.M)
errors = re.search(r"Socket errors:.*", text)
bad = re.search(r"Non-2xx or 3xx responses:\s*(\d+)", text)
unit = {"us": 0.001, "ms": 1.0, "s": 1000.0}
ms = float(p99.group(1)) * unit[p99.group(2)] if p99 else float("nan")
print(name, rate.group(1) if rate else "nan", "%.3f" % ms, load,
      "'" + (errors.group(0) if errors else "") + (" non-2xx " + bad.group(1) if bad else "") + "'")
PY
  tail -1 "$work/results" | awk '{printf "  %-7s %10.0f pages/s  p99 %8.2f ms  (load %s) %s\n", $1, $2, $3, $4, substr($0, index($0,$5))}'
}
for r in $(seq "$rounds"); do
  echo "round $r"
  if ((r % 2)); then run nginx "$nport"; run quoted "$qport"; else run quoted "$qport"; run nginx "$nport"; fi
done
python3 - "$work/results" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
def med(name, i):
    return statistics.median(float(r[i]) for r in rows if r[0] == name)
n_rate, q_rate = med("nginx", 1), med("quoted", 1)
n_p99, q_p99 = med("nginx", 2), med("quoted", 2)
loads = [float(r[3]) for r in rows]
print("median  nginx  %8.0f pages/s  p99 %7.2f ms" % (n_rate, n_p99))
print("median  quoted %8.0f pages/s  p99 %7.2f ms" % (q_rate, q_p99))
print("ratio   quoted/nginx: pages/s %.2fx, p99 %.2fx" % (q_rate / n_rate, q_p99 / n_p99))
# The load of the machine drifts; the two turns of a round are next to each
# other, so the median of the rounds' own ratios is the steadier figure.
pairs = [(rows[i], rows[i + 1]) for i in range(0, len(rows) - 1, 2)]
def ratio(i):
    return statistics.median(
        (float(a[i]) / float(b[i])) if a[0] == "quoted" else (float(b[i]) / float(a[i]))
        for a, b in pairs)
print("median of the rounds' ratios: pages/s %.2fx, p99 %.2fx" % (ratio(1), ratio(2)))
print("load average before the turns: %.2f to %.2f (median %.2f)" %
      (min(loads), max(loads), statistics.median(loads)))
PY

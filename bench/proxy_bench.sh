#!/usr/bin/env bash
# Proxy benchmark: requests per second (1 KiB, 1 and 16 connections, a new
# connection per request) and throughput (10 MiB bodies) through kvproxy
# and straight to the origin, in one run, with the ratio of each to direct.
# Every address is on kvproxy's no-cache list, so each request is relayed
# from the origin (the cache is neither read nor written).
#
# Usage: bench/proxy_bench.sh [build-dir] [--duration S] [--origin-port P]
# Needs: nginx-light (the origin), wrk, curl (Debian packages).
set -euo pipefail

BUILD=build
DURATION=10
ORIGIN_PORT=18180
while [ $# -gt 0 ]; do
  case "$1" in
    --duration) DURATION=${2:?}; shift 2 ;;
    --origin-port) ORIGIN_PORT=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) BUILD=$1; shift ;;
  esac
done
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KVPROXY=$(cd "$BUILD" 2>/dev/null && pwd)/bin/kvproxy
[ -x "$KVPROXY" ] || { echo "proxy_bench: $KVPROXY not built" >&2; exit 2; }
for tool in nginx wrk curl; do
  command -v "$tool" >/dev/null || { echo "proxy_bench: $tool missing (apt-get install nginx-light wrk curl)" >&2; exit 2; }
done

TMP=$(mktemp -d "${TMPDIR:-/tmp}/kvproxy-bench.XXXXXX")
chmod 755 "$TMP"
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$TMP"
}
trap cleanup EXIT

# ---- origin: nginx with one worker, files of 1 KiB and 10 MiB
mkdir -p "$TMP/www" "$TMP/nginx"
head -c 1024 /dev/urandom >"$TMP/www/1k"
head -c 10485760 /dev/urandom >"$TMP/www/10m"
chmod -R a+rX "$TMP"
cat >"$TMP/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $TMP/nginx/nginx.pid;
error_log $TMP/nginx/error.log error;
events { worker_connections 4096; }
http {
  access_log off;
  sendfile on;
  tcp_nodelay on;
  keepalive_timeout 65;
  client_body_temp_path $TMP/nginx/body;
  server { listen 127.0.0.1:$ORIGIN_PORT backlog=4096; root $TMP/www; }
}
CONF
nginx -p "$TMP/nginx" -e "$TMP/nginx/error.log" -c "$TMP/nginx/nginx.conf" >/dev/null 2>&1 &
PIDS+=($!)

# ---- kvproxy on a free port, with its own data folder
mkdir -p "$TMP/data/Template"
cp "$SRC"/data/Template/proxy_*.htm "$TMP/data/Template/"
echo '*' >"$TMP/data/nocache.txt"
printf '[Directories]\nbasepath=%s\n[Proxy]\nRecTimeout=30\n[General]\nUseNoCacheList=1\n' "$TMP/data" >"$TMP/kvproxy.ini"
"$KVPROXY" --config "$TMP/kvproxy.ini" --listen 127.0.0.1:0 >"$TMP/kvproxy.out" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do
  PROXY=$(grep -o '127\.0\.0\.1:[0-9]*' "$TMP/kvproxy.out" 2>/dev/null | head -n1 || true)
  [ -n "$PROXY" ] && curl -s -o /dev/null "http://127.0.0.1:$ORIGIN_PORT/1k" && break
  sleep 0.1
done
[ -n "${PROXY:-}" ] || { echo "proxy_bench: kvproxy did not start" >&2; cat "$TMP/kvproxy.out" >&2; exit 1; }
ORIGIN="127.0.0.1:$ORIGIN_PORT"

# ---- content check through the proxy
for f in 1k 10m; do
  curl -s --noproxy '' -x "http://$PROXY" -o "$TMP/check" "http://$ORIGIN/$f"
  cmp -s "$TMP/check" "$TMP/www/$f" || { echo "proxy_bench: /$f differs through kvproxy" >&2; exit 1; }
done

# wrk sends absolute-form requests to the proxy, origin-form to the origin.
cat >"$TMP/req.lua" <<'LUA'
local target, form, conn = "", "origin", "close"
function init(args)
  target, form, conn = args[1], args[2], args[3]
  local hostport, path = target:match("^http://([^/]+)(/.*)$")
  wrk.path = form == "absolute" and target or path
  wrk.headers["Host"] = hostport
  if conn == "close" then wrk.headers["Connection"] = "close" end
end
function done(summary, latency, requests)
  local s = summary.duration / 1e6
  local e = summary.errors
  io.write(string.format("RESULT %.1f %.2f %d\n", summary.requests / s, summary.bytes / s / 1048576,
           e.connect + e.read + e.write + e.timeout + e.status))
end
LUA

run_wrk() {  # run_wrk ADDR FORM CONNS FILE MODE -> "rps mibps errors"
  wrk -t1 -c"$3" -d"${DURATION}s" --timeout 20s -s "$TMP/req.lua" "http://$1/" -- "http://$ORIGIN/$4" "$2" "$5" 2>&1 |
    awk '/^RESULT/ { print $2, $3, $4 }'
}
curl_mbps() {  # curl_mbps [proxy]: median MB/s of 5 single 10 MiB transfers
  local i args=(-s -o /dev/null -w '%{speed_download}\n')
  [ -n "${1:-}" ] && args+=(--noproxy '' -x "http://$1")
  for i in 1 2 3 4 5; do curl "${args[@]}" "http://$ORIGIN/10m"; done |
    sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", v[3] / 1048576 }'
}

declare -A R
echo "proxy_bench: origin $ORIGIN, kvproxy $PROXY, ${DURATION}s per wrk run" >&2
for c in 1 16; do
  R[direct-$c]=$(run_wrk "$ORIGIN" origin "$c" 1k close)
  R[kv-$c]=$(run_wrk "$PROXY" absolute "$c" 1k close)
done
R[direct-10m]=$(run_wrk "$ORIGIN" origin 4 10m close)
R[kv-10m]=$(run_wrk "$PROXY" absolute 4 10m close)
R[direct-curl]=$(curl_mbps)
R[kv-curl]=$(curl_mbps "$PROXY")
RSS=$(awk '/^VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/${PIDS[1]}/status" 2>/dev/null || echo "?")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
field() { echo "$1" | awk -v n="$2" '{ print $n }'; }
printf '\n| test | direct | kvproxy | kvproxy / direct | kvproxy errors |\n|---|--:|--:|--:|--:|\n'
for c in 1 16; do
  d=$(field "${R[direct-$c]}" 1); k=$(field "${R[kv-$c]}" 1)
  printf '| 1 KiB, new connection per request, %d conn (req/s) | %s | %s | %s | %s |\n' "$c" "$d" "$k" \
    "$(ratio "$k" "$d")" "$(field "${R[kv-$c]}" 3)"
done
d=$(field "${R[direct-10m]}" 2); k=$(field "${R[kv-10m]}" 2)
printf '| 10 MiB, 4 conn, wrk (MiB/s) | %s | %s | %s | %s |\n' "$d" "$k" "$(ratio "$k" "$d")" "$(field "${R[kv-10m]}" 3)"
printf '| 10 MiB, one curl transfer (MiB/s, median of 5) | %s | %s | %s | - |\n' "${R[direct-curl]}" "${R[kv-curl]}" \
  "$(ratio "${R[kv-curl]}" "${R[direct-curl]}")"
printf '\nkvproxy peak memory (VmHWM): %s MiB\n' "$RSS"

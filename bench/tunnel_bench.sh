#!/usr/bin/env bash
# Tunnel benchmark: 20 MiB echoed through a CONNECT tunnel while it is
# still being sent, straight to the echo server, through kvproxy and
# through Squid, each on loopback with a minimal configuration.
#
# Usage: bench/tunnel_bench.sh [build-dir] [--mib N] [--runs R]
# Needs: the built tunnel_bench and kvproxy; squid (Debian package) for its
# column, which is left out when squid is not installed.
set -euo pipefail

BUILD=build
MIB=20
RUNS=5
ECHO_PORT=18443
KV_PORT=18168
SQUID_PORT=18128
while [ $# -gt 0 ]; do
  case "$1" in
    --mib) MIB=${2:?}; shift 2 ;;
    --runs) RUNS=${2:?}; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0"; exit 0 ;;
    *) BUILD=$1; shift ;;
  esac
done
BIN=$(cd "$BUILD" 2>/dev/null && pwd)/bin
for program in kvproxy tunnel_bench; do
  [ -x "$BIN/$program" ] || { echo "tunnel_bench: $BIN/$program not built" >&2; exit 2; }
done

TMP=$(mktemp -d "${TMPDIR:-/tmp}/kvproxy-tunnel-bench.XXXXXX")
chmod 777 "$TMP"  # squid drops to its own user and writes its log here
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$TMP"
}
trap cleanup EXIT

# Waits until something accepts connections on the port.
wait_port() {
  for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "tunnel_bench: nothing listens on port $1" >&2
  exit 1
}

run() {  # label, then tunnel_bench's proxy option (none: direct)
  local label=$1; shift
  echo "== $label"
  "$BIN/tunnel_bench" --echo-port "$ECHO_PORT" --mib "$MIB" --runs "$RUNS" "$@" | tee "$TMP/$label.out"
}

# ---- kvproxy: tunnels on, to the echo port only
mkdir -p "$TMP/kv"
cat >"$TMP/kv/kvproxy.ini" <<INI
[Directories]
basepath=$TMP/kv
[Proxy]
Listen=127.0.0.1:$KV_PORT
Tunnel=1
TunnelPorts=$ECHO_PORT
INI
"$BIN/kvproxy" --config "$TMP/kv/kvproxy.ini" >/dev/null &
PIDS+=($!)
wait_port "$KV_PORT"

# ---- squid: no cache, CONNECT from loopback to any port
HAVE_SQUID=0
if command -v squid >/dev/null || [ -x /usr/sbin/squid ]; then
  SQUID=$(command -v squid || echo /usr/sbin/squid)
  cat >"$TMP/squid.conf" <<CONF
http_port 127.0.0.1:$SQUID_PORT
acl local src 127.0.0.1/32
http_access allow local
http_access deny all
cache deny all
cache_mem 8 MB
access_log none
cache_log $TMP/squid-cache.log
pid_filename $TMP/squid.pid
coredump_dir $TMP
shutdown_lifetime 0 seconds
CONF
  "$SQUID" -N -f "$TMP/squid.conf" &
  PIDS+=($!)
  wait_port "$SQUID_PORT"
  HAVE_SQUID=1
fi

run direct
run kvproxy --proxy "127.0.0.1:$KV_PORT"
[ "$HAVE_SQUID" = 1 ] && run squid --proxy "127.0.0.1:$SQUID_PORT"

echo
echo "== median seconds for $MIB MiB echoed both ways at once"
for label in direct kvproxy squid; do
  [ -f "$TMP/$label.out" ] && printf '%-8s %s\n' "$label" "$(sed -n 's/^median: \([0-9.]*\) s.*/\1/p' "$TMP/$label.out")"
done

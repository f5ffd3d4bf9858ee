#!/bin/bash
# Starts http_server_bench on 127.0.0.1 and drives it with wrk at 1 and 16
# connections (kept alive, then one request per connection), printing
# requests per second and the 99th percentile latency of each run.
#
#   bench/http_server_bench.sh [path/to/http_server_bench] [port] [seconds]
#
# Without a path the program is looked for beside this script (the build
# copies the script to its bin/ folder) and in build*/bin of the tree.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-}
port=${2:-18168}
seconds=${3:-5}

if [ -z "$bin" ]; then
    for candidate in "$here/http_server_bench" "$here"/../build*/bin/http_server_bench; do
        if [ -x "$candidate" ]; then bin=$candidate; break; fi
    done
fi
if [ -z "$bin" ] || [ ! -x "$bin" ]; then
    echo "http_server_bench not found; build it (cmake --build <dir> --target http_server_bench)" >&2
    exit 2
fi
command -v wrk >/dev/null || { echo "wrk is not installed (Debian package wrk)" >&2; exit 2; }

server_pid=
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=
    fi
}
trap stop_server EXIT INT TERM

# start_server [--close]: starts the program and waits until it listens.
start_server() {
    "$bin" "$port" "$@" >/dev/null &
    server_pid=$!
    tries=0
    until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ]; then echo "server did not start on port $port" >&2; exit 1; fi
        sleep 0.05
    done
}

# CPU time the server has used so far, in clock ticks (user + system).
server_ticks() { awk '{print $14 + $15}' "/proc/$server_pid/stat"; }

# run <label> <connections> <threads>: also the server's CPU time per
# request, which a busy machine disturbs less than the latencies.
run() {
    before=$(server_ticks)
    out=$(wrk -t"$3" -c"$2" -d"${seconds}s" --latency "http://127.0.0.1:$port/")
    after=$(server_ticks)
    rps=$(printf '%s\n' "$out" | awk '/^Requests\/sec:/ {print $2}')
    p50=$(printf '%s\n' "$out" | awk '$1 == "50%" {print $2}')
    p99=$(printf '%s\n' "$out" | awk '$1 == "99%" {print $2}')
    total=$(printf '%s\n' "$out" | awk '/requests in/ {print $1}')
    hz=$(getconf CLK_TCK)
    cpu=$(awk -v t=$((after - before)) -v hz="$hz" -v n="$total" 'BEGIN { if (n > 0) printf "%.1f", t / hz * 1e6 / n }')
    errors=$(printf '%s\n' "$out" | awk '/Socket errors|Non-2xx/ {printf "%s ", $0}')
    printf '%-22s %3s conn %11s req/s  p50 %9s  p99 %9s  server CPU %6s us/req  %s\n' \
        "$1" "$2" "$rps" "$p50" "$p99" "$cpu" "$errors"
}

echo "http_server_bench: $bin, ${seconds}s per run"
start_server
run "keep-alive" 1 1
run "keep-alive" 16 4
stop_server
start_server --close
run "connection per request" 1 1
run "connection per request" 16 4
stop_server

#!/usr/bin/env bash
# The web monitor under load: a database of many workstations and a long history, "edi-auto web"
# on loopback, readers asking for its pages at once, and the headless scheduler of one of the
# workstations running on the same database meanwhile, whose timer ticks are measured.
#   web-bench.sh [--build DIR] [--rows N] [--readers N] [--seconds S] [--postgres] [--pg-state DIR]
#                [--machines M] [--centres C] [--think-ms T] [--max-p99-ms L] [--max-tick-ms L]
#                [--max-rss-growth-mib L]
# The defaults are the full size: 1,000,000 history rows, 10 workstations of 200 centres, 20
# readers for 60 s, on SQLite (--postgres: a PostgreSQL server, the test fixture's with
# --pg-state, else a throw-away one). It fails when an answer is not 200, a page's 99th
# percentile reaches 100 ms, the scheduler's timer waits longer than 400 ms between two ticks
# (it ticks every 300 ms) during the load, or the web process's memory grows by more than 32 MiB
# after the first tenth of the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
rows=1000000
readers=20
seconds=60
postgres=""
pgstate=""
machines=10
centres=200
limits=()
usage="usage: web-bench.sh [--build DIR] [--rows N] [--readers N] [--seconds S] [--postgres] [--pg-state DIR]
                    [--machines M] [--centres C] [--think-ms T] [--max-p99-ms L] [--max-tick-ms L] [--max-rss-growth-mib L]"
while [[ $# -gt 0 ]]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --rows) rows=$2; shift 2 ;;
        --readers) readers=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --postgres) postgres=yes; shift ;;
        --pg-state) postgres=yes; pgstate=$2; shift 2 ;;
        --machines) machines=$2; shift 2 ;;
        --centres) centres=$2; shift 2 ;;
        --think-ms|--max-p99-ms|--max-tick-ms|--max-rss-growth-mib) limits+=("$1" "$2"); shift 2 ;;
        *) echo "$usage" >&2; exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)
edi=$build/src/edi-auto

pids=()
stop_processes() {
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
source "$root/bench/bench-workstation.sh"
if [[ -n $postgres ]]; then
    source "$root/bench/bench-postgres.sh"
    bench_postgres "$root" edi-web-bench "$pgstate"
    database=edi_wb$$
    psql -h 127.0.0.1 -p "$port" -U edi -d postgres -qc "CREATE DATABASE $database"
    cleanup_database() { psql -h 127.0.0.1 -p "$port" -U edi -d postgres -qc "DROP DATABASE IF EXISTS $database" || true; }
    trap 'stop_processes; cleanup_database; bench_postgres_cleanup' EXIT
    dbstring="host=127.0.0.1 port=$port dbname=$database"
    driver=PSQL
else
    work=$(mktemp -d /tmp/edi-web-bench.XXXXXX)
    trap 'stop_processes; rm -rf "$work"' EXIT
    dbstring=$work/ws/web.sqlite
    driver=SQLITE
fi

# One workstation's set-up; the web process and the data generator read the same EDI.ini. The
# receptions hand over files that never come: a job that falls due during the run ends at once
# without data, after writing its rows.
ws=$work/ws
bench_workstation "$build" "$ws" "$dbstring" /bin/true "" "$driver"
mkdir -p "$ws/handover"
"$build/bench/edi-webbenchgen" --ini "$ws/EDI.ini" --rows "$rows" --machines "$machines" --centres "$centres" \
    --handover "$ws/handover"

web_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$edi" web --ini "$ws/EDI.ini" --listen "127.0.0.1:$web_port" 2>"$work/web.log" &
web=$!
pids+=("$web")
for _ in $(seq 1 100); do
    curl -sf "http://127.0.0.1:$web_port/healthz" >/dev/null && break
    kill -0 "$web" 2>/dev/null || { echo "FAIL: edi-auto web did not start" >&2; cat "$work/web.log" >&2; exit 1; }
    sleep 0.1
done

# The readers bind the socket the scheduler tells its ticks to, and wait for its first tick.
socket=$work/notify.sock
"$build/bench/edi-webbench" --port "$web_port" --pid "$web" --readers "$readers" --seconds "$seconds" \
    --watchdog-socket "$socket" "${limits[@]}" &
load=$!
for _ in $(seq 1 600); do
    [[ -S $socket ]] && break
    kill -0 "$load" 2>/dev/null || break
    sleep 0.1
done
EDI_MACHINE_NAME=WB01 NOTIFY_SOCKET=$socket "$edi" --headless --ini "$ws/EDI.ini" 2>"$work/scheduler.log" &
scheduler=$!
pids+=("$scheduler")
status=0
wait "$load" || status=1

# Both end as a service manager ends them, and must end cleanly.
for name in scheduler web; do
    pid=${!name}
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the $name process ended during the run" >&2
        status=1
        continue
    fi
    kill -TERM "$pid"
    wait "$pid" || { echo "FAIL: the $name process did not end cleanly" >&2; status=1; }
done
pids=()
if [[ $status -ne 0 ]]; then
    echo "--- web log" >&2; tail -20 "$work/web.log" >&2
    echo "--- scheduler log" >&2; tail -20 "$work/scheduler.log" >&2
fi
exit $status

#!/usr/bin/env bash
# The history work of a job on an empty history table and on a large one, on SQLite and on
# PostgreSQL.
#   history-bench.sh --build BUILD_DIR [--rows N] [--jobs K] [--max-ratio R] [--pg-state DIR]
# With --pg-state the server of the test fixture is used; without it a throw-away one is started.
# It fails when the jobs on the large table take more than R times as long (default 3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=""
rows=1000000
jobs=200
max_ratio=3
pgstate=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build=$(cd "$2" && pwd); shift 2 ;;
        --rows) rows=$2; shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --max-ratio) max_ratio=$2; shift 2 ;;
        --pg-state) pgstate=$2; shift 2 ;;
        *) echo "usage: $0 --build BUILD_DIR [--rows N] [--jobs K] [--max-ratio R] [--pg-state DIR]" >&2; exit 2 ;;
    esac
done
[[ -n "$build" ]] || { echo "--build is required" >&2; exit 2; }

source "$root/bench/bench-postgres.sh"
bench_postgres "$root" edi-history "$pgstate"
database=edi_hb$$
psql -h 127.0.0.1 -p "$port" -U edi -d postgres -qc "CREATE DATABASE $database"

printf '[動作環境]\nDBDRIVER=SQLITE\nDBSTRING=history.sqlite\n' > "$work/sqlite.ini"
printf '[動作環境]\nDBDRIVER=PSQL\nDBSTRING=host=127.0.0.1 port=%s dbname=%s\nUSERID=edi\n' "$port" "$database" > "$work/psql.ini"
status=0
for kind in sqlite psql; do
    echo -n "$kind: "
    "$build/bench/edi-historybench" --ini "$work/$kind.ini" --rows "$rows" --jobs "$jobs" --max-ratio "$max_ratio" || status=1
done
psql -h 127.0.0.1 -p "$port" -U edi -d postgres -qc "DROP DATABASE $database"
exit $status

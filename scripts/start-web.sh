#!/usr/bin/env bash
# Starts the monitor's web page (edi-auto web) in the background on the loopback address, on the
# first free port from FIRST_PORT on, and prints its process id and its address:
#   start-web.sh BUILD_DIR EDI.INI LOG FIRST_PORT     ->  "12345 http://127.0.0.1:8080/"
# The program's lines go to LOG. Exit status 1, with the log, when it could not start.
set -euo pipefail
build=$1
ini=$2
log=$3
port=$4
tries=20

for (( try = 0; try < tries; try++, port++ )); do
    "$build/src/edi-auto" web --ini "$ini" --listen "127.0.0.1:$port" </dev/null >"$log" 2>&1 &
    pid=$!
    # Listening once its first line names the address; a taken port ends it at once.
    for _ in $(seq 100); do
        address=$(grep -o 'https\?://[^ ]*' "$log" || true)
        if [[ -n $address ]]; then
            echo "$pid $address"
            exit 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    grep -q '待ち受けできません' "$log" || break
done
echo "start-web.sh: edi-auto web did not start:" >&2
cat "$log" >&2
exit 1

#!/usr/bin/env bash
# A throw-away PostgreSQL 15 server on 127.0.0.1 for the tests.
#   test-postgres.sh start STATE_DIR   starts it on a free port; STATE_DIR receives "port",
#                                      "datadir" and an odbcinst.ini naming the ODBC driver
#   test-postgres.sh stop STATE_DIR    stops it and removes its data
#   test-postgres.sh pause STATE_DIR   stops it and keeps its data, as a server that went down
#   test-postgres.sh resume STATE_DIR  starts a paused server again on its port
# The server runs as the postgres user when started by root (PostgreSQL refuses root), from a
# folder under /tmp that user can enter. Superuser "edi", no password, trust on loopback.
set -euo pipefail
action=$1
state=$2
pgbin=/usr/lib/postgresql/15/bin

as_server_user() {
    if [[ $(id -u) -eq 0 ]]; then runuser -u postgres -- "$@"; else "$@"; fi
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start() {
    mkdir -p "$state"
    local base data port
    base=$(mktemp -d /tmp/edi-test-pg.XXXXXX)
    chmod 755 "$base"
    data=$base/data
    mkdir -p "$data"
    [[ $(id -u) -eq 0 ]] && chown postgres:postgres "$data"
    chmod 700 "$data"
    as_server_user "$pgbin/initdb" -D "$data" -U edi --auth=trust -E UTF8 --locale=C.UTF-8 >"$base/initdb.log"
    for attempt in $(seq 1 50); do
        port=$((20000 + RANDOM % 30000))
        port_in_use "$port" && continue
        if as_server_user "$pgbin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
               -o "-p $port -c listen_addresses=127.0.0.1 -k $data -c fsync=off -c max_connections=200" \
               start >/dev/null; then
            echo "$port" >"$state/port"
            echo "$data" >"$state/datadir"
            write_odbcinst
            echo "PostgreSQL test server on 127.0.0.1:$port"
            return 0
        fi
    done
    echo "could not start PostgreSQL; see $data/server.log" >&2
    return 1
}

write_odbcinst() {
    local driver
    driver=$(find /usr/lib -name psqlodbcw.so -print -quit)
    [[ -n "$driver" ]] || { echo "the PostgreSQL ODBC driver (odbc-postgresql) is missing" >&2; exit 1; }
    printf '[PostgreSQL Unicode]\nDescription=PostgreSQL ODBC driver (Unicode)\nDriver=%s\n' "$driver" \
        >"$state/odbcinst.ini"
    : >"$state/odbc.ini"
}

stop() {
    [[ -f "$state/datadir" ]] || return 0
    local data
    data=$(cat "$state/datadir")
    as_server_user "$pgbin/pg_ctl" -D "$data" -m fast -w stop >/dev/null || true
    rm -rf "$(dirname "$data")" "$state/datadir" "$state/port"
}

pause() {
    as_server_user "$pgbin/pg_ctl" -D "$(cat "$state/datadir")" -m immediate -w stop >/dev/null
}

resume() {
    local data port
    data=$(cat "$state/datadir")
    port=$(cat "$state/port")
    as_server_user "$pgbin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
        -o "-p $port -c listen_addresses=127.0.0.1 -k $data -c fsync=off -c max_connections=200" start >/dev/null
}

case "$action" in
    start) stop; start ;;
    stop) stop ;;
    pause) pause ;;
    resume) resume ;;
    *) echo "usage: $0 start|stop|pause|resume STATE_DIR" >&2; exit 2 ;;
esac

# Sourced by the database benchmarks: a work folder and a PostgreSQL server to run on.
#   bench_postgres ROOT WORK_PREFIX PGSTATE
# PGSTATE names the state folder of a running server (the test fixture's); empty starts a
# throw-away one in the work folder. Sets work and port; the folder and an own server go at exit.
bench_postgres() {
    local root=$1
    work=$(mktemp -d "/tmp/$2.XXXXXX")
    chmod 755 "$work"
    bench_own_server=""
    bench_root=$root
    trap bench_postgres_cleanup EXIT
    local state=$3
    if [[ -z "$state" ]]; then
        state=$work/pg
        bash "$root/scripts/test-postgres.sh" start "$state" >/dev/null
        bench_own_server=yes
    fi
    port=$(cat "$state/port")
}

bench_postgres_cleanup() {
    [[ -n "$bench_own_server" ]] && bash "$bench_root/scripts/test-postgres.sh" stop "$work/pg" >/dev/null 2>&1 || true
    rm -rf "$work"
}

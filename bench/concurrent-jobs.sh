#!/usr/bin/env bash
# Two workstations on one PostgreSQL database run receptions at the same time: every job must get
# its own serial and complete.
#   concurrent-jobs.sh --build BUILD_DIR [--jobs N] [--pg-state DIR]
# With --pg-state the server of the test fixture is used (its state folder); without it a
# throw-away server is started and stopped here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=""
jobs=100
pgstate=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build=$(cd "$2" && pwd); shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --pg-state) pgstate=$2; shift 2 ;;
        *) echo "usage: $0 --build BUILD_DIR [--jobs N] [--pg-state DIR]" >&2; exit 2 ;;
    esac
done
[[ -n "$build" ]] || { echo "--build is required" >&2; exit 2; }

source "$root/bench/bench-postgres.sh"
source "$root/bench/bench-workstation.sh"
bench_postgres "$root" edi-concurrent "$pgstate"
database=edi_cc$$  # DBSTRING keeps 50 characters: the name stays short
sql() { psql -h 127.0.0.1 -p "$port" -U edi -d "$1" -v ON_ERROR_STOP=1 -qAt -c "$2"; }
sql postgres "DROP DATABASE IF EXISTS $database" >/dev/null 2>&1
sql postgres "CREATE DATABASE $database"

# One workstation: its own package installation, folders and configuration, one centre of its own.
workstation() {
    local name=$1 centre=$2 folder=$work/$1
    bench_workstation "$build" "$folder" "host=127.0.0.1 port=$port dbname=$database" \
        "$build/tools/edi-register --in $folder/received/"
    # The partner sends the same file to every job: the check for duplicate deliveries is off.
    sed -i 's/^USERID=edi$/&\nDUPDAYS=0/' "$folder/EDI.ini"
    mkdir -p "$folder"/{cvx/recv,partner}
    "$build/bench/edi-benchgen" --kib 2 --demo-only --seed 7 "$folder/partner/$centre.CII" >/dev/null
    cat > "$folder/cvx/cvxlink-standin.ini" <<INI
[PACKAGE]
DATA=$folder/cvx/data/
[05-12]
SOURCE=$folder/partner/$centre.CII
TARGET=$folder/cvx/recv/$centre.DAT
INI
}
workstation A ZC01
workstation B ZC03
"$build/tools/edi-dbinit" --ini "$work/A/EDI.ini" "$root/db/schema.sql" "$root/db/demo-data.sql"
sql "$database" "UPDATE FL1903EDI制御マスタ SET CVX受信ファイルパス = '$work/A/cvx/recv/ZC01.DAT' WHERE センターコード = 'ZC01'"
sql "$database" "INSERT INTO FL1903EDI制御マスタ SELECT 'ZC03', センター名, 送受信方式, 実行端末名, 相手先種別, CVX受信相手先番号,
                 CVX受信ファイル番号, '$work/B/cvx/recv/ZC03.DAT', 送受信データ形式, 相手先メールアドレス
                 FROM FL1903EDI制御マスタ WHERE センターコード = 'ZC01'"
sql "$database" "INSERT INTO FL1915センタ利用企業マスタ VALUES ('ZC03', 'K0003')"

run_jobs() {
    local name=$1 centre=$2 failed=0
    for _ in $(seq "$jobs"); do
        "$build/src/edi-auto" --ini "$work/$name/EDI.ini" --run-job "$centre" 2>/dev/null || failed=$((failed + 1))
    done
    echo "$failed" > "$work/$name.failed"
}
start=$(date +%s%N)
run_jobs A ZC01 &
run_jobs B ZC03 &
wait
milliseconds=$(( ($(date +%s%N) - start) / 1000000 ))

total=$((2 * jobs))
rows=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 枝番 = 0")
distinct=$(sql "$database" "SELECT count(DISTINCT 通番) FROM FL1102処理履歴ファイル WHERE 枝番 = 0")
highest=$(sql "$database" "SELECT max(通番) FROM FL1102処理履歴ファイル")
completed=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 処理終了日付 IS NOT NULL AND 終了コード = '0000'")
failed=$(( $(cat "$work/A.failed") + $(cat "$work/B.failed") ))
sql postgres "DROP DATABASE $database" >/dev/null
echo "jobs $total in ${milliseconds} ms: job rows $rows, distinct serials $distinct, highest serial $highest, completed $completed, failed $failed"
[[ $rows -eq $total && $distinct -eq $total && $highest -eq $total && $completed -eq $total && $failed -eq 0 ]]

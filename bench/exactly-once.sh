#!/usr/bin/env bash
# Exactly once through overlaps, a kill and restarts. Two workstations on one PostgreSQL database
# each run N receptions of the same three centres (WC01 takes over a file put by hand, MC01
# receives mail from an IMAP server, ZC01 runs the communication package) while a feeder puts
# hand-over files (some written slowly, in chunks, while receptions look at them), sends mails and
# fills the partner's package outbox at random moments, and now and then sends an earlier delivery
# again the same way (a partner's mistake, which must not be registered twice). The IMAP server is
# reached through a relay that cuts one connection in five at once, so that a session that sets
# \Seen after the reception's row is sometimes refused. One of the programs is killed with SIGKILL
# once, at a random moment. Then the operator's part: what is left (a package delivery kept aside,
# an interrupted job) is handed over again or run again with --rerun; a hand-over file that came
# back beside a new one is left to the receptions. At the end every order the partners sent must be
# registered exactly once (the stand-in registration program's ledger) and no job row may be open.
#   exactly-once.sh --build BUILD_DIR [--jobs N] [--seed S] [--pg-state DIR] [--imap-state DIR] [--keep DIR]
# With --pg-state and --imap-state the servers of the test fixtures are used (their state folders);
# without them throw-away servers are started and stopped here. --keep copies the workstations' folders, the
# programs' logs and the history (history.txt) into DIR for a closer look.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=""
jobs=100
seed=$RANDOM
pgstate=""
imapstate=""
keep=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build=$(cd "$2" && pwd); shift 2 ;;
        --jobs) jobs=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --pg-state) pgstate=$2; shift 2 ;;
        --imap-state) imapstate=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        *) echo "usage: $0 --build BUILD_DIR [--jobs N] [--seed S] [--pg-state DIR] [--imap-state DIR] [--keep DIR]" >&2
           exit 2 ;;
    esac
done
[[ -n "$build" ]] || { echo "--build is required" >&2; exit 2; }
RANDOM=$seed
edi=$build/src/edi-auto

source "$root/bench/bench-postgres.sh"
source "$root/bench/bench-workstation.sh"
bench_postgres "$root" edi-exactly-once "$pgstate"
database=edi_eo$$
sql() { psql -h 127.0.0.1 -p "$port" -U edi -d "$1" -v ON_ERROR_STOP=1 -qAt -c "$2"; }
sql postgres "DROP DATABASE IF EXISTS $database" >/dev/null 2>&1
sql postgres "CREATE DATABASE $database"

# The partner's mail server, and the relay in front of it that cuts connections.
own_dovecot=""
relay=""
cleanup() {  # however the script ends: the relay, a throw-away mail server and database server
    [[ -z $relay ]] || kill "$relay" 2>/dev/null || true
    [[ -z $own_dovecot ]] || bash "$root/scripts/test-dovecot.sh" stop "$imapstate" >/dev/null 2>&1 || true
    bench_postgres_cleanup
}
trap cleanup EXIT
if [[ -z $imapstate ]]; then
    imapstate=$work/dovecot
    own_dovecot=yes
    bash "$root/scripts/test-dovecot.sh" start "$imapstate" >/dev/null
fi
mailbox=$(cat "$imapstate/maildir")
mailowner=$(cat "$imapstate/owner")
find "$mailbox"/{new,cur} -type f -delete
relay_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 - "$relay_port" "$(cat "$imapstate/port")" "$work" "$seed" <<'PY' &
import random, socket, sys, threading, os
listen_port, server_port, work, seed = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
random.seed(seed)
def pipe(source, target):
    try:
        while data := source.recv(65536):
            target.sendall(data)
    except OSError:
        pass
    for end in (source, target):
        try:
            end.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
listener = socket.create_server(("127.0.0.1", listen_port))
while True:
    client, _ = listener.accept()
    if not os.path.exists(f"{work}/stop") and random.random() < 0.2:
        client.close()  # cut at once: the session fails
        with open(f"{work}/cuts", "a") as cuts:
            cuts.write("cut\n")
        continue
    server = socket.create_connection(("127.0.0.1", server_port))
    threading.Thread(target=pipe, args=(client, server), daemon=True).start()
    threading.Thread(target=pipe, args=(server, client), daemon=True).start()
PY
relay=$!

# What the partners and the workstations share: the hand-over path, the mailbox, the package's
# outbox at the partner and the path the package receives into, the business database (ledger).
shared=$work/shared
mkdir -p "$shared"/{handover,outbox,cvx/recv,feed}

workstation() {
    local name=$1 folder=$work/$1
    bench_workstation "$build" "$folder" "host=127.0.0.1 port=$port dbname=$database" "$folder/bin/register.sh" \
        "$(printf '[MAPI]\nProfileName=edi\nPassword=secret\nTLS=none\nStore=imap://127.0.0.1:%s/INBOX' "$relay_port")"
    # The registration takes its time, as a real one does: a kill often finds a job under way.
    printf '#!/bin/sh\nsleep 0.2\nexec %s --in %s --ledger %s "$@"\n' "$build/tools/edi-register" "$folder/received/" \
        "$shared/ledger.txt" > "$folder/bin/register.sh"
    chmod +x "$folder/bin/register.sh"
    # A file is taken once it has stood still for a second with nobody writing it: the slow
    # writers pause for less between their chunks.
    sed -i 's/^\[動作環境\]$/[動作環境]\nSETTLE=1/' "$folder/EDI.ini"
    cat > "$folder/cvx/cvxlink-standin.ini" <<INI
[PACKAGE]
DATA=$folder/cvx/data/
[05-12]
SOURCE=$shared/outbox/ZC01.CII
TARGET=$shared/cvx/recv/ZC01.DAT
TAKE=YES
INI
}
workstation A
workstation B
# The workstations are named WS-A and WS-B (EDI_MACHINE_NAME); the centres are WS-A's in the
# control master, and each workstation runs them. Its jobs' rows name it, and only it completes
# them after the kill: its folders hold their files.
EDI_MACHINE_NAME=WS-A "$build/tools/edi-dbinit" --ini "$work/A/EDI.ini" --demo "$shared" "$root/db/schema.sql" \
    "$root/db/demo-data.sql"
on() {  # WORKSTATION ARGUMENTS...: the program on a workstation, its output in its log
    local name=$1
    shift
    EDI_MACHINE_NAME=WS-$name "$edi" --ini "$work/$name/EDI.ini" "$@" >>"$work/$name.log" 2>&1
}

# The partners: each delivery is a CII file of its own orders ("PO" + eight digits, a range of a
# hundred per delivery), listed in delivered.txt once it is out of the partner's hands.
new_orders() {  # N -> $shared/feed/N.CII, its orders in $shared/feed/N.orders
    local n=$1
    "$build/bench/edi-benchgen" --kib 1 --demo-only --seed "$((seed + n))" --first-message $((n * 100 + 1)) \
        --manifest "$shared/feed/$n.manifest" "$shared/feed/$n.CII" >/dev/null
    local count
    count=$(awk '$1 == "messages" { print $2 }' "$shared/feed/$n.manifest")
    seq -f "PO%08g" $((n * 100 + 1)) $((n * 100 + count)) > "$shared/feed/$n.orders"
}
# Puts a file where only one may lie (a hand-over path, the outbox): false while one is there.
put_once() {
    ln "$1" "$2" 2>/dev/null || return 1
    rm -f "$1"
}
# A partner's tool that writes the hand-over file itself, in three chunks a moment apart: holding
# it open throughout, or opening it again for each chunk. False while a file lies there.
slow_put() {  # FILE TARGET
    local chunk
    chunk=$(( ($(stat -c %s "$1") + 2) / 3 ))
    ( set -o noclobber; : > "$2" ) 2>/dev/null || return 1
    if (( RANDOM % 2 )); then
        for i in 0 1 2; do dd if="$1" bs="$chunk" skip="$i" count=1 status=none; sleep 0.3; done >> "$2"
    else
        for i in 0 1 2; do dd if="$1" bs="$chunk" skip="$i" count=1 status=none >> "$2"; sleep 0.3; done
    fi
    rm -f "$1"
}
send_mail() {  # FILE
    local name tmp
    name=$(date +%s%N).M$RANDOM.feeder
    tmp=$mailbox/tmp/$name
    {
        printf 'From: chubu@example.jp\r\nTo: cii@chubu.example.jp\r\nSubject: orders\r\nMIME-Version: 1.0\r\n'
        printf 'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\norders\r\n'
        printf -- '--b\r\nContent-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n'
        printf 'Content-Disposition: attachment; filename="MC01.CII"\r\n\r\n'
        base64 -w 76 "$1" | sed 's/$/\r/'
        printf -- '--b--\r\n'
    } > "$tmp"
    chown "$mailowner" "$tmp"
    mv "$tmp" "$mailbox/new/$name"
}
# A partner who sends an earlier delivery again, the way it went the first time. False when there
# is none yet or its path is taken.
resend() {
    local m copy
    m=$(find "$shared/feed" -name '*.sent' -printf '%f\n' | sed 's/\.sent$//' | shuf -n 1)
    [[ -n $m ]] || return 1
    copy=$shared/feed/resend-$m-$RANDOM.CII
    cp "$shared/feed/$m.sent" "$copy"
    case $(cat "$shared/feed/$m.route") in
        WC01) put_once "$copy" "$shared/handover/WC01.CII" || { rm -f "$copy"; return 1; } ;;
        MC01) send_mail "$copy"; rm -f "$copy" ;;
        ZC01) put_once "$copy" "$shared/outbox/ZC01.CII" || { rm -f "$copy"; return 1; } ;;
    esac
    echo "$m" >> "$shared/resends.txt"
}
feeder() {
    local n=0 route
    while [[ ! -e $work/stop ]]; do
        sleep "0.$((RANDOM % 4))"
        if (( RANDOM % 6 == 0 )) && resend; then
            continue
        fi
        n=$((n + 1))
        new_orders "$n"
        cp "$shared/feed/$n.CII" "$shared/feed/$n.copy"
        case $((RANDOM % 4)) in
            0) route=WC01; put_once "$shared/feed/$n.CII" "$shared/handover/WC01.CII" || { rm -f "$shared/feed/$n".{CII,copy}; continue; } ;;
            1) route=MC01; send_mail "$shared/feed/$n.CII" ;;
            2) route=ZC01; put_once "$shared/feed/$n.CII" "$shared/outbox/ZC01.CII" || { rm -f "$shared/feed/$n".{CII,copy}; continue; } ;;
            3) route=WC01; slow_put "$shared/feed/$n.CII" "$shared/handover/WC01.CII" || { rm -f "$shared/feed/$n".{CII,copy}; continue; } ;;
        esac
        echo "$route" > "$shared/feed/$n.route"
        mv "$shared/feed/$n.copy" "$shared/feed/$n.sent"
        cat "$shared/feed/$n.orders" >> "$shared/delivered.txt"
        echo "$n" >> "$shared/deliveries.txt"
    done
}

centres=(WC01 MC01 ZC01)
run_jobs() {
    local name=$1 offset=$2
    for i in $(seq "$jobs"); do
        EDI_MACHINE_NAME=WS-$name "$edi" --ini "$work/$name/EDI.ini" --run-job "${centres[$(( (i + offset) % 3 ))]}" \
            >>"$work/$name.log" 2>&1 &
        echo $! > "$work/$name.pid"
        wait $! || true
    done
}
killer() {  # one SIGKILL, to one workstation's program, at a random moment of the run
    sleep "$((RANDOM % (jobs / 10 + 2))).$((RANDOM % 10))"
    local victim=A pid
    [[ $((RANDOM % 2)) -eq 0 ]] && victim=B
    pid=$(cat "$work/$victim.pid" 2>/dev/null) || return 0  # its first job has not started yet
    kill -9 "$pid" 2>/dev/null && echo "workstation $victim's program $pid" > "$work/killed"
}

: > "$shared/delivered.txt"
: > "$shared/deliveries.txt"
: > "$shared/resends.txt"
start=$(date +%s%N)
feeder & feeding=$!
killer & killing=$!
run_jobs A 0 & a=$!
run_jobs B 1 & b=$!
wait $a $b
touch "$work/stop"
wait $feeding $killing || true
milliseconds=$(( ($(date +%s%N) - start) / 1000000 ))

# The operator's part: a package delivery kept aside is handed over again; the remaining data is
# received (hand-over files given back beside a new one too); interrupted jobs run again.
resubmitted=0
for round in $(seq 30); do
    for kept in "$work"/[AB]/received/*.UNCONFIRMED*; do
        [[ -e $kept ]] || continue
        put_once "$kept" "$shared/outbox/ZC01.CII" && resubmitted=$((resubmitted + 1))
    done
    unread=$(find "$mailbox/new" "$mailbox/cur" -type f ! -name '*:2,*S*' | wc -l)
    leftover=$(find "$shared/handover" "$shared/outbox" "$work"/[AB]/received -name '*WC01.CII*' -o -name '*ZC01.CII*' \
                    -o -name '*.UNCONFIRMED*' | wc -l)
    [[ $unread -eq 0 && $leftover -eq 0 ]] && break
    for centre in "${centres[@]}"; do
        on A --run-job "$centre" || true
        on B --run-job "$centre" || true
    done
done
reruns=0
for serial in $(sql "$database" "SELECT j.通番 FROM FL1102処理履歴ファイル j JOIN FL1102処理履歴ファイル t
                                  ON t.通番 = j.通番 AND t.処理種別 = '10' AND t.終了コード IN ('0000', '8002')
                                  WHERE j.枝番 = 0 AND j.終了コード = '8002' ORDER BY j.通番"); do
    # On the workstation that received the job's files: the other finds none and refuses.
    for name in A B; do
        if on "$name" --rerun "$serial"; then
            reruns=$((reruns + 1))
            break
        fi
    done
done

deliveries=$(wc -l < "$shared/deliveries.txt")
resends=$(wc -l < "$shared/resends.txt")
cuts=0
[[ ! -e $work/cuts ]] || cuts=$(wc -l < "$work/cuts")
unmarked=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 備考 LIKE '%既読にできません。次の受信の前に既読にします%'")
kill $relay 2>/dev/null || true
duplicates=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 終了コード = '8004'")
delivered=$(sort "$shared/delivered.txt" | uniq | wc -l)
registered=$(grep -o 'PO[0-9]\{8\}' "$shared/ledger.txt" | wc -l)
missing=$(comm -23 <(sort -u "$shared/delivered.txt") <(grep -o 'PO[0-9]\{8\}' "$shared/ledger.txt" | sort -u) | wc -l)
twice=$(grep -o 'PO[0-9]\{8\}' "$shared/ledger.txt" | sort | uniq -d | wc -l)
unknown=$(comm -13 <(sort -u "$shared/delivered.txt") <(grep -o 'PO[0-9]\{8\}' "$shared/ledger.txt" | sort -u) | wc -l)
open=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 処理終了日付 IS NULL")
jobrows=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 枝番 = 0")
busy=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 終了コード = '8001'")
interrupted=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 終了コード = '8002'")
unsettled=$(sql "$database" "SELECT count(*) FROM FL1102処理履歴ファイル WHERE 枝番 = 0 AND 詳細コード = '0101'")
registrations=$(sql "$database" "SELECT count(DISTINCT 通番) FROM FL1102処理履歴ファイル WHERE 処理種別 = '41' AND 終了コード = '0000'")
killed=$(cat "$work/killed" 2>/dev/null || echo "none (the program had ended)")
# On a fault, what the CI log needs to tell it: for an order registered twice or never, its
# delivery and route, the received files that hold it and the rows of their jobs.
explain() {  # ORDERS...
    local order delivery files serial
    for order in "$@"; do
        delivery=$(( (10#${order#PO} - 1) / 100 ))
        files=$(grep -rl "$order" "$work"/[AB]/received | sed "s|^$work/||" | sort | paste -sd' ' || true)
        echo "  $order: delivery $delivery by $(cat "$shared/feed/$delivery.route" 2>/dev/null), in ${files:-no received file}"
        for serial in $(grep -rl "$order" "$work"/[AB]/received | xargs -r -n1 basename | grep -o '^[0-9]\{8\}' | sort -u || true); do
            sql "$database" "SELECT 通番, 枝番, 処理種別, センターコード, 終了コード, 詳細コード, 備考 FROM FL1102処理履歴ファイル
                             WHERE 通番 = $((10#$serial)) ORDER BY 枝番" | sed 's/^/    /'
        done
    done
}
if (( twice > 0 )); then
    echo "registered twice (the first orders):"
    explain $(grep -o 'PO[0-9]\{8\}' "$shared/ledger.txt" | sort | uniq -d | head -3)
fi
if (( missing > 0 )); then
    echo "never registered (the first orders):"
    explain $(comm -23 <(sort -u "$shared/delivered.txt") <(grep -o 'PO[0-9]\{8\}' "$shared/ledger.txt" | sort -u) | head -3)
fi
if [[ -n $keep ]]; then
    mkdir -p "$keep"
    cp -r "$work/A" "$work/B" "$work"/*.log "$shared" "$keep/"
    sql "$database" "SELECT 通番, 枝番, 処理種別, センターコード, 処理開始時刻, 処理終了時刻, 終了コード, 詳細コード, 備考
                     FROM FL1102処理履歴ファイル ORDER BY 通番, 枝番" > "$keep/history.txt"
fi
sql postgres "DROP DATABASE $database" >/dev/null

echo "workstations 2 x $jobs receptions in ${milliseconds} ms (seed $seed); killed: $killed"
echo "deliveries $deliveries and $resends sent again (held back as duplicates 8004: $duplicates), orders delivered $delivered, registered $registered (missing $missing, twice $twice, unknown $unknown)"
echo "job rows $jobrows (another process receiving 8001: $busy, interrupted 8002: $interrupted, files still being written 0101: $unsettled),"
echo "jobs that registered data $registrations,"
echo "IMAP connections cut $cuts (receptions whose mail was marked read only by a later session: $unmarked),"
echo "handed over again by the operator $resubmitted, re-runs $reruns, rows left open $open"
[[ $missing -eq 0 && $twice -eq 0 && $unknown -eq 0 && $open -eq 0 && $registered -eq $delivered ]]

#!/usr/bin/env bash
# Creates a fresh demo set-up in FOLDER: EDI.ini, the SQLite database with the demo data for this
# machine, the folders the configuration names, the stand-in communication package and
# registration program, and partner data waiting to be received.
#   make-demo.sh BUILD_DIR FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
demo=$2

rm -rf "$demo"
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
mkdir -p "$demo"/{cvx/data/STS,cvx/recv,received,outgoing,backup,handover,partner,bin,mail/Maildir/{cur,new,tmp}} \
         "$demo"/registration/{status,command}
sed "s|@DEMO@|$demo|g" "$root/demo/EDI.ini.in" > "$demo/EDI.ini"
# Receptions a minute or two from now, so that the scheduler has something to do at once.
soon() {  # minutes from now -> "(weekday, 'hh:mm:00')", weekday 1 = Sunday
    local when
    when=$(date -d "+$1 min" '+%u %H:%M')
    echo "$(( ${when%% *} % 7 + 1 )), '${when##* }:00'"
}
cat > "$demo/soon.sql" <<SQL
INSERT OR IGNORE INTO FL1912EDIスケジュールマスタ (センターコード, 曜日, 起動時刻, 送受信種別) VALUES
    ('ZC01', $(soon 1), 'R'),
    ('WC01', $(soon 2), 'R'),
    ('WX01', $(soon 3), 'R');
SQL
"$build/tools/edi-dbinit" --ini "$demo/EDI.ini" --demo "$demo" "$root/db/schema.sql" "$root/db/demo-data.sql" "$demo/soon.sql"

# The stand-ins, where the configuration expects the real programs.
ln -s "$build/tools/edi-linkpkg" "$demo/cvx/z_tcp"
ln -s "$build/tools/edi-register" "$demo/bin/edi-register"
cat > "$demo/cvx/cvxlink-standin.ini" <<INI
[PACKAGE]
DATA=$demo/cvx/data/
[05-12]
SOURCE=$demo/partner/ZC01.CII
TARGET=$demo/cvx/recv/ZC01.DAT
STATUS=0000
INI

# What the partners send: firm orders in CII, and one as an XML document put by hand.
"$build/bench/edi-benchgen" --kib 4 --demo-only --seed 1 "$demo/partner/ZC01.CII" >/dev/null
"$build/bench/edi-benchgen" --kib 4 --demo-only --seed 2 "$demo/handover/WC01.CII" >/dev/null
"$build/bench/edi-benchgen" --kib 4 --demo-only --seed 3 "$demo/partner/WX01.CII" >/dev/null
"$build/tools/ediconv" xml --ini "$demo/EDI.ini" --log "$demo/ERR.LOG" "$demo/partner/WX01.CII" "$demo/handover/WX01.XML"

#!/usr/bin/env bash
# Creates a fresh demo set-up in FOLDER: EDI.ini, the SQLite database with the demo data for this
# machine, the folders the configuration names, the stand-in communication package and
# registration program, and partner data waiting to be received (a partner's mail among it).
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
    ('WX01', $(soon 3), 'R'),
    ('MX01', $(soon 4), 'R');
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

# What the partners send: firm orders in CII, and one as an XML document put by hand (one message
# group, so one document, which the hand-over takes whole).
"$build/bench/edi-benchgen" --kib 4 --demo-only --seed 1 "$demo/partner/ZC01.CII" >/dev/null
"$build/bench/edi-benchgen" --kib 4 --demo-only --seed 2 "$demo/handover/WC01.CII" >/dev/null
"$build/bench/edi-benchgen" --kib 4 --demo-only --one-group --seed 3 "$demo/partner/WX01.CII" >/dev/null
"$build/tools/ediconv" xml --ini "$demo/EDI.ini" --log "$demo/ERR.LOG" "$demo/partner/WX01.CII" "$demo/handover/WX01.XML"

# A partner's mail for MX01 (orders@kansai.example.jp): its orders as an XML attachment, unread in
# the Maildir that [MAPI] Store names.
"$build/bench/edi-benchgen" --kib 4 --demo-only --one-group --seed 4 "$demo/partner/MX01.CII" >/dev/null
"$build/tools/ediconv" xml --ini "$demo/EDI.ini" --log "$demo/ERR.LOG" "$demo/partner/MX01.CII" "$demo/partner/MX01.XML"
maildir=$demo/mail/Maildir
message=$(date +%s).M1P$$.demo
{
    printf 'From: EDI Kansai <edi@kansai.example.jp>\r\nTo: =?ISO-2022-JP?B?GyRCPHVDbRsoQg==?= <orders@kansai.example.jp>\r\n'
    printf 'Subject: =?ISO-2022-JP?B?GyRCQ21KOBsoQg==?=\r\nDate: %s\r\nMIME-Version: 1.0\r\n' "$(date -R)"
    printf 'Content-Type: multipart/mixed; boundary="demo-boundary"\r\n\r\n'
    printf -- '--demo-boundary\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nOrders attached.\r\n'
    printf -- '--demo-boundary\r\nContent-Type: application/xml\r\nContent-Transfer-Encoding: base64\r\n'
    printf 'Content-Disposition: attachment; filename="MX01.XML"\r\n\r\n'
    base64 -w 76 "$demo/partner/MX01.XML" | sed 's/$/\r/'
    printf -- '--demo-boundary--\r\n'
} >"$maildir/tmp/$message"
mv "$maildir/tmp/$message" "$maildir/new/$message"

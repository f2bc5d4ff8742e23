#!/usr/bin/env bash
# Creates a fresh demo set-up in FOLDER: EDI.ini, the SQLite database with the demo data for this
# machine, and the folders the configuration names.
#   make-demo.sh BUILD_DIR FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
demo=$2

rm -rf "$demo"
mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
mkdir -p "$demo"/{cvx/data/STS,cvx/recv,received,outgoing,backup,handover,bin,mail/Maildir/{cur,new,tmp}} \
         "$demo"/registration/{status,command}
sed "s|@DEMO@|$demo|g" "$root/demo/EDI.ini.in" > "$demo/EDI.ini"
"$build/tools/edi-dbinit" --ini "$demo/EDI.ini" --demo "$demo" "$root/db/schema.sql" "$root/db/demo-data.sql"

#!/usr/bin/env bash
# The web page over TLS as a site sets it up: a certificate signed by an intermediate authority,
# with an EC key. A client that trusts only the root authority reads the page: the program sends
# the whole chain and takes an EC key as well as an RSA one.
#   web-tls.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
source_dir=$1
build=$(cd "$2" && pwd)
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
web=
trap '[[ -z $web ]] || kill "$web" 2>/dev/null || true' EXIT

"$source_dir/scripts/make-demo.sh" "$build" demo >/dev/null
certificate() {  # NAME SUBJECT ISSUER EXTENSIONS: an EC key and its certificate, signed by ISSUER
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=$2" \
        -keyout "$1.key" -out "$1.csr" 2>/dev/null
    printf '%b' "$4" >"$1.ext"
    if [[ $3 == "$1" ]]; then
        openssl x509 -req -in "$1.csr" -signkey "$1.key" -days 2 -extfile "$1.ext" -out "$1.crt" 2>/dev/null
    else
        openssl x509 -req -in "$1.csr" -CA "$3.crt" -CAkey "$3.key" -CAcreateserial -days 2 -extfile "$1.ext" \
            -out "$1.crt" 2>/dev/null
    fi
}
authority='basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n'
certificate root "Test root" root "$authority"
certificate intermediate "Test intermediate" root "$authority"
certificate site localhost intermediate 'subjectAltName=DNS:localhost\n'
cat site.crt intermediate.crt >demo/web.crt
cp site.key demo/web.key
printf '\n[WEB]\nCERT=web.crt\nKEY=web.key\n' >>demo/EDI.ini

started=$("$source_dir/scripts/start-web.sh" "$build" demo/EDI.ini web.log $(( 20000 + RANDOM % 20000 ))) \
    || fail "edi-auto web did not start with an EC key"
web=${started%% *}
site=${started#* }
[[ $site == https://127.0.0.1:* ]] || fail "the page is not served over TLS: $site"
port=${site##*:}
answer=$(curl -sS --cacert root.crt "https://localhost:${port%/}/healthz" 2>&1) || true
[[ $answer == ok ]] || fail "a client that trusts the root authority cannot read the page: $answer"
echo "web_tls: EC key and intermediate authority's chain served"

#!/usr/bin/env bash
# The demo set-up's four receptions, run as the scheduler would run them: each registers every
# order its partner sent, and nothing is left waiting in the hand-over folder or the mailbox.
#   demo-receptions.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
source_dir=$1
build=$2
demo=$3/demo
"$source_dir/scripts/make-demo.sh" "$build" "$demo" >/dev/null

fail() { echo "FAIL: $*" >&2; exit 1; }
lines() { tr -cd '\n' <"$1" | wc -c; }

# What each partner sent, converted directly: the record count the reception must register.
declare -A sent
for centre in ZC01 WX01 MX01; do
    "$build/tools/ediconv" local --ini "$demo/EDI.ini" --log "$demo/expected.log" \
        "$demo/partner/$centre.CII" "$demo/expected-$centre.LOC" >/dev/null
    sent[$centre]=$(lines "$demo/expected-${centre}0101.LOC")
done
"$build/tools/ediconv" local --ini "$demo/EDI.ini" --log "$demo/expected.log" \
    "$demo/handover/WC01.CII" "$demo/expected-WC01.LOC" >/dev/null
sent[WC01]=$(lines "$demo/expected-WC010101.LOC")

serial=0
for centre in ZC01 WC01 WX01 MX01; do
    serial=$((serial + 1))
    "$build/src/edi-auto" --ini "$demo/EDI.ini" --run-job "$centre" >"$demo/$centre.out" 2>&1 \
        || fail "$centre: the job failed: $(cat "$demo/$centre.out")"
    registered=$(printf '%s/received/%08d_RCV_%-12s0101.LOC' "$demo" "$serial" "$centre" | tr ' ' _)
    [[ -f $registered ]] || fail "$centre: no local file $registered"
    [[ $(lines "$registered") -eq ${sent[$centre]} && ${sent[$centre]} -gt 0 ]] \
        || fail "$centre: $(lines "$registered") records registered of ${sent[$centre]} sent"
done
left=$(find "$demo/handover" "$demo/mail/Maildir/new" -type f)
[[ -z $left ]] || fail "left waiting after the receptions: $left"
[[ ! -e $demo/alerts.log ]] || fail "receptions that worked raised alerts: $(cat "$demo/alerts.log")"

# WC01 again with nothing handed over: no failure, but the demo's alert command hears of it (WC01
# is under NODATA).
"$build/src/edi-auto" --ini "$demo/EDI.ini" --run-job WC01 >"$demo/WC01-empty.out" 2>&1 \
    || fail "an empty hand-over failed: $(cat "$demo/WC01-empty.out")"
grep -qx 'WC01 00000005 受信 0000/0100' "$demo/alerts.log" || fail "no alert for the empty hand-over: $(cat "$demo/alerts.log" 2>&1)"
echo "the demo's four receptions registered ${sent[*]} records, nothing left waiting"

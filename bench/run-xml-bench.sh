#!/usr/bin/env bash
# Prepares the inputs of the XML benchmarks (unless the work folder has them for the same
# arguments and programs) and times both directions against xmllint's streaming parser.
#
#   run-xml-bench.sh [--build DIR] [--work DIR] [--direction both|to-cii|to-xml] [--cii-mib N]
#                    [--xml-mib N] [--short-xml-mib N] [--seed N] [--runs N] [--max-ratio R]
#                    [--min-mibps S] [--max-rss-mib M] [--keep]
#
# to-cii: one document of at least --xml-mib MiB (default 100) converted to CII. The document
#   is made from a CII file of one message group of delivery instructions (edi-benchgen
#   --one-group): converted to XML, that to CII, and that to XML again. The generator writes
#   values as a partner might (signs, zeros, groups in either section); after the first pass
#   through both directions the document holds them in the converters' own forms, which the
#   timed conversion, converted back, must reproduce byte for byte. Then the second shape: about
#   eight documents of at least --short-xml-mib MiB in all (default 32), each of one message group
#   of 50,000 messages of two short items (edi-benchgen --short-messages): mostly tags.
# to-xml: a CII file of --cii-mib MiB (default 200) of mixed message groups converted to one
#   document per group.
#
# Defaults: build/, build/bench/xml, 3 runs, peak RSS below 64 MiB, and ediconv's time at most
# 1.3 times xmllint's on the delivery document, 1.5 times on the short messages and 1 time to
# XML (--max-ratio sets one limit for all three). The converted files are removed afterwards
# unless --keep is given. Without xmllint (Debian: libxml2-utils) the script says so and exits
# 77, which ctest counts as skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
work=
direction=both
cii_mib=200
xml_mib=100
short_mib=32
seed=20261208
keep=0
limits=()
max_ratio=
runs=3
while [[ $# -gt 0 ]]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --direction) direction=$2; shift 2 ;;
        --cii-mib) cii_mib=$2; shift 2 ;;
        --xml-mib) xml_mib=$2; shift 2 ;;
        --short-xml-mib) short_mib=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --max-ratio) max_ratio=$2; shift 2 ;;
        --min-mibps|--max-rss-mib) limits+=("$1" "$2"); shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "run-xml-bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
case $direction in both|to-cii|to-xml) ;; *) echo "run-xml-bench.sh: --direction both, to-cii or to-xml" >&2; exit 2 ;; esac
if ! command -v xmllint >/dev/null; then
    echo "run-xml-bench.sh: xmllint is not installed (Debian: libxml2-utils); the XML benchmarks are skipped"
    exit 77
fi
work=${work:-$build/bench/xml}
mkdir -p "$work"
generator=$build/bench/edi-benchgen
ediconv=$build/tools/ediconv
generated="seed=$seed generator=$(stat -c %Y "$generator")"

# A document and those "ediconv xml" wrote beside it for further groups ("_2", "_3" ...), in order.
group_documents() {
    local first=$1 k=2
    echo "$first"
    while [[ -f ${first%.XML}_$k.XML ]]; do echo "${first%.XML}_$k.XML"; k=$((k + 1)); done
}

status=0
if [[ $direction != to-xml ]]; then
    # The delivery instructions grow about 3.4 times from CII to XML; the driver checks the size.
    stamp="xml-mib=$xml_mib $generated ediconv=$(stat -c %Y "$ediconv")"
    if [[ ! -f "$work/doc.stamp" || "$(cat "$work/doc.stamp")" != "$stamp" ]]; then
        rm -f "$work/doc.stamp" "$work"/doc*
        "$generator" --kib $((xml_mib * 1024 * 3 / 10 + 512)) --one-group --seed "$seed" \
            --masters "$work/doc.sqlite" "$work/doc-0.CII"
        "$ediconv" xml --db "$work/doc.sqlite" --log "$work/doc.log" "$work/doc-0.CII" "$work/doc-1.XML"
        "$ediconv" cii --db "$work/doc.sqlite" --log "$work/doc.log" "$work/doc-1.XML" "$work/doc-2.CII"
        "$ediconv" xml --db "$work/doc.sqlite" --log "$work/doc.log" "$work/doc-2.CII" "$work/doc.XML"
        rm -f "$work/doc-0.CII" "$work/doc-1.XML" "$work/doc-2.CII"
        echo "$stamp" > "$work/doc.stamp"
    fi
    echo "== XML to CII"
    "$build/bench/edi-xmlbench" to-cii --ediconv "$ediconv" --masters "$work/doc.sqlite" --xml "$work/doc.XML" \
        --min-xml-mib "$xml_mib" --work "$work/out-cii" --runs "$runs" --max-ratio "${max_ratio:-1.3}" "${limits[@]}" \
        || status=$?
    [[ $keep -eq 1 ]] || rm -rf "$work/out-cii"

    # The short messages grow about three times from XML to CII.
    short_kib=$((short_mib * 1024 * 33 / 10))
    stamp="short-kib=$short_kib $generated ediconv=$(stat -c %Y "$ediconv")"
    if [[ ! -f "$work/short.stamp" || "$(cat "$work/short.stamp")" != "$stamp" ]]; then
        rm -f "$work/short.stamp" "$work"/short*
        "$generator" --kib "$short_kib" --short-messages --seed "$seed" \
            --masters "$work/short.sqlite" "$work/short-0.CII"
        "$ediconv" xml --db "$work/short.sqlite" --log "$work/short.log" "$work/short-0.CII" "$work/short-1.XML"
        mapfile -t first < <(group_documents "$work/short-1.XML")
        "$ediconv" cii --db "$work/short.sqlite" --log "$work/short.log" "${first[@]}" "$work/short-2.CII"
        "$ediconv" xml --db "$work/short.sqlite" --log "$work/short.log" "$work/short-2.CII" "$work/short.XML"
        rm -f "$work/short-0.CII" "${first[@]}" "$work/short-2.CII"
        echo "$stamp" > "$work/short.stamp"
    fi
    echo "== XML to CII, short messages"
    part=0
    "$build/bench/edi-xmlbench" to-cii --ediconv "$ediconv" --masters "$work/short.sqlite" --xml "$work/short.XML" \
        --min-xml-mib "$short_mib" --work "$work/out-short" --runs "$runs" --max-ratio "${max_ratio:-1.5}" "${limits[@]}" \
        || part=$?
    [[ $keep -eq 1 ]] || rm -rf "$work/out-short"
    [[ $part -le $status ]] || status=$part
fi
if [[ $direction != to-cii ]]; then
    stamp="cii-mib=$cii_mib $generated"
    if [[ ! -f "$work/bench.stamp" || "$(cat "$work/bench.stamp")" != "$stamp" ]]; then
        rm -f "$work/bench.stamp"
        "$generator" --mib "$cii_mib" --seed "$seed" --masters "$work/bench.sqlite" \
            --manifest "$work/bench.manifest" "$work/bench.CII"
        echo "$stamp" > "$work/bench.stamp"
    fi
    echo "== CII to XML"
    part=0
    "$build/bench/edi-xmlbench" to-xml --ediconv "$ediconv" --masters "$work/bench.sqlite" --cii "$work/bench.CII" \
        --manifest "$work/bench.manifest" --work "$work/out-xml" --runs "$runs" --max-ratio "${max_ratio:-1}" "${limits[@]}" \
        || part=$?
    [[ $keep -eq 1 ]] || rm -rf "$work/out-xml"
    [[ $part -le $status ]] || status=$part
fi
exit $status

#!/usr/bin/env bash
# Generates CII files with their masters (unless the work folder has them for the same size and
# seed) and times the local conversion against md5sum on each:
#   mixed   the three formats of edi-benchgen, --mib MiB (default 200): at least half md5sum's
#           speed;
#   short   a single format of short messages of one block each (edi-benchgen --short-messages),
#           --short-mib MiB (default 200): at least md5sum's speed.
#
#   run-bench.sh [--build DIR] [--work DIR] [--mib N] [--short-mib N] [--seed N] [--runs N]
#                [--min-ratio R] [--min-mibps S] [--max-rss-mib M] [--keep]
#
# Defaults: build/, build/bench/full, 3 runs, peak RSS below 64 MiB; --min-ratio sets one limit for
# both files. The converted files are removed afterwards unless --keep is given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
work=
mib=200
short_mib=200
seed=20261208
keep=0
limits=()
min_ratio=
runs=3
while [[ $# -gt 0 ]]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --mib) mib=$2; shift 2 ;;
        --short-mib) short_mib=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --min-ratio) min_ratio=$2; shift 2 ;;
        --min-mibps|--max-rss-mib) limits+=("$1" "$2"); shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "run-bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
work=${work:-$build/bench/full}
mkdir -p "$work"

status=0
# bench NAME MIB RATIO [GENERATOR OPTION]
bench() {
    local name=$1 size=$2 ratio=$3 shape=${4:-}
    local stamp="mib=$size seed=$seed $shape generator=$(stat -c %Y "$build/bench/edi-benchgen")"
    if [[ ! -f "$work/$name.stamp" || "$(cat "$work/$name.stamp")" != "$stamp" ]]; then
        rm -f "$work/$name.stamp"
        "$build/bench/edi-benchgen" --mib "$size" --seed "$seed" $shape --masters "$work/$name.sqlite" \
            --manifest "$work/$name.manifest" "$work/$name.CII"
        echo "$stamp" > "$work/$name.stamp"
    fi
    echo "== CII to local, $name"
    local part=0
    "$build/bench/edi-bench" --ediconv "$build/tools/ediconv" --cii "$work/$name.CII" --masters "$work/$name.sqlite" \
        --manifest "$work/$name.manifest" --work "$work/out" --runs "$runs" --min-ratio "${min_ratio:-$ratio}" \
        "${limits[@]}" || part=$?
    [[ $keep -eq 1 ]] || rm -rf "$work/out"
    [[ $part -le $status ]] || status=$part
}
bench bench "$mib" 0.5
bench short "$short_mib" 1 --short-messages
exit $status

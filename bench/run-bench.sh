#!/usr/bin/env bash
# Generates a CII file with its masters (unless the work folder has them for the same size and
# seed) and times the local conversion against md5sum on it.
#
#   run-bench.sh [--build DIR] [--work DIR] [--mib N] [--seed N] [--runs N] [--min-ratio R]
#                [--min-mibps S] [--max-rss-mib M] [--keep]
#
# Defaults: build/, build/bench/full, 200 MiB, 3 runs, ediconv at least 1/3 of md5sum's speed,
# peak RSS below 64 MiB. The converted files are removed afterwards unless --keep is given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
work=
mib=200
seed=20261208
keep=0
limits=()
runs=3
while [[ $# -gt 0 ]]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --mib) mib=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --min-ratio|--min-mibps|--max-rss-mib) limits+=("$1" "$2"); shift 2 ;;
        --keep) keep=1; shift ;;
        *) echo "run-bench.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
work=${work:-$build/bench/full}
mkdir -p "$work"

stamp="mib=$mib seed=$seed generator=$(stat -c %Y "$build/bench/edi-benchgen")"
if [[ ! -f "$work/bench.stamp" || "$(cat "$work/bench.stamp")" != "$stamp" ]]; then
    rm -f "$work/bench.stamp"
    "$build/bench/edi-benchgen" --mib "$mib" --seed "$seed" --masters "$work/bench.sqlite" \
        --manifest "$work/bench.manifest" "$work/bench.CII"
    echo "$stamp" > "$work/bench.stamp"
fi

status=0
"$build/bench/edi-bench" --ediconv "$build/tools/ediconv" --cii "$work/bench.CII" --masters "$work/bench.sqlite" \
    --manifest "$work/bench.manifest" --work "$work/out" --runs "$runs" "${limits[@]}" || status=$?
[[ $keep -eq 1 ]] || rm -rf "$work/out"
exit $status

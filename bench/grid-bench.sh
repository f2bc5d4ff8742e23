#!/usr/bin/env bash
# The monitor window at its largest, on Qt's offscreen platform: grid fill and redraw of a full
# timetable, and the window's answers while a reception runs through the stand-in communication
# package (which takes its time on purpose).
#   grid-bench.sh --build BUILD_DIR [--rows N] [--package-seconds S] [edi-gridbench options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=""
seconds=2
passed=()
while [[ $# -gt 0 ]]; do
    case "$1" in
        --build) build=$(cd "$2" && pwd); shift 2 ;;
        --package-seconds) seconds=$2; shift 2 ;;
        *) passed+=("$1"); shift ;;
    esac
done
[[ -n "$build" ]] || { echo "usage: $0 --build BUILD_DIR [--package-seconds S] [edi-gridbench options...]" >&2; exit 2; }

work=$(mktemp -d /tmp/edi-gridbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
bash "$root/scripts/make-demo.sh" "$build" "$work/demo" >/dev/null
echo "SLEEP=$seconds" >> "$work/demo/cvx/cvxlink-standin.ini"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
    "$build/bench/edi-gridbench" --ini "$work/demo/EDI.ini" --centre ZC01 "${passed[@]}"

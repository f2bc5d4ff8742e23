#!/usr/bin/env bash
# Fresh machine to a running scheduler: installs what is missing, builds, creates the demo set-up
# in build/demo, starts the scheduler on it and runs receptions through the stand-in programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build "$root/scripts/build.sh" -DEDI_BUILD_TESTS=OFF
"$root/scripts/make-demo.sh" "$build" "$build/demo"
"$build/src/edi-auto" --ini "$build/demo/EDI.ini" "$@"
for centre in ZC01 WC01 WX01; do
    "$build/src/edi-auto" --ini "$build/demo/EDI.ini" --run-job "$centre" "$@" || true
done

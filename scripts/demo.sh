#!/usr/bin/env bash
# Fresh machine to a running scheduler: installs what is missing, builds, creates the demo set-up
# in build/demo and starts the scheduler on it: its window where there is a display, the headless
# mode (log lines) otherwise. Receptions through the stand-in programs run a minute or two later;
# Ctrl-C ends the headless mode. The monitor's web page runs beside it on 127.0.0.1 (port 8080,
# or the next free one) until the scheduler ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build "$root/scripts/build.sh" -DEDI_BUILD_TESTS=OFF
"$root/scripts/make-demo.sh" "$build" "$build/demo"

if web=$("$root/scripts/start-web.sh" "$build" "$build/demo/EDI.ini" "$build/demo/web.log" 8080); then
    trap 'kill "${web%% *}" 2>/dev/null || true' EXIT
    echo "The monitor in a browser: ${web#* } (edi-auto web, its log in $build/demo/web.log)"
else
    echo "The monitor's web page did not start (above); the scheduler starts all the same." >&2
fi
"$build/src/edi-auto" --ini "$build/demo/EDI.ini" "$@"

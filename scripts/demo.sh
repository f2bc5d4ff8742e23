#!/usr/bin/env bash
# Fresh machine to a running scheduler: installs what is missing, builds, creates the demo set-up
# in build/demo and starts the scheduler on it: its window where there is a display, the headless
# mode (log lines) otherwise. Receptions through the stand-in programs run a minute or two later;
# Ctrl-C ends the headless mode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build "$root/scripts/build.sh" -DEDI_BUILD_TESTS=OFF
"$root/scripts/make-demo.sh" "$build" "$build/demo"
exec "$build/src/edi-auto" --ini "$build/demo/EDI.ini" "$@"

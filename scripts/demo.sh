#!/usr/bin/env bash
# Fresh machine to a running scheduler: installs what is missing, builds, creates the demo set-up
# in build/demo and starts the scheduler on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build "$root/scripts/build.sh" -DEDI_BUILD_TESTS=OFF
"$root/scripts/make-demo.sh" "$build" "$build/demo"
exec "$build/src/edi-auto" --ini "$build/demo/EDI.ini" "$@"

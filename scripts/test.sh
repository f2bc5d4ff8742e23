#!/usr/bin/env bash
# Fresh machine to a full test run: installs what is missing (PostgreSQL and its ODBC driver
# included), builds with the tests and runs them all. The tests start their own servers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh" --tests
BUILD_DIR=$build "$root/scripts/build.sh" -DEDI_BUILD_TESTS=ON
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"

#!/usr/bin/env bash
# Builds the Debian package edi-auto_VERSION_ARCH.deb and prints its path.
#   package.sh [--build DIR] [--out DIR]
# Without --build it installs what is missing and makes a build of its own in build-package/;
# with --build it packs that build as it is (the tests pack the build they run in).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=
out=
while [[ $# -gt 0 ]]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --out) out=$2; shift 2 ;;
        *) echo "usage: package.sh [--build DIR] [--out DIR]" >&2; exit 2 ;;
    esac
done
if [[ -z $build ]]; then
    build=$root/build-package
    "$root/scripts/install-deps.sh"
    if ! command -v dpkg-shlibdeps >/dev/null; then
        sudo=(); [[ $(id -u) -ne 0 ]] && sudo=(sudo)
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends dpkg-dev
    fi
    BUILD_DIR=$build BUILD_TYPE=Release "$root/scripts/build.sh" -DEDI_BUILD_TESTS=OFF -DEDI_BUILD_BENCH=OFF
fi
out=${out:-$build}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cmake --build "$build" --target edi-auto ediconv edi-dbinit man_pages -j "$(nproc)" >/dev/null
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
ls "$out"/edi-auto_*.deb

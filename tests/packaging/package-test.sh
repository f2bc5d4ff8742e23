#!/usr/bin/env bash
# The Debian package as a site gets it: built by scripts/package.sh from this build, its contents
# and dependencies, its unit verified, and its programs run from an extracted root against a demo
# set-up.
#   package-test.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
source_dir=$1
build=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$("$source_dir/scripts/package.sh" --build "$build" --out "$work")
[[ -f $deb ]] || fail "no package made: $deb"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/edi-auto ./usr/bin/ediconv ./usr/bin/edi-dbinit ./usr/share/edi-auto/schema.sql \
            ./usr/share/edi-auto/demo-data.sql ./usr/share/man/man1/edi-auto.1.gz ./usr/share/man/man1/ediconv.1.gz \
            ./usr/share/man/man1/edi-dbinit.1.gz \
            ./usr/lib/systemd/system/edi-auto.service ./usr/share/doc/edi-auto/examples/EDI.ini; do
    grep -qx -- "$path" <<<"$contents" || fail "the package lacks $path"
done
! grep -q -e edi-linkpkg -e edi-register <<<"$contents" || fail "a stand-in program is in the package"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6sql6-sqlite adduser; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
dpkg-deb -I "$deb" postinst | grep -q "adduser --system" || fail "postinst creates no system user"

root=$work/root
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/edi-auto" --version | grep -q '^edi-auto ' || fail "edi-auto --version"
"$root/usr/bin/ediconv" --version | grep -q '^ediconv ' || fail "ediconv --version"

# The unit, with its program where the package was extracted to; any remark of the verifier fails.
sed "s|/usr/bin/edi-auto|$root/usr/bin/edi-auto|" "$root/usr/lib/systemd/system/edi-auto.service" >"$work/edi-auto.service"
remarks=$(systemd-analyze verify --man=no "$work/edi-auto.service" 2>&1) || fail "systemd-analyze verify: $remarks"
[[ -z $remarks ]] || fail "systemd-analyze verify: $remarks"
grep -q '^Type=notify$' "$work/edi-auto.service" || fail "the unit is not a notify service"

# A demo set-up; the extracted programs convert and receive on it, configured through EDI_INI.
"$source_dir/scripts/make-demo.sh" "$build" "$work/demo" >/dev/null
export EDI_INI=$work/demo/EDI.ini
"$root/usr/bin/ediconv" local --log "$work/ERR.LOG" "$work/demo/handover/WC01.CII" "$work/WC01.LOC" \
    || fail "the packaged ediconv did not convert"
[[ $(grep -c $'\r$' "$work/WC010101.LOC") -gt 0 ]] || fail "the packaged ediconv wrote no records"
"$root/usr/bin/edi-auto" --run-job ZC01 2>"$work/run-job.log" || fail "the packaged edi-auto --run-job: $(cat "$work/run-job.log")"
"$root/usr/bin/edi-auto" history --format csv | grep -q '^1,0,ジョブ,ZC01,' || fail "the packaged edi-auto history"
echo "package $deb: contents, dependencies, unit and programs checked"

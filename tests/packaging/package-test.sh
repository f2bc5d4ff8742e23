#!/usr/bin/env bash
# The Debian package as a site gets it: built by scripts/package.sh from this build, its contents
# and dependencies, its unit verified, and its programs run from an extracted root against a demo
# set-up by an unprivileged user, with the program folder read-only as /usr/bin is for user edi.
#   package-test.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
source_dir=$1
build=$2
work=$3
# The previous run left a read-only program folder behind.
[[ -d $work ]] && chmod -R u+w "$work"
rm -rf "$work"
mkdir -p "$work"
# A check that fails is reported and the others still run; one the rest depends on ends the test.
failures=0
problem() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
fail() { problem "$@"; exit 1; }

deb=$("$source_dir/scripts/package.sh" --build "$build" --out "$work")
[[ -f $deb ]] || fail "no package made: $deb"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/edi-auto ./usr/bin/ediconv ./usr/bin/edi-dbinit ./usr/share/edi-auto/schema.sql \
            ./usr/share/edi-auto/demo-data.sql ./usr/share/man/man1/edi-auto.1.gz ./usr/share/man/man1/ediconv.1.gz \
            ./usr/share/man/man1/edi-dbinit.1.gz ./usr/lib/systemd/system/edi-auto.service \
            ./usr/lib/systemd/system/edi-auto-web.service \
            ./usr/share/doc/edi-auto/copyright ./usr/share/doc/edi-auto/examples/EDI.ini; do
    grep -qx -- "$path" <<<"$contents" || problem "the package lacks $path"
done
! grep -q -e edi-linkpkg -e edi-register <<<"$contents" || problem "a stand-in program is in the package"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6core6 libqt6sql6-sqlite libqt6httpserver6 libcrypt1 adduser; do
    grep -q "$needed" <<<"$depends" || problem "Depends lacks $needed: $depends"
done
dpkg-deb -I "$deb" postinst | grep -q "adduser --system" || problem "postinst creates no system user"

root=$work/root
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/edi-auto" --version | grep -q '^edi-auto ' || fail "edi-auto --version"
"$root/usr/bin/ediconv" --version | grep -q '^ediconv ' || fail "ediconv --version"
"$root/usr/bin/edi-auto" web --help | grep -q '^Usage: edi-auto web' || problem "edi-auto web --help"

# The copyright file in the machine-readable format: a header, and every licence it names spelt out.
copyright=$root/usr/share/doc/edi-auto/copyright
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || problem "the copyright file is not in the machine-readable format"
grep -q '^Files: \*$' "$copyright" || problem "the copyright file covers no files"
for licence in $(sed -n 's/^License: //p' "$copyright" | sort -u); do
    grep -A1 "^License: $licence\$" "$copyright" | grep -q '^ ' || problem "the copyright file does not spell out licence $licence"
done

# The units, with their program where the package was extracted to; any remark of the verifier
# fails. Both tell systemd when they are ready.
for unit in edi-auto.service edi-auto-web.service; do
    sed "s|/usr/bin/edi-auto|$root/usr/bin/edi-auto|" "$root/usr/lib/systemd/system/$unit" >"$work/$unit"
    if ! remarks=$(systemd-analyze verify --man=no "$work/$unit" 2>&1) || [[ -n $remarks ]]; then
        problem "systemd-analyze verify $unit: $remarks"
    fi
    grep -q '^Type=notify$' "$work/$unit" || problem "$unit is not a notify service"
    grep -q '^User=edi$' "$work/$unit" || problem "$unit does not run as user edi"
done
grep -q '^ExecStart=.*/edi-auto web --ini /etc/edi-auto/EDI.ini$' "$work/edi-auto-web.service" \
    || problem "edi-auto-web.service does not run edi-auto web on /etc/edi-auto/EDI.ini"

# The site: a demo set-up that belongs to an unprivileged user, and a log folder of that user's as
# the unit's LogsDirectory= gives it. As root the user is nobody; otherwise the one running this.
site=$work/site
"$source_dir/scripts/make-demo.sh" "$build" "$site/demo" >/dev/null
mkdir -p "$site/logs"
as_site_user=()
if [[ $(id -u) -eq 0 ]]; then
    chown -R nobody: "$site"
    as_site_user=(runuser -u nobody --)
fi
run_as_site_user() {
    "${as_site_user[@]}" env HOME="$site" EDI_INI="$site/demo/EDI.ini" LOGS_DIRECTORY="$site/logs" "$@"
}
chmod a-w "$root/usr/bin"
before=$(ls -la "$root/usr/bin")

run_as_site_user "$root/usr/bin/ediconv" local --log "$site/ERR.LOG" "$site/demo/handover/WC01.CII" "$site/WC01.LOC" \
    || problem "the packaged ediconv did not convert"
[[ $(grep -c $'\r$' "$site/WC010101.LOC") -gt 0 ]] || problem "the packaged ediconv wrote no records"
run_as_site_user "$root/usr/bin/edi-auto" --run-job ZC01 >"$work/run-job.log" 2>&1 \
    || problem "the packaged edi-auto --run-job as $("${as_site_user[@]}" id -un): $(cat "$work/run-job.log")"
job_code=$(run_as_site_user "$root/usr/bin/edi-auto" history --format csv | awk -F, '$3 == "ジョブ" && $4 == "ZC01" {print $7}') || true
[[ $job_code == 0000 ]] || problem "the reception of the packaged edi-auto ended '$job_code', not 0000"
[[ ! -e $root/usr/bin/ERR.LOG ]] || problem "the conversion log was written beside the program"
[[ $(ls -la "$root/usr/bin") == "$before" ]] || problem "the program folder changed: $(ls -la "$root/usr/bin")"
[[ -s $site/logs/ERR.LOG ]] || problem "the conversion log is not in the service's log folder (LOGS_DIRECTORY)"
[[ $failures -eq 0 ]] || exit 1
echo "package $deb: contents, dependencies, copyright, unit and programs checked"

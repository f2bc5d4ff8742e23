#!/usr/bin/env bash
# The monitor's web page in a real browser: on a demo set-up whose receptions ran (two finished,
# one failed, one running, a scheduler alive), headless Chromium loads the overview and the
# workstation's timetable. Their DOM holds the workstations, the centres and the timetable's rows
# with their states; the browser reports nothing against the pages (the site's own stylesheet and
# script load under its Content-Security-Policy); the pictures show the state colours.
# The pictures stay in WORK_DIR (web-overview.png, web-timetable.png): the README's are copies.
# Skipped (77) without Chromium (Debian package chromium).
#   web-browser.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
source_dir=$1
build=$2
work=$3
browser=$(command -v chromium || true)
[[ -n $browser ]] || { echo "SKIP: chromium is not installed (Debian package chromium)"; exit 77; }

rm -rf "$work"
mkdir -p "$work"
demo=$work/demo
failures=0
problem() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
fail() { problem "$@"; exit 1; }

pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT

export EDI_MACHINE_NAME=EDI-PC1
# The receptions two minutes ago and the jobs now must all be today's.
while [[ $(date +%H%M) > 2356 || $(date +%H%M) < 0002 ]]; do sleep 10; done
"$source_dir/scripts/make-demo.sh" "$build" "$demo" >/dev/null
program=$build/src/edi-auto
ini=$demo/EDI.ini
# Files are taken as soon as they are there: the test's files are complete.
sed -i 's/^\[動作環境\]$/&\nSETTLE=0/' "$ini"

# Today's receptions: the four centres two minutes ago, nothing later today. The jobs below run
# for them; the scheduler started after them finds nothing left to run (a reception of its
# starting minute it would run, one that passed it leaves to the jobs that ran). Weekday 1 is Sunday.
weekday=$(( $(date +%u) % 7 + 1 ))
due=$(date -d '2 minutes ago' +%H:%M:00)
cat >"$work/today.sql" <<SQL
DELETE FROM FL1912EDIスケジュールマスタ WHERE 曜日 = $weekday AND 起動時刻 >= '$due';
INSERT INTO FL1912EDIスケジュールマスタ (センターコード, 曜日, 起動時刻, 送受信種別) VALUES
    ('WX01', $weekday, '$due', 'R'), ('MX01', $weekday, '$due', 'R'),
    ('WC01', $weekday, '$due', 'R'), ('ZC01', $weekday, '$due', 'R');
SQL
"$build/tools/edi-dbinit" --ini "$ini" "$work/today.sql" >/dev/null || fail "the test's timetable could not be written"

# WX01 and MX01 receive what their partners sent; WC01 finds a folder where its file belongs.
"$program" --ini "$ini" --run-job WX01 >"$work/WX01.log" 2>&1 || fail "WX01's reception failed: $(cat "$work/WX01.log")"
"$program" --ini "$ini" --run-job MX01 >"$work/MX01.log" 2>&1 || fail "MX01's reception failed: $(cat "$work/MX01.log")"
rm "$demo/handover/WC01.CII"
mkdir "$demo/handover/WC01.CII"
! "$program" --ini "$ini" --run-job WC01 >"$work/WC01.log" 2>&1 || fail "WC01's reception of a folder did not fail"
# ZC01's package takes its time: the pages are read while its job runs.
sed -i 's/^\[05-12\]$/&\nSLEEP=12/' "$demo/cvx/cvxlink-standin.ini"
"$program" --ini "$ini" --run-job ZC01 >"$work/ZC01.log" 2>&1 &
zc01=$!
pids+=("$zc01")
"$program" --ini "$ini" --headless >"$work/scheduler.log" 2>&1 &
pids+=($!)
history_csv() { "$program" history --ini "$ini" --format csv 2>/dev/null || true; }
zc01_running() { history_csv | awk -F, '$3 == "ジョブ" && $4 == "ZC01" && $7 == "" {found = 1} END {exit !found}'; }
alive() {
    # (status exits 1 for OTHER-PC, which never ran a scheduler)
    { "$program" status --ini "$ini" --format json 2>/dev/null || true; } | python3 -c 'import json, os, sys
sys.exit(not any(m["machine"] == os.environ["EDI_MACHINE_NAME"] and m["state"] == "alive" for m in json.load(sys.stdin)))'
}
for _ in $(seq 100); do
    zc01_running && alive && break
    sleep 0.1
done
zc01_running || fail "ZC01's reception is not running: $(cat "$work/ZC01.log")"
alive || fail "the scheduler wrote no heartbeat: $(cat "$work/scheduler.log")"

# The web page, started now, reads its first snapshot with all of that in the database.
started=$("$source_dir/scripts/start-web.sh" "$build" "$ini" "$work/web.log" $(( 20000 + RANDOM % 20000 ))) \
    || fail "edi-auto web did not start"
web=${started%% *}
pids+=("$web")
site=${started#* }
site=${site%/}

# The page as the browser made it, its picture, and what the browser said about it.
browse() {  # NAME PATH
    # (--disable-dev-shm-usage: a container's small /dev/shm would crash the renderer)
    "$browser" --headless --no-sandbox --disable-dev-shm-usage --user-data-dir="$work/profile" --hide-scrollbars \
        --force-device-scale-factor=1 \
        --window-size=1280,900 --screenshot="$work/$1.png" --dump-dom --enable-logging=stderr --v=0 "$site$2" \
        >"$work/$1.html" 2>"$work/$1.browser.log" || fail "chromium could not load $2: $(tail -5 "$work/$1.browser.log")"
    # The console's complaints: a blocked stylesheet or script, a resource not found, a script error.
    if grep ':CONSOLE' "$work/$1.browser.log" >&2; then problem "the browser complained about $2 (above)"; fi
}
# The rows of a page's table, one a line, line breaks in tool tips removed.
rows() {  # NAME TABLE-CLASS
    tr -d '\n' <"$work/$1.html" | grep -o "<table class=\"$2\">.*" | sed 's|</table>.*||; s|<tr|\n&|g' | grep '^<tr' | grep -v '<th>' || true
}
has_row() {  # NAME TABLE-CLASS PATTERN WHAT
    # (not grep -q, which would leave the writer to a SIGPIPE that fails the pipeline)
    rows "$1" "$2" | grep -E "$3" >/dev/null || problem "$1: no row of $4 in table $2"
}
# How many pixels of the picture have one colour exactly, the glyphs of a state's texts.
pixels() {  # NAME RRGGBB
    python3 - "$work/$1.png" "$2" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
width, height, depth, kind = struct.unpack(">IIBB", data[16:26])
assert depth == 8 and kind in (2, 6), "an 8-bit RGB or RGBA picture"
size = 3 if kind == 2 else 4
chunks, offset = [], 8
while offset < len(data):
    length, name = struct.unpack(">I4s", data[offset:offset + 8])
    if name == b"IDAT":
        chunks.append(data[offset + 8:offset + 8 + length])
    offset += length + 12
raw, stride = zlib.decompress(b"".join(chunks)), width * size
wanted, count, previous = bytes.fromhex(sys.argv[2]), 0, bytearray(stride)
for y in range(height):
    kind_of_filter, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        left = line[i - size] if i >= size else 0
        up, corner = previous[i], previous[i - size] if i >= size else 0
        if kind_of_filter == 1: line[i] = (line[i] + left) & 255
        elif kind_of_filter == 2: line[i] = (line[i] + up) & 255
        elif kind_of_filter == 3: line[i] = (line[i] + (left + up) // 2) & 255
        elif kind_of_filter == 4:
            p = left + up - corner
            pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
            line[i] = (line[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 255
    count += sum(1 for x in range(0, stride, size) if line[x:x + 3] == wanted)
    previous = line
print(count)
PY
}
# The demo's [COLOR]: failed 255 (red), finished 32768 (green), running &H00FF0000 (blue).
shows_colour() {  # NAME RRGGBB WHAT
    local count
    count=$(pixels "$1" "$2")
    [[ $count -gt 20 ]] || problem "$1.png: $3 ($2) is on $count pixels"
}

machine=$EDI_MACHINE_NAME
browse web-overview /
has_row web-overview workstations "href=\"/timetable\?machine=$machine\">$machine</a>.*<td class=\"done\">稼働中</td>" \
    "the live scheduler of $machine"
has_row web-overview workstations "OTHER-PC</a>.*記録なし" "OTHER-PC, which never ran a scheduler"
has_row web-overview failures '<td>WC01</td>' "WC01's failed job"
[[ $(rows web-overview centres | wc -l) -eq 7 ]] || problem "web-overview: $(rows web-overview centres | wc -l) centres, not the demo's 7"
for centre in WX01 MX01; do
    has_row web-overview centres "<td>$centre</td>.*<td class=\"done\">正常終了</td>" "$centre's finished job"
done
has_row web-overview centres '<td>WC01</td>.*<td class="error">異常終了</td>' "WC01's failed job"
has_row web-overview centres '<td>ZC01</td>.*<td class="running">処理中</td>' "ZC01's running job"
shows_colour web-overview ff0000 "the failed job's red"
shows_colour web-overview 008000 "the finished jobs' green"

browse web-timetable "/timetable?machine=$machine"
lines=$(curl -fsS "$site/api/timetable?machine=$machine" | grep -o '"date":' | wc -l)
[[ $(rows web-timetable timetable | wc -l) -eq $lines && $lines -gt 14 ]] \
    || problem "web-timetable: $(rows web-timetable timetable | wc -l) rows, the API $lines"
for centre in WX01 MX01; do
    has_row web-timetable timetable "^<tr class=\"done\".*<td>$centre</td>.*<td>処理済</td><td><a href=\"/job/[0-9]+\">" \
        "$centre received, with its job"
done
has_row web-timetable timetable '^<tr class="error" title="[^"]*WC01[^"]*">.*<td>WC01</td>.*<td>エラー</td>' \
    "WC01 failed, its report in the tool tip"
has_row web-timetable timetable '^<tr class="running".*<td>ZC01</td>.*<td>処理中</td>' "ZC01 running"
has_row web-timetable timetable '^<tr class="normal">.*<td>未実行</td>' "a reception still to come"
shows_colour web-timetable ff0000 "the failed reception's red"
shows_colour web-timetable 008000 "the finished receptions' green"
shows_colour web-timetable 0000ff "the running reception's blue"

# The metrics as a scraper reads them: each family's samples in one group after its TYPE line.
misplaced=$(curl -fsS "$site/metrics" | awk '
    /^# TYPE / { if (seen[$3]++) print "second TYPE of " $3; family = $3; next }
    /^#/ || /^$/ { next }
    { name = $1; sub(/\{.*/, "", name); if (name != family) print name " outside its group" }')
[[ -z $misplaced ]] || problem "/metrics: $misplaced"
grep -q "^edi_workstation_alive{machine=\"$machine\"} 1$" < <(curl -fsS "$site/metrics") \
    || problem "/metrics: $machine is not alive"

# The end: ZC01's job finishes, the web page ends on SIGTERM and says so.
wait "$zc01" || problem "ZC01's reception failed: $(cat "$work/ZC01.log")"
kill -TERM "$web"
for _ in $(seq 50); do kill -0 "$web" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$web" 2>/dev/null || problem "edi-auto web did not end on SIGTERM"
grep -q 'WEB 終了$' "$work/web.log" || problem "edi-auto web did not log its end: $(cat "$work/web.log")"
[[ $failures -eq 0 ]] || exit 1
echo "web_browser: overview and timetable checked in Chromium; pictures $work/web-overview.png, $work/web-timetable.png"

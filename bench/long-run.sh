#!/usr/bin/env bash
# Weeks of unattended running in minutes: the headless scheduler on an accelerated clock
# (EDI_CLOCK_START, EDI_CLOCK_SPEED) over a timetable of many centres, each received once a day,
# some at the same minute. Afterwards the history and the log tell how many receptions were due,
# how many ran, how many were missed or ran twice, how many ran late within the catch-up, and the
# longest gap between two heartbeats. Every due reception must run exactly once, the timetable is
# built anew every day, and no heartbeat waits longer than a second of the machine's time.
#   long-run.sh [--build DIR] [--work DIR] [--days N] [--centres N] [--speed S] [--catchup MIN]
# Full size (by hand, about 25 minutes): --days 30 --centres 50 --speed 1800 (the defaults).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
work=
days=30
centres=50
speed=1800
catchup=60
while [[ $# -gt 0 ]]; do
    case $1 in
        --build) build=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        --days) days=$2; shift 2 ;;
        --centres) centres=$2; shift 2 ;;
        --speed) speed=$2; shift 2 ;;
        --catchup) catchup=$2; shift 2 ;;
        *) echo "usage: long-run.sh [--build DIR] [--work DIR] [--days N] [--centres N] [--speed S] [--catchup MIN]" >&2
           exit 2 ;;
    esac
done
build=$(cd "$build" && pwd)
work=${work:-$build/bench/long-run}
start=2027-01-04T00:00:30  # a Monday
export EDI_MACHINE_NAME=LONGRUN

# The demo set-up for its folders and programs; the masters replaced by the long run's centres,
# loaded as an administrator would: CSV files through edi-dbinit --import.
"$root/scripts/make-demo.sh" "$build" "$work/demo" >/dev/null
demo=$work/demo
masters=$work/masters
mkdir -p "$masters"
python3 - "$masters" "$demo" "$centres" <<'PY'
import sys
masters, demo, centres = sys.argv[1], sys.argv[2], int(sys.argv[3])
with open(f"{masters}/FL1903EDI制御マスタ.csv", "w", encoding="utf-8") as control, \
     open(f"{masters}/FL1912EDIスケジュールマスタ.csv", "w", encoding="utf-8") as schedule:
    control.write("センターコード,センター名,送受信方式,実行端末名,相手先種別,CVX受信ファイルパス,送受信データ形式\n")
    schedule.write("センターコード,曜日,起動時刻,送受信種別\n")
    for i in range(centres):
        code = f"LR{i:02d}"
        control.write(f"{code},長期運転センター{i},W,LONGRUN,1,{demo}/handover/{code}.CII,C\n")
        # Spread over the day; every tenth shares its minute with the one before.
        minute = (i - (1 if i % 10 == 9 else 0)) * (24 * 60 // centres)
        for weekday in range(1, 8):
            schedule.write(f"{code},{weekday},{minute // 60:02d}:{minute % 60:02d}:00,R\n")
PY
"$build/tools/edi-dbinit" --ini "$demo/EDI.ini" --import "$masters" >/dev/null
sed -i "0,/^\[動作環境\]\$/s//[動作環境]\nCATCHUP=$catchup/" "$demo/EDI.ini"

# Runs until its clock has passed the last day, then ends as a service manager ends it.
log=$work/scheduler.log
seconds=$(( days * 86400 / speed + 1 ))
echo "running $days days of $centres centres at $speed times speed: about $seconds s"
EDI_CLOCK_START=$start EDI_CLOCK_SPEED=$speed "$build/src/edi-auto" --headless --verbose --ini "$demo/EDI.ini" 2>"$log" &
scheduler=$!
trap 'kill $scheduler 2>/dev/null || true' EXIT
end=$(date -d "${start%T*} + $days days" '+%Y/%m/%d')
deadline=$(( SECONDS + seconds * 3 + 60 ))
until grep -q "^$end " "$log"; do
    if ! kill -0 $scheduler 2>/dev/null || (( SECONDS > deadline )); then
        echo "FAIL: the scheduler ended or fell behind before $end" >&2
        tail -20 "$log" >&2
        exit 1
    fi
    sleep 1
done
kill -TERM $scheduler
wait $scheduler || { echo "FAIL: the scheduler did not end cleanly" >&2; exit 1; }
trap - EXIT

python3 - "$demo/edi-demo.sqlite" "$log" "$start" "$days" "$catchup" "$speed" <<'PY'
import datetime as dt, re, sqlite3, sys
database, log, start, days, catchup, speed = sys.argv[1], sys.argv[2], sys.argv[3], *map(int, sys.argv[4:7])
begin = dt.datetime.fromisoformat(start)
# The last hour is left out: its receptions may still wait for their catch-up when the run ends.
until = begin + dt.timedelta(days=days) - dt.timedelta(minutes=catchup)
db = sqlite3.connect(database)
schedule = db.execute("SELECT センターコード, 曜日, 起動時刻 FROM FL1912EDIスケジュールマスタ").fetchall()
due = []
for day in range(days + 1):
    date = (begin + dt.timedelta(days=day)).date()
    weekday = date.isoweekday() % 7 + 1  # 1 = Sunday
    for centre, scheduled, time in schedule:
        when = dt.datetime.combine(date, dt.time.fromisoformat(str(time)[:8]))
        if (scheduled - 1) % 7 + 1 == weekday and begin <= when < until:
            due.append((when, centre))
jobs = {}
for centre, date, time, note in db.execute(
        "SELECT センターコード, 処理開始日付, 処理開始時刻, 備考 FROM FL1102処理履歴ファイル WHERE 枝番 = 0"):
    started = dt.datetime.combine(dt.date.fromisoformat(str(date)[:10]), dt.time.fromisoformat(str(time)[:8]))
    jobs.setdefault(centre, []).append(started)
runs = {}
for when, centre in due:
    runs[(when, centre)] = [s for s in jobs.get(centre, []) if when <= s < when + dt.timedelta(minutes=catchup + 1)]
ran = sum(1 for r in runs.values() if r)
twice = sum(1 for r in runs.values() if len(r) > 1)
late = sum(1 for (when, _), r in runs.items() if r and r[0] - when >= dt.timedelta(minutes=1))
missed = [f"{when:%Y/%m/%d %H:%M} {centre}" for (when, centre), r in runs.items() if not r]
beats = []
pattern = re.compile(r"^(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d) SCHMON01 稼働状況を記録しました")
with open(log, encoding="utf-8") as lines:
    for line in lines:
        if m := pattern.match(line):
            beats.append(dt.datetime.strptime(m.group(1), "%Y/%m/%d %H:%M:%S"))
gaps = [b - a for a, b in zip(beats, beats[1:])]
longest = max(gaps, default=dt.timedelta(0))
rebuilds = sum(1 for line in open(log, encoding="utf-8") if "スケジュール再作成" in line)
print(f"receptions due {len(due)}, run {ran}, missed {len(missed)}, run twice {twice}, caught up late {late}")
# A gap is judged in the machine's time: a tenth of a second is many minutes of the scheduler's.
longest_real = longest.total_seconds() / speed
print(f"heartbeats {len(beats)}, longest gap {longest.total_seconds():.0f} s of the scheduler's clock"
      f" ({longest_real * 1000:.0f} ms of the machine's); timetable rebuilt {rebuilds} times")
for line in missed[:10]:
    print("missed:", line)
ok = ran == len(due) and twice == 0 and len(due) > 0 and longest_real <= 1 and rebuilds >= days - 1
print("PASS" if ok else "FAIL")
sys.exit(0 if ok else 1)
PY

#!/usr/bin/env bash
# The packaged service under a real systemd: a Debian 12 root booted with systemd-nspawn, the
# package installed there with apt, a demo site configured in /etc/edi-auto/EDI.ini. Then what
# systemd and the operator do with the scheduler: it reports ready with its summary, receives,
# logs at the journal's priorities, reloads its timetable on "systemctl reload", is restarted by
# the watchdog when it hangs, lets a stop wait for the running job; its web page runs as a service
# of its own and answers; and a purge stops that and keeps the site's data. Skipped (77) where no container can boot: not root, no systemd-nspawn or debootstrap, or a
# host that refuses.
#   service-systemd-test.sh SOURCE_DIR BUILD_DIR WORK_DIR CACHE_DIR
# CACHE_DIR keeps the bootstrapped root for later runs; each run boots an overlay of it.
set -euo pipefail
source_dir=$1
build=$2
work=$3
cache=$4
started=$SECONDS

skip() { echo "SKIP: $*"; exit 77; }
# A check that fails is reported and the others still run; one the rest depends on ends the test.
failures=0
problem() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
fail() { problem "$@"; exit 1; }
phase() { echo "$(( SECONDS - started )) s: $*"; }

[[ $(id -u) -eq 0 ]] || skip "booting a container needs root"
for tool in systemd-nspawn debootstrap nsenter; do
    command -v "$tool" >/dev/null || skip "$tool is missing (packages systemd-container, debootstrap)"
done
sources=/etc/apt/sources.list.d/debian.sources
mirror=$(awk '$1 == "URIs:" {print $2; exit}' "$sources" 2>/dev/null || true)
[[ -n $mirror ]] || skip "no Debian mirror in $sources"

# The root of a previous run that was killed before it could clean up.
if mountpoint -q "$work/root"; then umount "$work/root" || umount -l "$work/root"; fi
rm -rf "$work"
mkdir -p "$work" "$cache"

# --- The container -------------------------------------------------------------------------------

rootfs=$cache/bookworm
if [[ ! -f $cache/bookworm.complete ]]; then
    phase "bootstrapping Debian 12 into $rootfs from $mirror (once; the next runs reuse it)"
    rm -rf "$rootfs"
    debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus bookworm "$rootfs" "$mirror" \
        >"$cache/debootstrap.log" 2>&1 || skip "debootstrap failed: $(tail -3 "$cache/debootstrap.log")"
    touch "$cache/bookworm.complete"
fi

container=
init=
cleanup() {
    if [[ -n $container ]] && kill -0 "$container" 2>/dev/null; then
        if [[ -n $init ]]; then
            # The container's journal, to read what a failed check saw.
            timeout 30 nsenter -t "$init" -a journalctl --no-pager -o short-precise >"$work/journal.log" 2>&1 || true
            nsenter -t "$init" -a systemctl poweroff >/dev/null 2>&1 || true
        fi
        kill -TERM "$container" 2>/dev/null || true
        for _ in $(seq 60); do kill -0 "$container" 2>/dev/null || break; sleep 0.5; done
        # A stop that waits for a job would hold the power-off for half an hour.
        if kill -0 "$container" 2>/dev/null; then kill -KILL ${init:+"$init"} "$container" 2>/dev/null || true; fi
        wait "$container" 2>/dev/null || true
    fi
    if mountpoint -q "$work/root"; then umount "$work/root" || umount -l "$work/root"; fi
}
trap cleanup EXIT

mkdir -p "$work"/{root,upper,overlay-work}
mount -t overlay overlay -o "lowerdir=$rootfs,upperdir=$work/upper,workdir=$work/overlay-work" "$work/root" \
    || skip "this host refuses an overlay mount for the container's root"
# apt inside follows the host's sources, so the packages the host has downloaded are the ones it wants.
rm -f "$work/root/etc/apt/sources.list"
cp "$sources" "$work/root/etc/apt/sources.list.d/"

# What goes in, read-only at /edi-test: the package, and make-demo.sh with the stand-in programs
# and the data generator (test tools, not in the package) laid out as in a build; the build's
# edi-dbinit and ediconv are the packaged ones.
stage=$work/stage
mkdir -p "$stage"/src/{scripts,demo,db} "$stage"/build/{tools,bench}
deb=$("$source_dir/scripts/package.sh" --build "$build" --out "$stage")
cp "$source_dir/scripts/make-demo.sh" "$stage/src/scripts/"
cp "$source_dir/demo/EDI.ini.in" "$stage/src/demo/"
cp "$source_dir"/db/*.sql "$stage/src/db/"
cp "$build/tools/edi-linkpkg" "$build/tools/edi-register" "$stage/build/tools/"
cp "$build/bench/edi-benchgen" "$stage/build/bench/"
ln -s /usr/bin/edi-dbinit /usr/bin/ediconv "$stage/build/tools/"

# Where systemd runs the host, nspawn makes a scope of its own; elsewhere it stays in ours.
unit_option=(--keep-unit)
[[ -d /run/systemd/system ]] && unit_option=()
phase "booting the container"
systemd-nspawn -D "$work/root" --boot --register=no "${unit_option[@]}" -q --console=read-only \
    --bind-ro="$stage:/edi-test" --bind=/var/cache/apt/archives >"$work/console.log" 2>&1 &
container=$!

inside() {  # COMMAND... run in the container, with a clean environment
    timeout 300 nsenter -t "$init" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"
}
for _ in $(seq 120); do
    kill -0 "$container" 2>/dev/null || skip "systemd-nspawn could not boot: $(tail -5 "$work/console.log")"
    init=$(pgrep -P "$container" | head -1 || true)
    [[ -n $init ]] && [[ $(inside systemctl is-system-running 2>/dev/null) =~ ^(running|degraded)$ ]] && break
    init=
    sleep 0.5
done
[[ -n $init ]] || skip "the container's systemd did not come up: $(tail -5 "$work/console.log")"

# --- The package and the site --------------------------------------------------------------------

phase "installing $(basename "$deb") with apt"
inside apt-get update -qq >"$work/apt-update.log" 2>&1 || fail "apt-get update in the container: $(tail -3 "$work/apt-update.log")"
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o Dpkg::Options::=--force-unsafe-io "/edi-test/$(basename "$deb")" >"$work/apt-install.log" 2>&1 \
    || fail "apt-get install of the package: $(tail -20 "$work/apt-install.log")"
! grep -i -e '^adduser' -e 'warning' "$work/apt-install.log" \
    || problem "the installation warned (above)"

phase "setting up the demo site"
demo=/var/lib/edi-auto/demo
inside runuser -u edi -- bash /edi-test/src/scripts/make-demo.sh /edi-test/build "$demo" >"$work/make-demo.log" 2>&1 \
    || fail "make-demo.sh in the container: $(tail -5 "$work/make-demo.log")"
# The site's EDI.ini where the units read it; its database stays in the demo folder. The container
# shares the host's network: its web page listens on a port the host leaves free.
inside sed "s|^DBSTRING=.*|DBSTRING=$demo/edi-demo.sqlite|" "$demo/EDI.ini" >"$work/EDI.ini"
web_port=$(( 20000 + RANDOM % 20000 ))
while (exec 3<>"/dev/tcp/127.0.0.1/$web_port") 2>/dev/null; do web_port=$(( web_port + 1 )); done
printf '\n[WEB]\nLISTEN=127.0.0.1:%s\n' "$web_port" >>"$work/EDI.ini"
inside install -o root -g edi -m 0640 /dev/stdin /etc/edi-auto/EDI.ini <"$work/EDI.ini"
# WC01 finds a folder where its file belongs and fails; the package takes 20 s to deliver ZC01's data.
inside rm "$demo/handover/WC01.CII"
inside install -d -o edi -g edi "$demo/handover/WC01.CII"
inside sed -i 's/^\[05-12\]$/&\nSLEEP=20/' "$demo/cvx/cvxlink-standin.ini"
inside systemctl enable edi-auto.service 2>/dev/null

# The timetable: WC01 and WX01 at the first whole minute at least 25 s away (time to start and to
# reload before), ZC01 a minute later. Weekday 1 is Sunday.
first=$(( ($(date +%s) + 25 + 59) / 60 * 60 ))
second=$(( first + 60 ))
schedule_row() {  # CENTRE EPOCH-SECONDS
    local weekday time
    read -r weekday time < <(inside date -d "@$2" '+%u %H:%M:00')
    echo "('$1', $(( weekday % 7 + 1 )), '$time', 'R')"
}
{
    echo "DELETE FROM FL1912EDIスケジュールマスタ;"
    echo "INSERT INTO FL1912EDIスケジュールマスタ (センターコード, 曜日, 起動時刻, 送受信種別) VALUES"
    echo "    $(schedule_row WC01 $first), $(schedule_row WX01 $first), $(schedule_row ZC01 $second);"
} >"$stage/schedule.sql"
inside runuser -u edi -- edi-dbinit --ini /etc/edi-auto/EDI.ini /edi-test/schedule.sql \
    || fail "the test's timetable could not be written"

# --- The service ---------------------------------------------------------------------------------

property() { inside systemctl show edi-auto.service -p "$1" --value; }
# The scheduler's own journal lines, as JSON: one entry a line, its PRIORITY and MESSAGE in it.
# (No "grep -q" after a pipe: the writer's SIGPIPE would fail the pipeline.)
own_journal() { inside journalctl -t edi-auto -o json --no-pager; }
has_entry() {  # PRIORITY TEXT
    own_journal | grep -F "\"PRIORITY\":\"$1\"" | grep -F -- "$2" >/dev/null
}
logged() { own_journal | grep -F -- "$1" >/dev/null; }
is_active() { [[ $(property ActiveState) == active ]]; }
wait_until() {  # EPOCH-SECONDS COMMAND...: whether COMMAND succeeds before then
    local deadline=$1
    shift
    until "$@"; do
        (( $(date +%s) < deadline )) || return 1
        sleep 1
    done
}
history_csv() {  # [OPTION...]
    inside runuser -u edi -- edi-auto history --ini /etc/edi-auto/EDI.ini --format csv "$@" 2>/dev/null || true
}
job_code() {  # CENTRE: the end code of its last job, empty while it runs
    history_csv --centre "$1" | awk -F, '$3 == "ジョブ" {code = $7} END {print code}'
}
job_ended() { [[ -n $(job_code "$1") ]]; }
job_started() { history_csv --centre "$1" | grep ',ジョブ,' >/dev/null; }
restart_after() {  # WHAT: a check left the scheduler down; start it again for the next ones
    if [[ $(property ActiveState) != active ]]; then
        problem "$1; the scheduler is $(property ActiveState) ($(property Result))"
        inside systemctl reset-failed edi-auto.service
        inside systemctl start edi-auto.service || fail "the scheduler could not be started again"
    fi
}

phase "systemctl start: ready, with its summary"
inside systemctl start edi-auto.service || fail "systemctl start: $(inside journalctl -u edi-auto --no-pager | tail -5)"
[[ $(property ActiveState) == active ]] || problem "not active after start: $(property ActiveState)"
status=$(property StatusText)
[[ $status == *開始*次の受信* ]] || problem "the status text is not the start summary: '$status'"
has_entry 6 "SCHMON01 開始 端末" || problem "the start summary is not in the journal at priority info"

phase "edi-auto-web.service: ready on 127.0.0.1:$web_port, reading the scheduler's heartbeat"
web_site=http://127.0.0.1:$web_port
inside systemctl enable edi-auto-web.service 2>/dev/null
inside systemctl start edi-auto-web.service || problem "systemctl start edi-auto-web: $(inside journalctl -u edi-auto-web --no-pager | tail -5)"
web_status=$(inside systemctl show edi-auto-web.service -p StatusText --value)
[[ $web_status == "$web_site/" ]] || problem "the web page's status text is not its address: '$web_status'"
[[ $(curl -fsS "$web_site/healthz" 2>&1) == ok ]] || problem "the web page's health check: $(curl -sS "$web_site/healthz" 2>&1)"
curl -fsS "$web_site/api/overview" 2>&1 | grep -F '"state":"alive"' >/dev/null \
    || problem "the web page does not show the scheduler alive: $(curl -sS "$web_site/api/overview" 2>&1 | head -c 500)"

phase "systemctl reload: the timetable is made again"
pid=$(property MainPID)
inside systemctl reload edi-auto.service || problem "systemctl reload failed"
wait_until $(( $(date +%s) + 10 )) logged スケジュール再作成 \
    || problem "after systemctl reload the journal has no line of the timetable made again (スケジュール再作成)"
[[ $(property MainPID) == "$pid" ]] || problem "reload replaced the scheduler: main PID $pid became $(property MainPID)"
restart_after "reload ended the scheduler"

phase "receptions of WC01 (fails) and WX01 at $(inside date -d "@$first" +%H:%M)"
wait_until $(( first + 90 )) job_ended WC01 || problem "WC01's reception did not end within 90 s of its time"
wait_until $(( first + 90 )) job_ended WX01 || problem "WX01's reception did not end within 90 s of its time"
code=$(job_code WX01)
[[ $code == 0000 ]] || problem "WX01's reception ended '$code', not 0000: $(history_csv --centre WX01)"
[[ $(job_code WC01) != 0000 ]] || problem "WC01's reception of a folder ended 0000"
has_entry 3 WC01 || problem "the failed reception of WC01 has no journal line at priority err"
has_entry 4 WC01 || problem "the steps of WC01's failed reception have no journal line at priority warning"
if [[ $code == 0000 ]]; then
    has_entry 6 WX01 || problem "the reception of WX01 has no journal line at priority info"
    ! has_entry 3 WX01 || problem "the reception of WX01 that ended 0000 is logged at priority err"
fi

phase "a hung scheduler is restarted by the watchdog (a short WatchdogSec for the test)"
inside mkdir -p /etc/systemd/system/edi-auto.service.d
printf '[Service]\nWatchdogSec=3s\nRestartSec=1s\n' | inside tee /etc/systemd/system/edi-auto.service.d/watchdog-test.conf >/dev/null
inside systemctl daemon-reload
inside systemctl restart edi-auto.service || fail "restart with the short watchdog"
pid=$(property MainPID)
sleep 10
[[ $(property MainPID) == "$pid" ]] \
    || problem "a scheduler that runs was restarted within 10 s under WatchdogSec=3s: it sends no heartbeat (WATCHDOG=1)"
wait_until $(( $(date +%s) + 10 )) is_active || true
pid=$(property MainPID)
restarts=$(property NRestarts)
inside systemctl kill --kill-who=main --signal=SIGSTOP edi-auto.service
restarted() { is_active && [[ $(property MainPID) != "$pid" && $(property NRestarts) -gt $restarts ]]; }
wait_until $(( $(date +%s) + 30 )) restarted \
    || problem "the stopped scheduler (PID $pid) was not restarted: $(property ActiveState), PID $(property MainPID), NRestarts $(property NRestarts)"
inside journalctl -u edi-auto --no-pager | grep 'Watchdog timeout' >/dev/null || problem "the journal says nothing of the watchdog"
inside rm /etc/systemd/system/edi-auto.service.d/watchdog-test.conf
inside systemctl daemon-reload
inside systemctl restart edi-auto.service || fail "restart with the unit as packaged"

phase "systemctl stop while ZC01's reception at $(inside date -d "@$second" +%H:%M) waits for the package"
wait_until $(( second + 60 )) job_started ZC01 || fail "ZC01's reception did not start"
sleep 2
! job_ended ZC01 || fail "ZC01's reception ended before the stop: the package's SLEEP is too short for this machine"
stop_started=$SECONDS
inside systemctl stop edi-auto.service || problem "systemctl stop failed"
# Had the stop not waited, the job's row would be left open, to be completed as interrupted later.
job_ended ZC01 || problem "systemctl stop returned after $(( SECONDS - stop_started )) s while ZC01's reception still ran"
code=$(job_code ZC01)
[[ $code == 0000 ]] || problem "ZC01's reception during the stop ended '$code', not 0000: $(history_csv --centre ZC01)"
[[ $(property Result) == success ]] || problem "the stop ended as $(property Result)"
has_entry 6 'SCHMON01 終了"' || problem "the scheduler did not log its end"

phase "apt-get purge: the package's folders go, the site's data stays"
inside env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q edi-auto >"$work/apt-purge.log" 2>&1 \
    || problem "apt-get purge: $(tail -5 "$work/apt-purge.log")"
# dpkg's output reaches the log through a terminal, with CR LF.
kept=$(tr -d '\r' <"$work/apt-purge.log" | grep 'edi-auto: サイトのデータ' || true)
[[ $(grep -c . <<<"$kept") -eq 1 ]] || problem "the purge did not say in one line that the site's data stays: $(tail -3 "$work/apt-purge.log")"
[[ $kept == *': /var/lib/edi-auto /etc/edi-auto' ]] || problem "the purge's line does not name both kept folders: $kept"
inside test ! -e /var/log/edi-auto || problem "the purge left /var/log/edi-auto"
inside test ! -e /etc/systemd/system/multi-user.target.wants/edi-auto.service || problem "the purge left the unit enabled"
inside test ! -e /etc/systemd/system/multi-user.target.wants/edi-auto-web.service \
    || problem "the purge left the web page's unit enabled"
! curl -fsS "$web_site/healthz" >/dev/null 2>&1 || problem "the web page still answers after the purge"
inside test -f "$demo/edi-demo.sqlite" || problem "the purge removed the site's database"
inside test -f /etc/edi-auto/EDI.ini || problem "the purge removed the site's EDI.ini"
[[ -n $(inside find "$demo/received" -name '*_RCV_WX01*') ]] || problem "the purge removed the received files"

phase "done"
[[ $failures -eq 0 ]] || exit 1
echo "service_systemd: ready, web page, reception, journal priorities, reload, watchdog, stop during a job and purge checked"

#!/usr/bin/env bash
# A throw-away Dovecot IMAP server on 127.0.0.1 for the tests.
#   test-dovecot.sh start STATE_DIR   starts it on a free port; STATE_DIR receives "port", "maildir"
#                                     (the Maildir of the user "edi", password "secret"), "owner"
#                                     (uid:gid its files must belong to), "basedir", "imaps_port"
#                                     (IMAP over TLS) and "ca.pem" (the test CA that signed the
#                                     server's certificate for 127.0.0.1; imap:// offers STARTTLS)
#   test-dovecot.sh stop STATE_DIR    stops it and removes its mail
# Run as root the mail belongs to uid/gid 5000 (Dovecot refuses root as a mail user); run as another
# user everything runs as that user. Mail folders are Maildir++ folders below the Maildir:
# imap://127.0.0.1:PORT/NAME is the folder Maildir/.NAME; messages are delivered by writing them
# into the folder's new/.
set -euo pipefail
action=$1
state=$2
dovecot=/usr/sbin/dovecot

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A CA of the test's own and a certificate it signed for 127.0.0.1.
make_certificates() {
    local base=$1
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3 -subj "/CN=EDI test CA" \
        -keyout "$base/ca.key" -out "$base/ca.pem" 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$base/server.key" -out "$base/server.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1\n' > "$base/server.ext"
    openssl x509 -req -in "$base/server.csr" -CA "$base/ca.pem" -CAkey "$base/ca.key" -CAcreateserial -days 3 \
        -extfile "$base/server.ext" -out "$base/server.pem" 2>/dev/null
}

write_config() {
    local base=$1 port=$2 uid=$3 gid=$4 tlsport=$5
    local rootless=""
    if [[ $(id -u) -ne 0 ]]; then
        local me
        me=$(id -un)
        rootless="default_login_user = $me
default_internal_user = $me
default_internal_group = $(id -gn)
service anvil {
  chroot =
}
service imap-login {
  chroot =
}"
    fi
    cat >"$base/dovecot.conf" <<CONF
protocols = imap
listen = 127.0.0.1
base_dir = $base/run
state_dir = $base/run/state
log_path = $base/dovecot.log
info_log_path = $base/dovecot.log
ssl = yes
ssl_cert = <$base/server.pem
ssl_key = <$base/server.key
disable_plaintext_auth = no
auth_mechanisms = plain login
auth_failure_delay = 0
mail_location = maildir:$base/mail/%u/Maildir
first_valid_uid = $uid
$rootless
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $base/users
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$base/mail/%u
}
service imap-login {
  inet_listener imap {
    address = 127.0.0.1
    port = $port
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $tlsport
  }
}
service stats {
  unix_listener stats-reader {
    mode = 0666
  }
  unix_listener stats-writer {
    mode = 0666
  }
}
CONF
}

start() {
    [[ -x $dovecot ]] || { echo "Dovecot (dovecot-imapd) is missing" >&2; exit 1; }
    mkdir -p "$state"
    local base uid gid port maildir
    base=$(mktemp -d /tmp/edi-test-dovecot.XXXXXX)
    chmod 755 "$base"
    if [[ $(id -u) -eq 0 ]]; then uid=5000; gid=5000; else uid=$(id -u); gid=$(id -g); fi
    maildir=$base/mail/edi/Maildir
    mkdir -p "$base/run" "$maildir"/{cur,new,tmp}
    echo 'edi:{PLAIN}secret' >"$base/users"
    chown -R "$uid:$gid" "$base/mail"
    make_certificates "$base"
    for attempt in $(seq 1 50); do
        port=$((20000 + RANDOM % 30000))
        tlsport=$((port + 1))
        port_in_use "$port" && continue
        port_in_use "$tlsport" && continue
        write_config "$base" "$port" "$uid" "$gid" "$tlsport"
        # The daemon must not keep the caller's output open (ctest waits for it to close).
        "$dovecot" -c "$base/dovecot.conf" </dev/null >>"$base/start.log" 2>&1 || { cat "$base/start.log" >&2; continue; }
        for wait in $(seq 1 100); do
            if port_in_use "$port"; then
                echo "$port" >"$state/port"
                echo "$tlsport" >"$state/imaps_port"
                cp "$base/ca.pem" "$state/ca.pem"
                echo "$maildir" >"$state/maildir"
                echo "$uid:$gid" >"$state/owner"
                echo "$base" >"$state/basedir"
                echo "Dovecot test server on 127.0.0.1:$port"
                return 0
            fi
            sleep 0.1
        done
        "$dovecot" -c "$base/dovecot.conf" stop </dev/null >/dev/null 2>&1 || true
    done
    echo "could not start Dovecot; see $base/dovecot.log" >&2
    return 1
}

stop() {
    [[ -f "$state/basedir" ]] || return 0
    local base pid
    base=$(cat "$state/basedir")
    # A throw-away server needs no orderly shutdown (that takes Dovecot several seconds): its
    # master and the master's children are killed, and waited for before their folder goes.
    if [[ -f "$base/run/master.pid" ]]; then
        pid=$(cat "$base/run/master.pid")
        children=$(pgrep -P "$pid" || true)
        kill -KILL "$pid" $children 2>/dev/null || true
        for wait in $(seq 1 100); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.05
        done
    fi
    rm -rf "$base" "$state/basedir" "$state/port" "$state/imaps_port" "$state/ca.pem" "$state/maildir" "$state/owner"
}

case "$action" in
    start) stop; start ;;
    stop) stop ;;
    *) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac

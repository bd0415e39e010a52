#!/usr/bin/env bash
# The local Firebird server for the client and the tests: start | stop | status.
# The server is found by its PID file, never by process name, so other Firebird instances on the
# machine are left alone. Every command is idempotent. Needs root (the server runs as "firebird").
set -euo pipefail

RUN_DIR=/run/firebird3.0
PIDFILE=$RUN_DIR/firebird.pid
FBGUARD=/usr/sbin/fbguard
SECURITY_DB=/var/lib/firebird/3.0/system/security3.fdb
SYSDBA_PASSWORD=qvx7tpl2m
ADDR=127.0.0.1:3050

server_pid() {
    [ -r "$PIDFILE" ] || return 1
    local pid
    pid=$(tr -dc '0-9' <"$PIDFILE")
    [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
    echo "$pid"
}

listening() {
    # 127.0.0.1:3050 in LISTEN state (0A); read from /proc so no network tools are needed.
    awk 'NR > 1 && $2 == "0100007F:0BEA" && $4 == "0A" { found = 1 } END { exit !found }' \
        /proc/net/tcp 2>/dev/null
}

# The guardian is the parent of the server process whose PID the pidfile holds.
guard_pid() {
    local pid=$1 ppid
    # Field 4 of /proc/PID/stat is the parent (the name in field 2 has no blanks here).
    ppid=$(awk '{print $4}' "/proc/$pid/stat" 2>/dev/null)
    [ -n "$ppid" ] && [ "$ppid" != 1 ] && [ "$(cat "/proc/$ppid/comm" 2>/dev/null)" = fbguard ] &&
        echo "$ppid"
}

wait_listening() {
    for _ in $(seq 1 100); do
        listening && return 0
        sleep 0.1
    done
    return 1
}

password_ok() {
    # A login over TCP with the project's password. Remote access to the security database is
    # refused after the login succeeds, so only the login failure itself counts.
    local out
    out=$(echo "select 1 from rdb\$database;" |
        timeout 20 isql-fb -q -user SYSDBA -password "$SYSDBA_PASSWORD" "127.0.0.1:$SECURITY_DB" 2>&1 || true)
    ! grep -q "user name and password are not defined" <<<"$out"
}

repair_password() {
    # Only with the server stopped: the embedded engine writes the security database directly.
    echo "create or alter user SYSDBA password '$SYSDBA_PASSWORD';" |
        isql-fb -q -user SYSDBA "$SECURITY_DB" >/dev/null
    chown firebird:firebird "$SECURITY_DB"
}

do_start() {
    if server_pid >/dev/null && wait_listening; then
        return 0
    fi
    install -d -o firebird -g firebird -m 0770 "$RUN_DIR"
    install -d -m 1777 /tmp/firebird
    rm -f "$PIDFILE"
    start-stop-daemon --start --quiet --chuid firebird --pidfile "$PIDFILE" \
        --exec "$FBGUARD" -- -daemon -forever -pidfile "$PIDFILE"
    if ! wait_listening; then
        echo "firebird: the server did not start listening on $ADDR" >&2
        exit 1
    fi
}

do_stop() {
    local pid gpid
    pid=$(server_pid) || {
        rm -f "$PIDFILE"
        return 0
    }
    gpid=$(guard_pid "$pid" || true)
    # Stopping the guardian makes it stop the server; without one, stop the server itself.
    kill -TERM "${gpid:-$pid}" 2>/dev/null || true
    for _ in $(seq 1 150); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        sleep 1
    fi
    if kill -0 "$pid" 2>/dev/null; then
        echo "firebird: server $pid did not stop" >&2
        exit 1
    fi
    rm -f "$PIDFILE"
}

case "${1:-}" in
start)
    do_start
    if ! password_ok; then
        # Installed without the preseeded answer: give SYSDBA the project's password.
        echo "firebird: setting SYSDBA's password" >&2
        do_stop
        repair_password
        do_start
        password_ok || {
            echo "firebird: SYSDBA cannot log in with the project's password" >&2
            exit 1
        }
    fi
    echo "firebird: running (pid $(server_pid)) on $ADDR"
    ;;
stop)
    do_stop
    echo "firebird: stopped"
    ;;
status)
    if pid=$(server_pid) && listening; then
        echo "firebird: running (pid $pid) on $ADDR"
    else
        echo "firebird: not running"
        exit 3
    fi
    ;;
*)
    echo "usage: $0 start|stop|status" >&2
    exit 2
    ;;
esac

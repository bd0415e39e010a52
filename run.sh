#!/usr/bin/env bash
# Installs what is missing, builds, and starts the client from its program folder (build/bin).
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
scripts/build.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != offscreen ]; then
    echo "No display found: this is a desktop program. Run it as: xvfb-run -a ./run.sh" >&2
    exit 1
fi

# Qt WebEngine refuses to run as root without this.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

# First start: a settings file beside the program that points at the local database and the
# simulator and connects at once. An existing settings file is never touched.
settings=build/bin/zarnex-client.ini
if [ ! -e "$settings" ]; then
    printf '%s\r\n' \
        '[Sizes]' 'MainFormWidth=1200' 'MainFormHeight=760' 'MainFormLeft=20' 'MainFormTop=20' \
        'ArrowIndicatorsLeft=860' 'ArrowIndicatorsTop=80' \
        '[AppServer]' 'AppIP=127.0.0.1' "AppPort=${ZARNEX_SIM_PORT:-7788}" 'AppLogin=demo' \
        'AppPass=demo' '[Auto]' 'AutoConnect=1' '[PrevState]' 'FirstRun=0' 'ShowIndicators=1' \
        '[Map]' 'MapsCount=2' 'Map0=map/moscow-overview.map' 'Map1=map/moscow-centre.map' \
        'DefaultMap=0' >"$settings"
    chmod 600 "$settings"
fi

# The local database server, and the try-out registry in the settings' database when it has no
# objects yet.
if [ "${ZARNEX_NO_FIREBIRD:-0}" != 1 ]; then
    scripts/firebird.sh status >/dev/null 2>&1 || scripts/firebird.sh start ||
        echo "warning: the Firebird server did not start (run as root, or see README)" >&2
    if ! out=$(build/bin/zarnex-cli exec-script scripts/demo-objects.sql 2>&1); then
        echo "warning: demo objects not registered: $out" >&2
    fi
fi

# The try-out partner: a simulated monitoring server on 127.0.0.1:7788 (login demo, password
# demo; see tools/monitor-sim/README.md). ZARNEX_NO_SIM=1 leaves it out. It stops by itself when
# the client (which takes this shell's place) ends.
# With it, its archive: the objects' day files of the last two days and of today, on an FTP
# service at 127.0.0.1 and the settings' FTPPort, for "Докачка информации". Three minutes after
# the start 40 l are drained from the crane (2005) on the building site over five minutes;
# ZARNEX_SIM_DRAIN= (empty) leaves that out, N,+SECONDS|HH:MM,LITRES,MINUTES gives another.
if [ "${ZARNEX_NO_SIM:-0}" != 1 ] && [ -x build/tools/zarnex-monitor-sim ]; then
    ftp_port=$(sed -n 's/^FTPPort=\([0-9]*\).*/\1/Ip' "$settings" | head -n 1)
    drain=${ZARNEX_SIM_DRAIN-2005,+180,40,5}
    drain_args=()
    [ -n "$drain" ] && drain_args=(--fault-drain "$drain")
    build/tools/zarnex-monitor-sim --port "${ZARNEX_SIM_PORT:-7788}" --packet-interval 3 \
        --cnev-interval 45 --ftp-port "${ftp_port:-2121}" --archive-days 2 "${drain_args[@]}" \
        >build/monitor-sim.log 2>&1 &
fi

exec build/bin/zarnex-client "$@"

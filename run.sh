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

# The try-out partner: a simulated monitoring server on 127.0.0.1:7788 (login demo, password
# demo; see tools/monitor-sim/README.md). ZARNEX_NO_SIM=1 leaves it out. It stops by itself when
# the client (which takes this shell's place) ends.
if [ "${ZARNEX_NO_SIM:-0}" != 1 ] && [ -x build/tools/zarnex-monitor-sim ]; then
    build/tools/zarnex-monitor-sim --port "${ZARNEX_SIM_PORT:-7788}" >build/monitor-sim.log 2>&1 &
fi

exec build/bin/zarnex-client "$@"

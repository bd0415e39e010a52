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

exec build/bin/zarnex-client "$@"

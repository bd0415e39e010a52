#!/usr/bin/env bash
# Installs what is missing, builds, starts the services the tests need, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

scripts/install-deps.sh
scripts/build.sh

started_fb=0
cleanup() {
    if [ "$started_fb" = 1 ]; then "$top/scripts/firebird.sh" stop || true; fi
}
trap cleanup EXIT
if [ -x scripts/firebird.sh ] && ! scripts/firebird.sh status >/dev/null 2>&1; then
    scripts/firebird.sh start
    started_fb=1
fi

# Every committed fuzz input (valid ones and every reproducer found, the hangs among them) once
# through the sanitized fuzz targets: a quick regression, not a campaign (fuzz/campaign.sh).
if [ "${ZARNEX_NO_FUZZ:-0}" != 1 ]; then
    fuzz/build.sh
    fuzz/replay.sh
fi

# The Debian package, built, installed and started as a new user would start it, then purged
# (root only: it installs the package on this machine for half a minute). ZARNEX_NO_PACKAGE=1
# leaves it out.
if [ "${ZARNEX_NO_PACKAGE:-0}" != 1 ] && [ "$(id -u)" -eq 0 ]; then
    tests/package/package-test.sh build
fi

ctest --test-dir "$top/build" --output-on-failure -j2 "$@"

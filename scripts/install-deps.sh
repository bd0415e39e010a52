#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent and non-interactive:
# when everything is already there it only runs a quick dpkg query.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ pkg-config ccache
    qt6-base-dev qt6-charts-dev qt6-webengine-dev qt6-websockets-dev qt6-svg-dev qt6-translations-l10n
    firebird3.0-server firebird-dev firebird3.0-utils
    libcurl4-openssl-dev zlib1g-dev libjpeg-dev libalglib-dev libicu-dev
    libsimpleini-dev libcpp-httplib-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth python3-pyftpdlib python3-gpxpy
    proj-bin geographiclib-tools libjpeg-turbo-progs
    fonts-dejavu-core
    libxlsxwriter-dev libreoffice-calc-nogui poppler-utils
    clang-14 libclang-rt-14-dev
    libjs-leaflet
    dpkg-dev file lintian xdotool desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# SYSDBA's password of the local Firebird server; used once, at its first install.
echo "firebird3.0-server shared/firebird/sysdba_password/first_install password qvx7tpl2m" |
    $SUDO debconf-set-selections
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# The Debian package as an administrator and a new user meet it: builds it from the built tree
# (scripts/build-deb.sh), checks its file list, its Depends and lintian, installs it on this
# machine with dpkg -i, runs zarnex-cli version, starts the installed client as a throwaway
# user with an empty home (it must make its folders and its database and show the main
# window), then purges the package and checks that nothing of it is left but that user's
# folder. Runs as root (CI); cleans up after itself, also when it fails.
#
# usage: tests/package/package-test.sh [BUILD_DIR]     (default build)
# The client runs on a private X server (Xvfb): the first start asks whether to create the
# database, and xdotool answers it with Return (the default button, "Да") as a user would.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
build=$(realpath "${1:-build}")
out=$build/package-test
user=zarnex-pkgtest
package=zarnex-client
program=/opt/zarnex-client

fail() {
    echo "package test: FAIL: $*" >&2
    exit 1
}
step() { echo "package test: $*"; }
trap 'echo "package test: FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR

[ "$(id -u)" -eq 0 ] || fail "run as root: it installs the package on this machine"
for tool in dpkg-deb lintian xdotool Xvfb runuser useradd; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh)"
done

# One run at a time on a machine; a package some person installed is not ours to remove.
exec 9>/run/lock/zarnex-package-test.lock
flock -w 600 9 || fail "another package test holds the lock"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
    fail "$package is installed already; remove it first (dpkg --purge $package)"
fi

rm -rf "$out"
mkdir -p "$out"
home=""
xvfb_pid=""
client_pid=""
installed=0
cleanup() {
    set +e
    [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    if [ "$installed" = 1 ]; then dpkg --purge "$package" >/dev/null 2>&1; fi
    if id "$user" >/dev/null 2>&1; then
        uid=$(id -u "$user")
        userdel "$user" 2>/dev/null
        rm -rf "/tmp/zarnex-fblock-$uid"
    fi
    [ -n "$home" ] && rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# dpkg refuses at once while apt or another dpkg holds its lock: wait for it a while.
dpkg_run() {
    local i
    for i in $(seq 1 60); do
        if dpkg "$@" >"$out/dpkg.log" 2>&1; then return 0; fi
        grep -q 'lock' "$out/dpkg.log" || { cat "$out/dpkg.log" >&2; return 1; }
        sleep 2
    done
    cat "$out/dpkg.log" >&2
    return 1
}

# ---- the package
step "building the package"
deb=$(scripts/build-deb.sh "$build")
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "${package}_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package file name $(basename "$deb")"
step "$(basename "$deb"): $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"

# File list: what must be there, links where they must point, and nothing elsewhere.
dpkg-deb -c "$deb" | awk '{ p = $6; for (i = 7; i <= NF; i++) p = p " " $i; print substr($1, 1, 1) " " p }' \
    >"$out/files.txt"
has() { grep -qxF -e "$1" "$out/files.txt" || fail "the package lacks $1"; }
has "- ./opt/zarnex-client/zarnex-client"
has "- ./opt/zarnex-client/zarnex-cli"
has "- ./opt/zarnex-client/update/UPDB.sql"
has "- ./etc/zarnex-client/zarnex-client.ini"
has "l ./opt/zarnex-client/zarnex-client.ini -> /etc/zarnex-client/zarnex-client.ini"
has "l ./usr/bin/zarnex-cli -> /opt/zarnex-client/zarnex-cli"
has "l ./usr/bin/zarnex-client -> /opt/zarnex-client/zarnex-client"
has "- ./usr/share/applications/zarnex-client.desktop"
has "- ./usr/share/icons/hicolor/scalable/apps/zarnex-client.svg"
has "- ./usr/share/man/man1/zarnex-cli.1.gz"
has "- ./usr/share/man/man1/zarnex-client.1.gz"
has "- ./usr/share/doc/zarnex-client/copyright"
has "- ./usr/share/doc/zarnex-client/changelog.gz"
while read -r kind path; do
    case "$kind $path" in
    "d ./" | "d ./etc/" | "d ./opt/" | "d ./usr/" | "d ./usr/bin/" | "d ./usr/share/" | \
        "d ./usr/share/"*/ | *" ./etc/zarnex-client/"* | *" ./opt/zarnex-client/"* | \
        *" ./usr/bin/zarnex-"* | *" ./usr/share/applications/zarnex-client.desktop" | \
        *" ./usr/share/icons/hicolor/scalable/apps/zarnex-client.svg" | \
        *" ./usr/share/man/man1/zarnex-"* | *" ./usr/share/doc/zarnex-client/"* | \
        *" ./usr/share/lintian/overrides/zarnex-client") ;;
    *) fail "unexpected path in the package: $kind $path" ;;
    esac
done <"$out/files.txt"
if grep -qiE '\.fdb$|/database/|/profiles/' "$out/files.txt"; then
    fail "the package carries a database or per-user folders: $(grep -iE '\.fdb$|/database/|/profiles/' "$out/files.txt" | head -n 3)"
fi
# No copy of Leaflet: a Leaflet file in the web-map folder is a link to the system's.
while read -r kind path; do
    case "$path" in
    *leaflet*.js | *leaflet*.css)
        [ "$kind" = l ] && [[ "$path" == *" -> /usr/share/javascript/leaflet/"* ]] ||
            fail "an embedded copy of Leaflet: $path" ;;
    esac
done <"$out/files.txt"
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qxF /etc/zarnex-client/zarnex-client.ini ||
    fail "the global settings are not a configuration file"

# The menu entry starts the installed program.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/zarnex-client.desktop >"$out/zarnex-client.desktop"
grep -qxF "Exec=$program/zarnex-client" "$out/zarnex-client.desktop" || fail "the menu entry's Exec"
grep -qxF "Icon=zarnex-client" "$out/zarnex-client.desktop" || fail "the menu entry's Icon"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$out/zarnex-client.desktop" || fail "desktop-file-validate"
fi

# Depends: the package of every library the programs link, and the two they load without
# linking; no development package; the server recommended.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends" >"$out/depends.txt"
dep_names=$(echo "$depends" | tr ',' '\n' | sed 's/(.*//; s/|.*//; s/ //g' | sort -u)
needs() { grep -qxF "$1" <<<"$dep_names" || fail "Depends lacks $1 ($2)"; }
needs firebird3.0-server-core "the embedded engine"
needs libjs-leaflet "the web map"
stage=$build/package/stage
ldconfig -p >"$out/ldconfig.txt"
owner_of() { { dpkg -S "$1" 2>/dev/null || true; } | sed -n '1s/:.*//p'; }
for exe in "$stage$program/zarnex-client" "$stage$program/zarnex-cli"; do
    for lib in $(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        path=$(awk -v l="$lib" '$1 == l && /x86-64/ { print $NF; exit }' "$out/ldconfig.txt")
        [ -n "$path" ] || fail "$lib (needed by $(basename "$exe")) is not on this machine"
        owner=$(owner_of "$path")
        [ -n "$owner" ] || owner=$(owner_of "$(realpath "$path")")
        [ -n "$owner" ] || owner=$(owner_of "/usr$path")
        [ -n "$owner" ] || fail "no package owns $path ($lib)"
        needs "$owner" "$lib"
    done
done
for d in $dep_names; do
    case "$d" in *-dev) fail "Depends names a development package: $d" ;; esac
done
for want in libqt6webenginewidgets6 libqt6charts6 libfbclient2 libcurl4 libjpeg62-turbo; do
    needs "$want" "used by the client"
done
grep -q 'libalglib' <<<"$dep_names" || fail "Depends lacks ALGLIB"
dpkg-deb -f "$deb" Recommends | grep -qw firebird3.0-server || fail "the server is not recommended"

step "lintian"
lintian "$deb" >"$out/lintian.txt" 2>&1 || true
if grep -q '^E:' "$out/lintian.txt"; then
    cat "$out/lintian.txt" >&2
    fail "lintian reports errors"
fi

# ---- installed
step "installing"
installed=1
dpkg_run -i "$deb" || fail "dpkg -i"
[ -x /usr/bin/zarnex-cli ] && [ -x /usr/bin/zarnex-client ] || fail "the programs are not on the PATH"
first=$(zarnex-cli version 2>/dev/null | head -n 1 || true)
[ "$first" = "$version" ] || fail "zarnex-cli version printed '$first', not $version"
dpkg -L "$package" >"$out/installed-files.txt"

# A new user with an empty home.
userdel "$user" >/dev/null 2>&1 || true
home=$(mktemp -d /tmp/zarnex-pkgtest-home.XXXXXX)
useradd --no-create-home --home-dir "$home" --shell /bin/sh "$user"
chown "$user:" "$home"
chmod 0700 "$home"
[ -z "$(ls -A "$home")" ] || fail "the home is not empty"
as_user() {
    runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
        LANG=C.UTF-8 XDG_RUNTIME_DIR="$home/.run" "$@"
}
install -d -o "$user" -m 0700 "$home/.run"

step "first start of the installed client as $user"
exec 8>"$out/display"
Xvfb -displayfd 8 -screen 0 1280x900x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -s "$out/display" ] && break; sleep 0.1; done
display=:$(tr -d '\n' <"$out/display")
[ "$display" != : ] || fail "Xvfb did not start: $(cat "$out/xvfb.log")"
shots=$home/first-start
as_user DISPLAY="$display" ZARNEX_SCREENSHOT_DELAY_MS=3000 timeout 90 \
    zarnex-client --screenshot="$shots" >"$out/client.log" 2>&1 &
client_pid=$!

# The offer to create the database: answered with Return (its default button, "Да").
question=$(DISPLAY=$display timeout 40 xdotool search --sync --onlyvisible --name \
    '^Подключение к базе данных' 2>/dev/null | head -n 1) ||
    fail "the first start did not offer to create the database: $(cat "$out/client.log")"
for _ in 1 2 3; do
    # Two calls: chained, "key" would send the key to the window instead of typing it.
    DISPLAY=$display xdotool windowfocus --sync "$question" 2>/dev/null || true
    DISPLAY=$display xdotool key Return 2>/dev/null || true
    sleep 2
    DISPLAY=$display xdotool search --onlyvisible --name '^Подключение к базе данных' 2>/dev/null |
        grep -qx "$question" || break
done
rc=0
wait "$client_pid" || rc=$?
client_pid=""
[ "$rc" -eq 0 ] || fail "the client ended with status $rc: $(cat "$out/client.log")"

profile=$home/.config/ZarnexClientAuto
for f in zarnex-client.ini log.txt zarnex-client.log database/ZARNEXLDB.FDB; do
    [ -e "$profile/$f" ] || fail "the first start did not make $profile/$f"
done
[ -e "$shots/TfmMain.png" ] || fail "the main window was not shown"
iconv -f windows-1251 -t utf-8 "$profile/log.txt" >"$out/operations-log.txt"
grep -qF "General:: FolderPathAppDir=$program/" "$out/operations-log.txt" || fail "no start lines in log.txt"
grep -qF "DATABASE_CONNECTION:: Создана база данных $profile/database/ZARNEXLDB.FDB" \
    "$out/operations-log.txt" || fail "the database was not made by the first start"
grep -qx 'DBServ=' <(tr -d '\r' <"$profile/zarnex-client.ini") || fail "the settings do not name the user's database"
cp -r "$shots" "$out/first-start"
# The batch front end finds the same settings and the new database (structure version 3).
as_user zarnex-cli version >"$out/cli-version.txt" 2>&1 || fail "zarnex-cli version as $user: $(cat "$out/cli-version.txt")"
[ "$(sed -n 2p "$out/cli-version.txt")" = 3 ] || fail "database version: $(cat "$out/cli-version.txt")"
# Nothing was written into the program folder.
find "$program" /etc/zarnex-client | sort >"$out/program-files.txt"
sort "$out/installed-files.txt" | grep -E "^($program|/etc/zarnex-client)" |
    diff - "$out/program-files.txt" >/dev/null || fail "files appeared in the program folder: $(sort "$out/installed-files.txt" | grep -E "^($program|/etc/zarnex-client)" | diff - "$out/program-files.txt")"

# ---- removed
step "purging"
dpkg_run --purge "$package" || fail "dpkg --purge"
installed=0
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' && fail "still installed"
while read -r path; do
    [ -d "$path" ] && [ ! -L "$path" ] && continue # shared folders (/usr/share, ...)
    [ -e "$path" ] || [ -L "$path" ] && fail "left behind: $path"
done <"$out/installed-files.txt"
[ ! -e "$program" ] || fail "left behind: $program"
[ ! -e /etc/zarnex-client ] || fail "left behind: /etc/zarnex-client"
[ -e "$profile/database/ZARNEXLDB.FDB" ] || fail "the user's folder went with the package"
step "passed (files, Depends and lintian in $out)"

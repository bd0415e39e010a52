#!/usr/bin/env bash
# Builds the Debian package zarnex-client_<version>_<arch>.deb from a built tree (default
# build/, made by scripts/build.sh) into <build>/package/, and prints its path.
#
# The tree is installed (cmake/InstallLayout.cmake) with the program folder in
# /opt/zarnex-client and the prefix /usr, then made into a Debian package: the programs
# stripped, the global settings file a configuration file in /etc/zarnex-client (linked from
# the program folder), the manual pages compressed, the copyright and changelog added, and
# CPack's DEB generator writes the package with Depends computed by dpkg-shlibdeps.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
build=$(realpath "${1:-build}")
out=$build/package
program=/opt/zarnex-client
etc=/etc/zarnex-client

for f in bin/zarnex-client bin/zarnex-cli man/zarnex-cli.1 cmake_install.cmake; do
    [ -e "$build/$f" ] || { echo "build-deb: $build/$f is missing: build first (scripts/build.sh)" >&2; exit 1; }
done
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "build-deb: no project version in $build/CMakeCache.txt" >&2; exit 1; }

rm -rf "$out"
stage=$out/stage
control=$out/control
mkdir -p "$stage" "$control"

DESTDIR=$stage cmake -DCMAKE_INSTALL_PREFIX=/usr -DZARNEX_PROGRAM_DIR=$program \
    -P "$build/cmake_install.cmake" >"$out/install.log"

# As dh_strip would: no debugging information in the package.
for exe in "$stage$program/zarnex-client" "$stage$program/zarnex-cli"; do
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$exe"
done

# The global settings: the administrator's to change, kept across upgrades.
install -d "$stage$etc"
mv "$stage$program/zarnex-client.ini" "$stage$etc/zarnex-client.ini"
ln -s "$etc/zarnex-client.ini" "$stage$program/zarnex-client.ini"
echo "$etc/zarnex-client.ini" >"$control/conffiles"

gzip -9n "$stage"/usr/share/man/man1/*.1

doc=$stage/usr/share/doc/zarnex-client
install -d "$doc" "$stage/usr/share/lintian/overrides"
when=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)}
first=$(git -C "$top" log --format=%cd --date=format:%Y 2>/dev/null | tail -n 1)
last=$(date -u -d "@$when" +%Y)
years=${first:-$last}
[ "$years" = "$last" ] || years="$years-$last"
sed "s/@YEARS@/$years/" packaging/deb/copyright >"$doc/copyright"
date=$(date -R -d "@$when")
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$date/" packaging/deb/changelog | gzip -9n >"$doc/changelog.gz"
install -m 0644 packaging/deb/lintian-overrides "$stage/usr/share/lintian/overrides/zarnex-client"

# Ownership is root's in the package; modes as Debian wants them.
find "$stage" -type d -exec chmod 0755 {} +
find "$stage" -type f -exec chmod 0644 {} +
chmod 0755 "$stage$program/zarnex-client" "$stage$program/zarnex-cli"

cpack --config packaging/deb/CPackDeb.cmake -B "$out" \
    -D CPACK_PACKAGE_VERSION="$version" -D "CPACK_INSTALLED_DIRECTORIES=$stage;." \
    -D CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA="$control/conffiles" \
    >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log" >&2; exit 1; }
deb=$(ls "$out"/zarnex-client_"$version"_*.deb)
echo "$deb"

# CPack configuration of the Debian package, for a tree staged by scripts/build-deb.sh:
#   cpack --config packaging/deb/CPackDeb.cmake -B OUTDIR -D CPACK_PACKAGE_VERSION=X.Y.Z.W \
#         -D "CPACK_INSTALLED_DIRECTORIES=STAGE;." -D CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA=conffiles
# Depends: the libraries the programs link, found by dpkg-shlibdeps, and what they load at run
# time without linking it.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarnex-client)
set(CPACK_PACKAGE_FILE_NAME zarnex-client) # the staging folder; the package is named as Debian names it
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # zarnex-client_<version>_<arch>.deb
set(CPACK_INSTALL_CMAKE_PROJECTS "")
set(CPACK_PACKAGING_INSTALL_PREFIX /)

set(CPACK_PACKAGE_CONTACT "Zarnex client packaging <packaging@zarnex-client.example.org>")
set(CPACK_PACKAGE_VENDOR "Zarnex")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "operator's client of a vehicle and locomotive monitoring service")
set(CPACK_PACKAGE_DESCRIPTION
"Зарнекс-Клиент-Авто connects to a telematics monitoring server, receives
the objects' on-line data, records it in a Firebird database and in day
track files, and shows the objects in a state grid, a group tree and on
raster or web maps. It downloads missed archives, sends relay commands,
programs devices and computes fuel and run reports.

The program folder is /opt/zarnex-client; zarnex-cli, its batch front end,
runs the same jobs without a window. Each user's settings, logs, archives
and track cache live in ~/.config/ZarnexClientAuto; a first start without
a database offers to create one there (embedded engine) or on the
configured Firebird server.")

set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded, not linked: the embedded engine (libEngine12.so) that opens a user's own database
# without a server, and the web map's Leaflet (linked into the program folder).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "firebird3.0-server-core, libjs-leaflet")
# Qt's own texts (file dialogs, standard buttons) in Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "firebird3.0-server, qt6-translations-l10n")
# "Проверить" of the sound setting plays through aplay; without it the test is silent.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "alsa-utils")

set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

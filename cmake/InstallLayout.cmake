# Installs the program folder and its desktop integration. Runs at install time (the install
# rules of the top CMakeLists.txt include it), so that every path follows the prefix given then:
#
#   cmake --install build --prefix DIR
#       DIR/zarnex-client/            the program folder (ZARNEX_INSTALL_DIR, relative to DIR)
#       DIR/bin/zarnex-cli            links to the programs
#       DIR/bin/zarnex-client
#       DIR/share/applications/zarnex-client.desktop    Exec= the installed program
#       DIR/share/icons/hicolor/scalable/apps/zarnex-client.svg
#       DIR/share/man/man1/zarnex-cli.1, zarnex-client.1
#
# The program folder may also be named at install time, as the Debian package does:
#   DESTDIR=stage cmake -DCMAKE_INSTALL_PREFIX=/usr -DZARNEX_PROGRAM_DIR=/opt/zarnex-client \
#       -P build/cmake_install.cmake
#
# Set by the install rule: ZARNEX_BUILD_BIN_DIR (the build's program folder), ZARNEX_SOURCE_DIR,
# ZARNEX_BUILD_DIR, ZARNEX_INSTALL_DIR, ZARNEX_VERSION.
#
# The web map uses the system's Leaflet (Debian's libjs-leaflet): a file of the build's web-map
# folder that is a copy of one of /usr/share/javascript/leaflet is installed as a link to it.

cmake_policy(PUSH)
cmake_policy(SET CMP0009 NEW) # a linked folder stays a link
set(leaflet_dir /usr/share/javascript/leaflet)

if(NOT ZARNEX_PROGRAM_DIR)
    if(IS_ABSOLUTE "${ZARNEX_INSTALL_DIR}")
        set(ZARNEX_PROGRAM_DIR "${ZARNEX_INSTALL_DIR}")
    else()
        set(ZARNEX_PROGRAM_DIR "${CMAKE_INSTALL_PREFIX}/${ZARNEX_INSTALL_DIR}")
    endif()
endif()
cmake_path(NORMAL_PATH ZARNEX_PROGRAM_DIR)
string(REGEX REPLACE "/$" "" ZARNEX_PROGRAM_DIR "${ZARNEX_PROGRAM_DIR}")
set(prefix "${CMAKE_INSTALL_PREFIX}")
string(REGEX REPLACE "/$" "" prefix "${prefix}")
set(root "$ENV{DESTDIR}")
set(program "${root}${ZARNEX_PROGRAM_DIR}")

# Paths as the installed system sees them; file(INSTALL) writes below DESTDIR by itself, the
# links and folders made here are put there explicitly.
function(zarnex_install_files destination mode)
    file(INSTALL DESTINATION "${destination}" TYPE FILE PERMISSIONS ${mode} FILES ${ARGN})
endfunction()

# A link from one installed path to another: relative within one top folder, else absolute
# (Debian's rule for links).
function(zarnex_install_link link target)
    string(REGEX MATCH "^/[^/]*" link_top "${link}")
    string(REGEX MATCH "^/[^/]*" target_top "${target}")
    if(link_top STREQUAL target_top)
        get_filename_component(link_dir "${link}" DIRECTORY)
        file(RELATIVE_PATH value "${link_dir}" "${target}")
    else()
        set(value "${target}")
    endif()
    get_filename_component(dir "${root}${link}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(REMOVE "${root}${link}")
    file(CREATE_LINK "${value}" "${root}${link}" SYMBOLIC)
    message(STATUS "Installing: ${root}${link} -> ${value}")
endfunction()

set(rwx OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(rw OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# ---- the program folder
zarnex_install_files("${ZARNEX_PROGRAM_DIR}" "${rwx}"
    "${ZARNEX_BUILD_BIN_DIR}/zarnex-client" "${ZARNEX_BUILD_BIN_DIR}/zarnex-cli")
file(INSTALL DESTINATION "${ZARNEX_PROGRAM_DIR}" TYPE DIRECTORY FILE_PERMISSIONS ${rw}
     FILES "${ZARNEX_SOURCE_DIR}/update")
if(IS_DIRECTORY "${ZARNEX_BUILD_BIN_DIR}/map")
    file(INSTALL DESTINATION "${ZARNEX_PROGRAM_DIR}" TYPE DIRECTORY FILE_PERMISSIONS ${rw}
         FILES "${ZARNEX_BUILD_BIN_DIR}/map")
endif()
# The demonstration object's data, used while the data folder has none (the build's data folder
# may also hold archives downloaded by a try-out: those stay).
if(EXISTS "${ZARNEX_BUILD_BIN_DIR}/data/1000/demo.dat")
    zarnex_install_files("${ZARNEX_PROGRAM_DIR}/data/1000" "${rw}"
        "${ZARNEX_BUILD_BIN_DIR}/data/1000/demo.dat")
endif()
# The global settings file: per-user settings, logs and caches (UserPath=1).
zarnex_install_files("${ZARNEX_PROGRAM_DIR}" "${rw}" "${ZARNEX_SOURCE_DIR}/packaging/zarnex-client.ini")

# The web-map pages, with the system's Leaflet instead of a copy.
set(leaflet_files)
if(IS_DIRECTORY "${leaflet_dir}")
    file(GLOB_RECURSE leaflet_files LIST_DIRECTORIES false "${leaflet_dir}/*")
endif()
set(leaflet_hashes)
foreach(f ${leaflet_files})
    file(SHA256 "${f}" h)
    list(APPEND leaflet_hashes "${h}")
endforeach()
file(GLOB_RECURSE webmap_entries LIST_DIRECTORIES false RELATIVE "${ZARNEX_BUILD_BIN_DIR}/webmap"
     "${ZARNEX_BUILD_BIN_DIR}/webmap/*")
file(MAKE_DIRECTORY "${program}/webmap")
foreach(rel ${webmap_entries})
    set(source "${ZARNEX_BUILD_BIN_DIR}/webmap/${rel}")
    get_filename_component(rel_dir "${rel}" DIRECTORY)
    set(target_dir "${ZARNEX_PROGRAM_DIR}/webmap")
    if(rel_dir)
        set(target_dir "${target_dir}/${rel_dir}")
    endif()
    get_filename_component(name "${rel}" NAME)
    if(IS_SYMLINK "${source}")
        # A link the build made (to the system's Leaflet, say) stays a link.
        file(READ_SYMLINK "${source}" value)
        file(MAKE_DIRECTORY "${root}${target_dir}")
        file(REMOVE "${root}${target_dir}/${name}")
        file(CREATE_LINK "${value}" "${root}${target_dir}/${name}" SYMBOLIC)
        message(STATUS "Installing: ${root}${target_dir}/${name} -> ${value}")
        continue()
    endif()
    # The system's file with these bytes, the one of the same name if several have them.
    set(system_copy "")
    if(leaflet_hashes)
        file(SHA256 "${source}" h)
        set(i 0)
        foreach(lh ${leaflet_hashes})
            if(lh STREQUAL h)
                list(GET leaflet_files ${i} candidate)
                get_filename_component(candidate_name "${candidate}" NAME)
                if(NOT system_copy OR candidate_name STREQUAL name)
                    set(system_copy "${candidate}")
                endif()
            endif()
            math(EXPR i "${i} + 1")
        endforeach()
    endif()
    if(system_copy)
        zarnex_install_link("${target_dir}/${name}" "${system_copy}")
    else()
        zarnex_install_files("${target_dir}" "${rw}" "${source}")
    endif()
endforeach()

# ---- desktop integration, below the prefix
zarnex_install_link("${prefix}/bin/zarnex-cli" "${ZARNEX_PROGRAM_DIR}/zarnex-cli")
zarnex_install_link("${prefix}/bin/zarnex-client" "${ZARNEX_PROGRAM_DIR}/zarnex-client")

set(ZARNEX_EXECUTABLE "${ZARNEX_PROGRAM_DIR}/zarnex-client")
configure_file("${ZARNEX_SOURCE_DIR}/packaging/zarnex-client.desktop.in"
               "${ZARNEX_BUILD_DIR}/install/zarnex-client.desktop" @ONLY)
zarnex_install_files("${prefix}/share/applications" "${rw}"
    "${ZARNEX_BUILD_DIR}/install/zarnex-client.desktop")
zarnex_install_files("${prefix}/share/icons/hicolor/scalable/apps" "${rw}"
    "${ZARNEX_SOURCE_DIR}/packaging/zarnex-client.svg")

set(manuals "${ZARNEX_SOURCE_DIR}/packaging/zarnex-client.1")
if(EXISTS "${ZARNEX_BUILD_DIR}/man/zarnex-cli.1")
    list(APPEND manuals "${ZARNEX_BUILD_DIR}/man/zarnex-cli.1")
endif()
zarnex_install_files("${prefix}/share/man/man1" "${rw}" ${manuals})
cmake_policy(POP)

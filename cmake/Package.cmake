# A Debian package of the program: `cmake --build build --target package` leaves
# vantry_<version>_<architecture>.deb in the build folder. Its dependencies are the runtime
# packages of the libraries the program links, as dpkg-shlibdeps finds them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantry)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vantry)
set(CPACK_PACKAGE_CONTACT "Vantry developers <vantry@example.org>" CACHE STRING
    "Maintainer named in the package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "browser for Half-Life family game servers")
# Lines of at most 79 characters, so that the description reads whole on an 80-column terminal.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Vantry finds servers of Half-Life, Counter-Strike 1.5 and 1.6, Condition Zero,"
    "Counter-Strike: Source, Half-Life 2 Deathmatch and HLTV relays by sweeping"
    "address ranges, by a broadcast on the local network and from a list of"
    "favourites. It lists them with their map, players and ping, shows the players"
    "and rules of the selected server and starts the game client on it, at once or"
    "when its player count meets a condition. The same queries run from the command"
    "line without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Debian revision comes from the newest entry of the changelog that the package carries, so
# that the two cannot differ; the package test checks that its upstream part is this version.
file(STRINGS ${PROJECT_SOURCE_DIR}/data/changelog changelog_top LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog)
if(NOT changelog_top MATCHES "^vantry \\(([^)]+)-([^-)]+)\\) ")
    message(FATAL_ERROR "data/changelog does not begin with 'vantry (VERSION-REVISION) '")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})
# Directories as Debian has them, whatever the umask of whoever builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A source archive of the tree as it is, without builds and history.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/")
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)

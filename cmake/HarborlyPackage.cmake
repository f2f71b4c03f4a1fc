# The Debian package, harborly_<version>_<arch>.deb: `cpack -G DEB` in a build folder, or
# tools/make-deb. It holds whatever `cmake --install` installs, under /usr.
set(CPACK_PACKAGE_NAME harborly)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VENDOR Harborly)
set(CPACK_PACKAGE_CONTACT "Harborly developers <harborly@invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Harborly forwards the ports of chosen applications on an old Linksys-style
DSL/Cable home router to this computer, clears all forwards, sets or clears the
DMZ host and shows the router's screens read-only. It comes as a Qt window
(Harborly), a command line (harborly-cli) and a simulated router for trying it
out (harborly-router-sim), with libBase64, its Base64 library, and its header.")
# The libraries the programs link, as dpkg-shlibdeps finds them (Debian's Qt 6 packages),
# and the one the program loads without linking it: the SVG reader for its icon.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

include(CPack)

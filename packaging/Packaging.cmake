# Installation as a desktop program (binaries, menu entry, icons) and the Debian package:
#   cmake --install build --prefix /usr/local     or     cd build && cpack -G DEB
include(GNUInstallDirs)

set(SKYVARN_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(SKYVARN_ICON_SIZES 16 32 48 64 128 256)

install(TARGETS skyvarn skyvarn-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${SKYVARN_PACKAGING_DIR}/skyvarn.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${SKYVARN_PACKAGING_DIR}/skyvarn.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS SKYVARN_ICON_SIZES)
  install(FILES ${SKYVARN_PACKAGING_DIR}/icons/${size}x${size}/skyvarn.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# The user service for a machine without a screen, where systemctl --user finds it:
# /usr/lib/systemd/user in the package, /usr/local/lib/systemd/user in a /usr/local install.
install(FILES ${SKYVARN_PACKAGING_DIR}/skyvarn.service DESTINATION lib/systemd/user)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${SKYVARN_PACKAGING_DIR}/99-skyvarn.rules.example
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/skyvarn)

# Installing and packaging take what was built; they do not first build the whole tree with
# its tests and benchmarks (scripts/package.sh builds the two programs, then packs).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

set(SKYVARN_PACKAGE_MAINTAINER "Skyvarn developers <skyvarn@localhost>"
  CACHE STRING "Maintainer line of the Debian package")

set(CPACK_PACKAGE_NAME skyvarn)
set(CPACK_PACKAGE_VENDOR "Skyvarn developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program for USB-serial telescope accessories")
# Debian wants the lines of the long description under 80 characters.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Skyvarn Manager finds two Quillo focusers, a Brisella dew-heater controller\n"
  "and a Morvessa mirror-cover panels unit on the serial ports with one button,\n"
  "polls them, shows their readings and temperature history, changes their\n"
  "stored settings, moves the focusers and serves a phone a control page.\n"
  "skyvarn-sim simulates the accessories on pseudo-terminals.")
set(CPACK_PACKAGE_CONTACT ${SKYVARN_PACKAGE_MAINTAINER})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${SKYVARN_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Qt, C++ runtime and libc packages come from the binaries' linked libraries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS socat)

include(CPack)

# SPDX-License-Identifier: GPL-3.0-or-later
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

# The project has no mail domain and no web home yet. Its team address and web address are on
# the reserved domain .invalid (RFC 6761), which says plainly that they reach nobody: whoever
# publishes the package sets their own with -DSKYVARN_PACKAGE_MAINTAINER and
# -DSKYVARN_HOMEPAGE.
set(SKYVARN_PACKAGE_MAINTAINER "Skyvarn developers <maintainers@skyvarn.invalid>"
  CACHE STRING "Maintainer line of the Debian package")
# The earlier default, on localhost, is one that lintian refuses: a build folder that still
# holds it takes the new one.
if(SKYVARN_PACKAGE_MAINTAINER STREQUAL "Skyvarn developers <skyvarn@localhost>")
  set_property(CACHE SKYVARN_PACKAGE_MAINTAINER PROPERTY VALUE
    "Skyvarn developers <maintainers@skyvarn.invalid>")
endif()
set(SKYVARN_HOMEPAGE "https://skyvarn.invalid"
  CACHE STRING "The project's web address, where the AppStream screenshot is found under docs/")
set(SKYVARN_APPSTREAM_ID invalid.skyvarn.skyvarn)
# The Debian revision: the package is made outside a Debian source package.
set(SKYVARN_DEB_RELEASE 1)
set(SKYVARN_DEB_VERSION ${PROJECT_VERSION}-${SKYVARN_DEB_RELEASE})

# The copyright file (machine-readable, DEP-5) and the Debian changelog, as Debian wants them.
set(SKYVARN_DOC_BUILD ${CMAKE_BINARY_DIR}/packaging)
configure_file(${SKYVARN_PACKAGING_DIR}/changelog.in ${SKYVARN_DOC_BUILD}/changelog.Debian @ONLY)
find_program(SKYVARN_GZIP gzip REQUIRED)
execute_process(COMMAND ${SKYVARN_GZIP} -9nc ${SKYVARN_DOC_BUILD}/changelog.Debian
  OUTPUT_FILE ${SKYVARN_DOC_BUILD}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
configure_file(${SKYVARN_PACKAGING_DIR}/skyvarn.metainfo.xml.in
  ${SKYVARN_DOC_BUILD}/${SKYVARN_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${SKYVARN_PACKAGING_DIR}/copyright ${SKYVARN_DOC_BUILD}/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/skyvarn)
install(FILES ${SKYVARN_DOC_BUILD}/${SKYVARN_APPSTREAM_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Manual pages made from the programs' own --help by help2man, so that they always describe
# the options the programs have. A cross-build runs the programs under its emulator.
find_program(SKYVARN_HELP2MAN help2man)
set(SKYVARN_EMULATOR "")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  string(JOIN " " SKYVARN_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()
set(SKYVARN_MAN_BUILD ${CMAKE_BINARY_DIR}/man)
set(SKYVARN_MAN_NAME_skyvarn "control USB-serial telescope accessories")
set(SKYVARN_MAN_NAME_skyvarn-sim "simulated telescope accessories on pseudo-terminals")
set(SKYVARN_MAN_PAGES)
foreach(program skyvarn skyvarn-sim)
  # Started under its own name, so that its usage line names it as a user types it.
  set(start "exec -a ${program} $<TARGET_FILE:${program}>")
  if(SKYVARN_EMULATOR)
    set(start "exec ${SKYVARN_EMULATOR} -0 ${program} $<TARGET_FILE:${program}>")
  endif()
  file(GENERATE OUTPUT ${SKYVARN_MAN_BUILD}/run/${program}
    CONTENT "#!/bin/bash\nexport QT_QPA_PLATFORM=offscreen\n${start} \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
      WORLD_READ WORLD_EXECUTE)
  set(page ${SKYVARN_MAN_BUILD}/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${SKYVARN_HELP2MAN} --no-info --section=1
      --version-string=${PROJECT_VERSION} --name=${SKYVARN_MAN_NAME_${program}}
      --output=${page} ${SKYVARN_MAN_BUILD}/run/${program}
    COMMAND ${SKYVARN_GZIP} -9nf ${page}
    DEPENDS ${program}
    VERBATIM)
  list(APPEND SKYVARN_MAN_PAGES ${page}.gz)
endforeach()
if(SKYVARN_HELP2MAN)
  # Not with the sanitizers, whose reports at exit would stand in the pages.
  if(SKYVARN_ASAN OR SKYVARN_TSAN)
    add_custom_target(manpages DEPENDS ${SKYVARN_MAN_PAGES})
  else()
    add_custom_target(manpages ALL DEPENDS ${SKYVARN_MAN_PAGES})
  endif()
else()
  message(STATUS "help2man not found: no manual pages (scripts/install-deps.sh installs it)")
endif()
install(FILES ${SKYVARN_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 OPTIONAL)

# Installing and packaging take what was built; they do not first build the whole tree with
# its tests and benchmarks (scripts/package.sh builds the two programs, then packs).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

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
set(CPACK_DEBIAN_PACKAGE_RELEASE ${SKYVARN_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Qt, C++ runtime and libc packages come from the binaries' linked libraries (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS socat)

include(CPack)

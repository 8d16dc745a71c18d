# What `cmake --install` puts below the prefix, and the Debian package CPack makes of it
# (`make package`): the three programs, the udev rule, the sg module entry, the desktop entry,
# icons, AppStream metainfo, manual pages and the Debian documents.

set(KORVAN_PACKAGE_NAME korvan-updater)
# The maker's site, as the program's own default for it (src/app/addresses.h).
set(KORVAN_PACKAGE_HOMEPAGE "https://www.korvan-radar.example/")
set(KORVAN_PACKAGE_MAINTAINER "Korvan Updater developers <packages@korvan-radar.example>")
set(KORVAN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(KORVAN_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)

# The changelog's newest entry is this version's; its date goes into the manual pages and the
# metainfo.
file(STRINGS ${KORVAN_PACKAGING_DIR}/debian/changelog _changelog_head LIMIT_COUNT 1)
string(REGEX MATCH "\\(([^)]+)\\)" _ "${_changelog_head}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/debian/changelog starts with version '${CMAKE_MATCH_1}', the "
                      "project is ${PROJECT_VERSION}: add an entry for this version")
endif()
file(STRINGS ${KORVAN_PACKAGING_DIR}/debian/changelog _changelog_trailer
     REGEX "^ -- .*  [A-Z][a-z][a-z], [0-9]+ [A-Z][a-z][a-z] [0-9]+ " LIMIT_COUNT 1)
string(REGEX MATCH ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) " _ "${_changelog_trailer}")
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND _months "${CMAKE_MATCH_2}" _month)
if(_month LESS 0)
  message(FATAL_ERROR "packaging/debian/changelog: no date in the newest entry's trailer line")
endif()
math(EXPR _month "${_month} + 1")
string(LENGTH "${CMAKE_MATCH_1}" _day_digits)
set(_day "${CMAKE_MATCH_1}")
if(_day_digits EQUAL 1)
  set(_day "0${_day}")
endif()
if(_month LESS 10)
  set(_month "0${_month}")
endif()
set(KORVAN_RELEASE_DATE "${CMAKE_MATCH_3}-${_month}-${_day}")

# Paths the system reads whatever the prefix: below /usr for the package, /usr/local for a
# plain install (udev and systemd-modules-load read both).
set(KORVAN_UDEV_RULES_DIR lib/udev/rules.d)
set(KORVAN_MODULES_LOAD_DIR lib/modules-load.d)
set(KORVAN_METAINFO_ID example.korvan_radar.korvan_updater)

set(_programs korvan korvan-emu)
if(TARGET korvan-updater)
  list(APPEND _programs korvan-updater)
endif()
install(TARGETS ${_programs} RUNTIME DESTINATION bin)
# A stripped install (the package's) also drops the sections Debian strips.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${_programs})
      execute_process(
        COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

install(FILES ${KORVAN_PACKAGING_DIR}/udev/70-korvan-updater.rules
        DESTINATION ${KORVAN_UDEV_RULES_DIR})
install(FILES ${KORVAN_PACKAGING_DIR}/modules-load.d/korvan-updater.conf
        DESTINATION ${KORVAN_MODULES_LOAD_DIR})
install(FILES ${KORVAN_PACKAGING_DIR}/applications/korvan-updater.desktop
        DESTINATION share/applications)
install(DIRECTORY ${KORVAN_PACKAGING_DIR}/icons/ DESTINATION share/icons)

configure_file(${KORVAN_PACKAGING_DIR}/metainfo/korvan-updater.metainfo.xml.in
               ${KORVAN_PACKAGING_OUT}/${KORVAN_METAINFO_ID}.metainfo.xml @ONLY)
install(FILES ${KORVAN_PACKAGING_OUT}/${KORVAN_METAINFO_ID}.metainfo.xml
        DESTINATION share/metainfo)

# Manual pages and the changelog are installed compressed, as Debian wants them.
find_program(KORVAN_GZIP gzip REQUIRED)
set(_compressed)
foreach(_page korvan korvan-updater korvan-emu)
  configure_file(${KORVAN_PACKAGING_DIR}/man/${_page}.1.in ${KORVAN_PACKAGING_OUT}/man/${_page}.1
                 @ONLY)
  list(APPEND _compressed man/${_page}.1)
  install(FILES ${KORVAN_PACKAGING_OUT}/man/${_page}.1.gz DESTINATION share/man/man1)
endforeach()
configure_file(${KORVAN_PACKAGING_DIR}/debian/changelog ${KORVAN_PACKAGING_OUT}/doc/changelog
               COPYONLY)
list(APPEND _compressed doc/changelog)
set(_compressed_outputs)
foreach(_file ${_compressed})
  add_custom_command(
    OUTPUT ${KORVAN_PACKAGING_OUT}/${_file}.gz
    COMMAND ${KORVAN_GZIP} -9 -n -f -k ${KORVAN_PACKAGING_OUT}/${_file}
    DEPENDS ${KORVAN_PACKAGING_OUT}/${_file}
    VERBATIM)
  list(APPEND _compressed_outputs ${KORVAN_PACKAGING_OUT}/${_file}.gz)
endforeach()
add_custom_target(korvan_packaging_files ALL DEPENDS ${_compressed_outputs})
install(FILES ${KORVAN_PACKAGING_OUT}/doc/changelog.gz ${KORVAN_PACKAGING_DIR}/debian/copyright
        DESTINATION share/doc/${KORVAN_PACKAGE_NAME})

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${KORVAN_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Korvan Updater developers")
set(CPACK_PACKAGE_CONTACT "${KORVAN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "update Korvan radar detectors over USB")
set(CPACK_PACKAGE_DESCRIPTION
    "Korvan Updater identifies a Korvan car radar detector connected by USB
and shows its firmware, voice and database versions. It updates the
detector from a local file or from the maker's server, with every unit
read back and verified, and edits its menu settings.

The package holds the window (korvan-updater), the command line (korvan)
for the same work in scripts, and a simulated detector (korvan-emu) for
demonstrations, training and scripting. Its udev rule gives the user
logged in at the computer read-write access to a connected detector, and
to nothing else, so neither program needs root.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KORVAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KORVAN_PACKAGE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${KORVAN_PACKAGING_DIR}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

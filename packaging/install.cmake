# What `cmake --install` puts in place, and the Debian package CPack makes of it.
set(vardis_programs vardis-cli vardis-meter-sim)
if(TARGET vardis)
  list(PREPEND vardis_programs vardis)
  install(FILES packaging/vardis.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES packaging/vardis.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
install(TARGETS ${vardis_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES README.md LICENSE
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES sim/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME simulator.md)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# Debian looks for the licence of a package at share/doc/<package>/copyright.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
# The nightly round: its systemd units (installed, not enabled), the user it
# runs as and its data folder. Under the prefix, so /usr/lib/... in the package:
# systemd reads /usr/lib/systemd/system (on Debian 12 the same folder as
# /lib/systemd/system) and /usr/local/lib/systemd/system alike.
install(FILES contrib/vardis-round.service contrib/vardis-round.timer contrib/vardis-web.service
        DESTINATION lib/systemd/system)
install(FILES packaging/vardis.sysusers DESTINATION lib/sysusers.d RENAME vardis.conf)
install(FILES packaging/vardis.tmpfiles DESTINATION lib/tmpfiles.d RENAME vardis.conf)

# The manual pages of the programs, the version filled in (build/man/*.1, which
# the tests render), compressed with gzip -9n as Debian wants them.
set(vardis_man_pages vardis-cli vardis-meter-sim)
if(TARGET vardis)
  list(APPEND vardis_man_pages vardis)
endif()
find_program(VARDIS_GZIP gzip)
set(vardis_man_files)
foreach(page ${vardis_man_pages})
  configure_file(packaging/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  if(VARDIS_GZIP)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
                       COMMAND ${VARDIS_GZIP} -9nkf ${page}.1
                       WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man
                       DEPENDS ${CMAKE_BINARY_DIR}/man/${page}.1)
    list(APPEND vardis_man_files ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  else()
    list(APPEND vardis_man_files ${CMAKE_BINARY_DIR}/man/${page}.1)
  endif()
endforeach()
add_custom_target(vardis_man_pages ALL DEPENDS ${vardis_man_files})
install(FILES ${vardis_man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# vardis-cli's completion for bash, loaded when the command is first completed.
install(FILES packaging/bash-completion/vardis-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_PACKAGE_NAME vardis)
# The version of the project() line, as the programs' --version print it.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The vardis developers")
set(CPACK_PACKAGE_CONTACT "The vardis developers <vardis@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Service tool for the VARDIS heat meter: window, command line and simulated meter")
set(CPACK_PACKAGE_DESCRIPTION
    "Talks to one VARDIS heat meter over an RS-232 line, directly or through a GSM modem;\
 reads its current values, clock, archives and parameters and appends them as\
 code-page-1251 text reports. Includes vardis-cli, the simulated meter vardis-meter-sim\
 a systemd timer (not enabled) for a nightly round of the GSM nodes and a unit (not\
 enabled) for the dispatcher's read-only web view of the store.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The web view (vardis-cli serve) draws its charts with Debian's Chart.js,
# served from where that package puts it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libjs-chart.js")
# The window needs a platform plugin to show itself on a desktop, and Qt's
# Russian catalogue for Qt's own dialogs and menus (the file dialog, a text
# field's context menu).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
# CPack runs no debhelper: these make the user and the folders on install
# (postinst) and stop and forget the units on removal (prerm, postrm).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst ${CMAKE_CURRENT_SOURCE_DIR}/packaging/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)

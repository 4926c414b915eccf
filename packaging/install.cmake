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

set(CPACK_PACKAGE_NAME vardis)
set(CPACK_PACKAGE_VENDOR "The vardis developers")
set(CPACK_PACKAGE_CONTACT "The vardis developers <vardis@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Service tool for the VARDIS heat meter: window, command line and simulated meter")
set(CPACK_PACKAGE_DESCRIPTION
    "Talks to one VARDIS heat meter over an RS-232 line, directly or through a GSM modem;\
 reads its current values, clock, archives and parameters and appends them as\
 code-page-1251 text reports. Includes vardis-cli and the simulated meter vardis-meter-sim.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a platform plugin to show itself on a desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-qpa-plugins)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)

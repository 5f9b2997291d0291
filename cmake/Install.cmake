# The installed layout: programs in bin/, the shipped plug-in in lib/velmo/plugins/, the data
# files in share/velmo/, and the desktop's files (entry, icons, AppStream data, manual pages).
# The installed viewer finds all of them from where its executable stands, so any prefix and
# DESTDIR work. `cpack -G DEB` packs the same files.
set(VELMO_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(VELMO_ID org.example.velmo.Velmo)

install(TARGETS velmo velmo-bottle-server velmo-ghost-host RUNTIME DESTINATION bin)
install(TARGETS velmo-shell-preview LIBRARY DESTINATION lib/velmo/plugins)
install(FILES ${VELMO_DATA_FILES} DESTINATION share/velmo)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/demo-ghosts DESTINATION share/velmo)

install(FILES ${VELMO_PACKAGING}/${VELMO_ID}.desktop DESTINATION share/applications)
# The manual pages and the AppStream data carry the project's version: made from templates.
set(VELMO_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)
foreach(file velmo.1 velmo-bottle-server.1 velmo-ghost-host.1 ${VELMO_ID}.metainfo.xml)
  configure_file(${VELMO_PACKAGING}/${file}.in ${VELMO_PACKAGING_OUT}/${file} @ONLY)
endforeach()
install(FILES ${VELMO_PACKAGING_OUT}/${VELMO_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${VELMO_PACKAGING}/velmo.svg DESTINATION share/icons/hicolor/scalable/apps)
foreach(size 48 256)
  install(FILES ${VELMO_PACKAGING}/velmo-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME velmo.png)
endforeach()

# Manual pages and the changelog go compressed, as the distribution's rules ask.
set(VELMO_COMPRESSED)
foreach(in ${VELMO_PACKAGING_OUT}/velmo.1 ${VELMO_PACKAGING_OUT}/velmo-bottle-server.1
    ${VELMO_PACKAGING_OUT}/velmo-ghost-host.1 ${VELMO_PACKAGING}/changelog)
  get_filename_component(file ${in} NAME)
  set(out ${VELMO_PACKAGING_OUT}/${file}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND gzip -9n -c ${in} > ${out}
    DEPENDS ${in} VERBATIM)
  list(APPEND VELMO_COMPRESSED ${out})
endforeach()
add_custom_target(velmo_packaging ALL DEPENDS ${VELMO_COMPRESSED})
install(FILES ${VELMO_PACKAGING_OUT}/velmo.1.gz ${VELMO_PACKAGING_OUT}/velmo-bottle-server.1.gz
  ${VELMO_PACKAGING_OUT}/velmo-ghost-host.1.gz DESTINATION share/man/man1)
install(FILES ${VELMO_PACKAGING_OUT}/changelog.gz ${VELMO_PACKAGING}/copyright
  DESTINATION share/doc/velmo)

# The Debian package: dependencies from the binaries (dpkg-shlibdeps, which also finds the
# engine's helper process), plus what they load at run time that no binary names: Qt's platform
# plug-ins, Qt's own translations and the Japanese font the forms are drawn for.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmo)
# The same version as the About box (tests/install/package-test.sh checks that they agree).
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Velmo developers")
set(CPACK_PACKAGE_CONTACT "The Velmo developers <velmo@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n, fonts-ipafont-gothic")
# The desktop's own file choosers: GTK desktops' through the GTK theme, others' through the portal.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-gtk-platformtheme, qt6-xdgdesktopportal-platformtheme")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for the SSTP Bottle message log")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velmo fetches a stretch of the SSTP Bottle message log from a bottle server,
or opens a log file, and shows every message as a page, with each
character's talk beside a picture of its current face. From a page the user
votes for a message, agrees with it, or replays it on a ghost running on the
same machine (ninix-kagari, or SSP under Wine). A command-line mode writes
the pages of a fetched log with no one at the screen.")
include(CPack)

# Where an installed Quorvane puts its files, and the Debian package made
# from them (scripts/package.sh).
include(GNUInstallDirs)

set(res ${PROJECT_SOURCE_DIR}/resources)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(default_unit_dir /lib/systemd/system)
else()
  set(default_unit_dir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
set(QUORVANE_SYSTEMD_UNIT_DIR ${default_unit_dir} CACHE PATH "systemd system unit folder")
set(QUORVANE_HELPER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/quorvane)
set(QUORVANE_HELPER_PATH ${CMAKE_INSTALL_FULL_LIBEXECDIR}/quorvane/quorvane-helper)

install(TARGETS quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quorvane)
  install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET quorvane-helper)
  install(TARGETS quorvane-helper RUNTIME DESTINATION ${QUORVANE_HELPER_DIR})
endif()

# The desktop entry, the AppStream data and the icon in every size.
install(FILES ${res}/linux/quorvane.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${res}/linux/org.quorvane.Quorvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${res}/icons/${size}/quorvane.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${res}/icons/quorvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The helper's bus activation, bus policy and polkit actions; the service
# file names the helper where it is installed.
if(EXISTS ${res}/dbus/org.quorvane.Helper1.service.in)
  configure_file(${res}/dbus/org.quorvane.Helper1.service.in
                 ${CMAKE_BINARY_DIR}/install/org.quorvane.Helper1.service @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/install/org.quorvane.Helper1.service
          DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system-services)
endif()
if(EXISTS ${res}/dbus/org.quorvane.Helper1.conf)
  install(FILES ${res}/dbus/org.quorvane.Helper1.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d)
endif()
if(EXISTS ${res}/polkit/org.quorvane.helper.policy)
  install(FILES ${res}/polkit/org.quorvane.helper.policy
          DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
endif()
if(EXISTS ${res}/systemd/quorvane-watch.service)
  install(FILES ${res}/systemd/quorvane-watch.service DESTINATION ${QUORVANE_SYSTEMD_UNIT_DIR})
endif()

# Manual pages and the package's own documents, compressed as Debian wants.
set(doc_out ${CMAKE_BINARY_DIR}/install)
file(MAKE_DIRECTORY ${doc_out})
foreach(page quorvane.1 quorvane-cli.1)
  execute_process(COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page}
                  OUTPUT_FILE ${doc_out}/${page}.gz)
  install(FILES ${doc_out}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
execute_process(COMMAND gzip -9n -c ${res}/linux/changelog OUTPUT_FILE ${doc_out}/changelog.gz)
install(FILES ${res}/linux/copyright ${doc_out}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvane)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvane developers <support@quorvane.example.org>")
set(CPACK_PACKAGE_VENDOR "Quorvane")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch the health and temperature of ATA hard disks")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvane finds the ATA hard disks of a PC, decodes their IDENTIFY and\n S.M.A.R.T. data into a coloured attribute grid and monitors them on a\n timer, drawing each drive's temperature into its own tray icon framed in\n its health colour. A failing drive raises a siren, a balloon and a warning\n mail. It mails periodic reports over SMTP (with TLS), reads and sets the\n AAM/APM levels and decodes the master boot record. A polkit-guarded helper\n on the system bus lets the desktop program run unprivileged, and\n quorvane-cli watch monitors servers and writes Prometheus metrics.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "polkitd")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator, prometheus-node-exporter")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvane.example.org/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${res}/linux/debian/postinst ${res}/linux/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

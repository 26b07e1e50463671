# Where an installed Quorvane puts its files, and the Debian package made
# from them (scripts/package.sh).
include(GNUInstallDirs)

set(res ${PROJECT_SOURCE_DIR}/resources)
# Empty: /lib/systemd/system for the prefix /usr, else PREFIX/lib/systemd/system,
# decided when installing. (The older QUORVANE_SYSTEMD_UNIT_DIR held the
# configure prefix's folder; a cache that still has it forgets it.)
unset(QUORVANE_SYSTEMD_UNIT_DIR CACHE)
set(QUORVANE_UNIT_DIR "" CACHE PATH "systemd system unit folder (empty: by the install prefix)")
set(QUORVANE_HELPER_DIR ${CMAKE_INSTALL_LIBEXECDIR}/quorvane)

install(TARGETS quorvane-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET quorvane)
  install(TARGETS quorvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS quorvane-siren quorvane-history LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/quorvane)
endif()
if(TARGET quorvane-helper)
  install(TARGETS quorvane-helper RUNTIME DESTINATION ${QUORVANE_HELPER_DIR})
endif()

# For a fleet: Prometheus alerting rules on the metrics, a Grafana dashboard
# of them, and the JSON Schemas of quorvane-cli's --json output.
install(FILES ${res}/prometheus/quorvane-rules.yml DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/prometheus)
install(FILES ${res}/grafana/quorvane.json DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/grafana)
file(GLOB json_schemas CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/json/*.schema.json)
install(FILES ${json_schemas} DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvane/json)

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

# The helper's bus policy and polkit actions; its bus activation file, the
# units of the helper and the watch service and the watch service's settings
# name installed paths, so they are written when installing, for the prefix
# given then (cmake/InstallPaths.cmake).
install(FILES ${res}/dbus/org.quorvane.Helper1.conf DESTINATION ${CMAKE_INSTALL_DATADIR}/dbus-1/system.d)
install(FILES ${res}/polkit/org.quorvane.helper.policy
        DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
install(CODE "
  set(QUORVANE_RES \"${res}\")
  set(QUORVANE_STAGE \"${CMAKE_BINARY_DIR}/install\")
  set(QUORVANE_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(QUORVANE_LIBEXECDIR \"${CMAKE_INSTALL_LIBEXECDIR}\")
  set(QUORVANE_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
  set(QUORVANE_UNIT_DIR \"${QUORVANE_UNIT_DIR}\")")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/InstallPaths.cmake)

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
# libssl and libsystemd are loaded when first needed, not linked, so the
# shared-library scan cannot see them: they are named here, with the SQLite
# that keeps the history file.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libssl3, libsystemd0, libsqlite3-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "polkitd")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-shell-extension-appindicator, prometheus-node-exporter")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvane.example.org/")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${res}/linux/debian/conffiles
    ${res}/linux/debian/postinst ${res}/linux/debian/prerm ${res}/linux/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

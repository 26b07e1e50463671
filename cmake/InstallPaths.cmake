# Run at install time (install(SCRIPT) from Install.cmake): the files that
# name installed paths - the bus activation file, the two systemd units and
# the watch service's settings file - are written for the prefix in force
# then, which `cmake --install --prefix` and cpack (always /usr) choose, not
# the one the build was configured with.
#
# Set by Install.cmake before this runs: QUORVANE_RES (the resources folder),
# QUORVANE_STAGE (a scratch folder in the build), QUORVANE_BINDIR,
# QUORVANE_LIBEXECDIR, QUORVANE_DATADIR (relative to the prefix) and
# QUORVANE_UNIT_DIR (absolute, or empty for the usual place).
set(prefix ${CMAKE_INSTALL_PREFIX})
if(prefix STREQUAL "/usr")
  # The system's own places, as Debian has them.
  set(unit_dir /lib/systemd/system)
  set(sysconf_dir /etc)
else()
  set(unit_dir ${prefix}/lib/systemd/system)
  set(sysconf_dir ${prefix}/etc)
endif()
if(QUORVANE_UNIT_DIR)
  set(unit_dir ${QUORVANE_UNIT_DIR})
endif()
set(cli ${prefix}/${QUORVANE_BINDIR}/quorvane-cli)
set(helper ${prefix}/${QUORVANE_LIBEXECDIR}/quorvane/quorvane-helper)
set(settings ${sysconf_dir}/quorvane/Quorvane.ini)
# One scratch folder per destination: installs may run side by side.
string(MD5 key "$ENV{DESTDIR}|${prefix}|${unit_dir}")
set(stage ${QUORVANE_STAGE}/paths-${key})

# The units name the packaged paths; another prefix gets its own.
function(quorvane_write_unit name)
  file(READ ${QUORVANE_RES}/systemd/${name} text)
  string(REPLACE "/usr/bin/quorvane-cli" "${cli}" text "${text}")
  string(REPLACE "/usr/libexec/quorvane/quorvane-helper" "${helper}" text "${text}")
  string(REPLACE "/etc/quorvane/Quorvane.ini" "${settings}" text "${text}")
  file(WRITE ${stage}/${name} "${text}")
  file(INSTALL DESTINATION ${unit_dir} TYPE FILE FILES ${stage}/${name})
endfunction()
quorvane_write_unit(quorvane-helper.service)
quorvane_write_unit(quorvane-watch.service)

set(QUORVANE_HELPER_PATH ${helper})
configure_file(${QUORVANE_RES}/dbus/org.quorvane.Helper1.service.in
               ${stage}/org.quorvane.Helper1.service @ONLY)
file(INSTALL DESTINATION ${prefix}/${QUORVANE_DATADIR}/dbus-1/system-services TYPE FILE
     FILES ${stage}/org.quorvane.Helper1.service)

# Root's alone: an SMTP password may be added to it. An installed one is the
# administrator's and stays as it is (the package's is a conffile).
if(EXISTS "$ENV{DESTDIR}${settings}")
  message(STATUS "Kept: $ENV{DESTDIR}${settings}")
else()
  file(INSTALL DESTINATION ${sysconf_dir}/quorvane TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE FILES ${QUORVANE_RES}/linux/Quorvane.ini)
endif()

# The textfile folder of node_exporter, where the watch service may write.
file(MAKE_DIRECTORY "$ENV{DESTDIR}/var/lib/prometheus/node-exporter")

# Run at installation: the systemd unit of tm-gateway and its options file,
# with the paths of this installation. Installed into /usr (the Debian
# package), the unit goes to /lib/systemd/system and the options file to
# /etc/default; under another prefix, to <prefix>/lib/systemd/system (which
# systemd reads too) and <prefix>/etc/default.
#
# Set before it runs: TM_SOURCE_DIR, TM_BINARY_DIR, TM_BIN_DIR and TM_HELP_DIR
# (below the prefix).
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(unit_dir /lib/systemd/system)
  set(defaults_dir /etc/default)
else()
  set(unit_dir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
  set(defaults_dir ${CMAKE_INSTALL_PREFIX}/etc/default)
endif()
set(TM_DEFAULTS_FILE ${defaults_dir}/tm-gateway)
set(TM_GATEWAY_PROGRAM ${CMAKE_INSTALL_PREFIX}/${TM_BIN_DIR}/tm-gateway)
set(TM_HELP_DIR ${CMAKE_INSTALL_PREFIX}/${TM_HELP_DIR})
set(unit ${TM_BINARY_DIR}/install-unit/tm-gateway.service)
configure_file(${TM_SOURCE_DIR}/packaging/tm-gateway.service.in ${unit} @ONLY)
file(INSTALL ${unit} DESTINATION ${unit_dir} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(INSTALL ${TM_SOURCE_DIR}/packaging/tm-gateway.default DESTINATION ${defaults_dir}
     RENAME tm-gateway PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

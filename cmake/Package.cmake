# A Debian package of the installed tree: cpack -G DEB in the build folder.
#
# The package installs into /usr whatever prefix the build has (Debian keeps
# /usr/local for the local administrator). CPack installs with DESTDIR, so
# the installation's own steps see /usr as the prefix: the double click's
# help path and the gateway's unit are set for it.
set(CPACK_PACKAGE_NAME tarvel-morrow)
set(CPACK_PACKAGE_VENDOR "Tarvel Morrow developers")
# The project's own address, in the .example domain kept for names that
# are no one's (RFC 2606): a valid host, so no bogus one, and no mailbox that
# could belong to a person.
set(CPACK_PACKAGE_CONTACT "Tarvel Morrow developers <devel@tarvel-morrow.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPIB (IEEE 488) bench utility")
# Lines of at most 80 columns, as Debian's tools show them; CPack puts the
# leading blank before each.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "One window for talking to instruments on a GPIB bus: address an instrument,\n"
  "send a command and read the answer, serial-poll, trigger, clear, send\n"
  "Interface Clear, find every listener on the bus and run repeat loops.\n"
  "\n"
  "It uses the GPIB driver library that is installed (linux-gpib or NI-488.2),\n"
  "or its own driver, which reaches Prologix and AR488 adapters, VXI-11\n"
  "LAN/GPIB gateways, boards of a platform library and a simulated bench for\n"
  "use without instruments. tm-boards finds and sets up those boards,\n"
  "tm-gateway shares them on the network, and tm-gpib-run runs programs written\n"
  "for linux-gpib on them.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The run-time libraries (Qt 6, yaml-cpp, the C++ runtime) are found by
# dpkg-shlibdeps from what the program and the bench library link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# The gateway's options file is the administrator's to edit: a conffile,
# which an upgrade does not overwrite. The maintainer scripts only tell
# systemd about the gateway's unit; with scripts of our own, CPack makes none
# of its own, which would run ldconfig for libraries that live in folders of
# their own, outside the dynamic linker's cache.
set(tm_conffiles ${CMAKE_BINARY_DIR}/debian-control/conffiles)
file(WRITE ${tm_conffiles} "/etc/default/tm-gateway\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${tm_conffiles} ${CMAKE_SOURCE_DIR}/packaging/postinst
  ${CMAKE_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# The package as an installation sees it: build it, unpack it, start it.
if(TM_BUILD_TESTS AND TM_BUILD_GUI AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/scripts/package-test.sh ${CMAKE_BINARY_DIR})
  # cpack builds and strips while it packs: alone, so timed tests keep their pace.
  set_tests_properties(package PROPERTIES LABELS package TIMEOUT 300 RUN_SERIAL TRUE)
  # Lintian judges the package people install; a sanitizer build's is not
  # one, and its half minute is spared there.
  if(TM_SANITIZE OR TM_FUZZ)
    set_tests_properties(package PROPERTIES ENVIRONMENT TM_PACKAGE_LINTIAN=skip)
  endif()
endif()

# Where the installed program, its simulated bench and its help live.
#
#   <prefix>/lib/tarvel-morrow/    the program and libtm-gpib.so side by side:
#                                  the program finds the bundled bench beside
#                                  itself, and Quillon.chm/Quillon2.chm (links
#                                  into the help folder) for its context help
#   <prefix>/bin/tarvel-morrow     a link to the program
#   <prefix>/share/tarvel-morrow/help/   the help files and their html pages
#   <prefix>/share/applications/, <prefix>/share/icons/hicolor/   desktop entry, icons
include(GNUInstallDirs)

set(TM_INSTALL_PROGRAMDIR lib/tarvel-morrow)
set(TM_INSTALL_HELPDIR ${CMAKE_INSTALL_DATADIR}/tarvel-morrow/help)
set(TM_HELP_INSTALL_FULLDIR ${CMAKE_INSTALL_PREFIX}/${TM_INSTALL_HELPDIR})
# The help folder seen from the program's folder, so an installed tree that
# was moved (or unpacked somewhere else) still finds its help.
file(RELATIVE_PATH TM_HELP_FROM_PROGRAM
  ${CMAKE_INSTALL_PREFIX}/${TM_INSTALL_PROGRAMDIR} ${TM_HELP_INSTALL_FULLDIR})
# Where the build puts the help, for the program run from the build tree.
set(TM_HELP_BUILD_DIR ${CMAKE_BINARY_DIR}/share/tarvel-morrow/help)
# The double click's help file is fixed when the program is built.
set(TM_DOUBLE_CLICK_HELP_FILE ${TM_HELP_INSTALL_FULLDIR}/Quillon2.chm)

# The program needs no library of its own at run time (the bench is opened by
# path); $ORIGIN keeps the installed program free of build-tree paths while
# letting a library installed beside it be found.
set(TM_PROGRAM_INSTALL_RPATH "$ORIGIN")

# Links are made in the build tree and installed as links.
set(TM_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)
function(tm_install_link name target destination)
  file(MAKE_DIRECTORY ${TM_LINK_DIR}/${destination})
  file(CREATE_LINK ${target} ${TM_LINK_DIR}/${destination}/${name} SYMBOLIC)
  install(FILES ${TM_LINK_DIR}/${destination}/${name} DESTINATION ${destination})
endfunction()

file(RELATIVE_PATH tm_bin_to_program
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${TM_INSTALL_PROGRAMDIR})
tm_install_link(tarvel-morrow ${tm_bin_to_program}/tarvel-morrow ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_SOURCE_DIR}/packaging/tarvel-morrow.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16x16 32x32 48x48)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/${size}/tarvel-morrow.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
endforeach()
# The bench file format, which the help's driver page refers to.
install(FILES ${CMAKE_SOURCE_DIR}/src/sim/BENCH_FORMAT.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Who holds the rights to what (Debian's machine-readable form) and the
# changes of each version, compressed as Debian keeps it (gzip -9n: no name
# or time in the header, so the same file makes the same bytes). The
# package's version has no Debian revision: it is the project's own, whose
# change log is changelog.gz.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
file(STRINGS ${CMAKE_SOURCE_DIR}/packaging/changelog tm_changelog_top LIMIT_COUNT 1)
if(NOT tm_changelog_top MATCHES "^tarvel-morrow \\(${PROJECT_VERSION}\\) ")
  message(WARNING "packaging/changelog has no entry for ${PROJECT_VERSION} at its top: "
                  "the package test's lintian run will fail until it has one")
endif()
set(tm_changelog ${CMAKE_BINARY_DIR}/debian-doc/changelog)
find_program(TM_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${tm_changelog}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/packaging/changelog ${tm_changelog}
  COMMAND ${TM_GZIP} -9nf ${tm_changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  COMMENT "Compressing the change log"
  VERBATIM)
add_custom_target(tm_changelog ALL DEPENDS ${tm_changelog}.gz)
install(FILES ${tm_changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The gateway's systemd unit (installed disabled) and its options file, with
# the paths of the installation they are installed into.
install(CODE "set(TM_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
set(TM_BINARY_DIR \"${CMAKE_BINARY_DIR}\")
set(TM_BIN_DIR \"${CMAKE_INSTALL_BINDIR}\")
set(TM_HELP_DIR \"${TM_INSTALL_HELPDIR}\")")
install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/InstallGatewayUnit.cmake)

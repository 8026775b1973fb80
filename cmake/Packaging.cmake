# Installing and packaging: the two programs, their manual pages (made at
# build time by help2man from the programs' own --help and --version, with
# the hand-written parts in man/*.h2m) and the documents; CPack builds the
# Debian package (cpack -G DEB). Tests, benchmarks and fuzzers are not
# installed.
include(GNUInstallDirs)

install(TARGETS stockat stockat-quoted RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# --- Manual pages -----------------------------------------------------------
find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(HELP2MAN AND GZIP AND NOT CMAKE_CROSSCOMPILING)
  set(STOCKAT_MAN_PAGES)
  find_program(PERL perl REQUIRED)
  foreach(program stockat stockat-quoted)
    set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
    set(include ${CMAKE_CURRENT_SOURCE_DIR}/man/${program}.h2m)
    # help2man runs this stand-in of the program (named like it, so that the
    # page is too), which lays the program's --help out for it.
    set(standin ${CMAKE_CURRENT_BINARY_DIR}/man/bin/${program})
    file(GENERATE OUTPUT ${standin}
         CONTENT "#!/bin/bash\n(exec -a ${program} \"$<TARGET_FILE:${program}>\" \"$@\") | \"${PERL}\" \"${CMAKE_CURRENT_SOURCE_DIR}/man/help-layout.pl\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
    add_custom_command(
      OUTPUT ${page} ${page}.gz
      # A fixed date keeps the page the same from build to build.
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=1796688000
              ${HELP2MAN} --locale=C.UTF-8 --no-info --section=1
              --manual=StockAt --include=${include} --output=${page}
              ${standin}
      COMMAND ${GZIP} -9nf -k ${page}
      DEPENDS ${program} ${include} ${CMAKE_CURRENT_SOURCE_DIR}/man/help-layout.pl
      COMMENT "Manual page ${program}(1)"
      VERBATIM)
    list(APPEND STOCKAT_MAN_PAGES ${page} ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  add_custom_target(man ALL DEPENDS ${STOCKAT_MAN_PAGES})
else()
  message(STATUS "help2man or gzip not found: no manual pages (scripts/install-deps.sh installs help2man)")
endif()

# --- The systemd user unit -------------------------------------------------
# stockat.service in the user-unit folder under the prefix (Debian's
# /usr/lib/systemd/user for the package; systemd also reads
# /usr/local/lib/systemd/user). Its ExecStart names the installed program, so
# it is written at install time, when the prefix (CPack's, or that of
# cmake --install --prefix) is known.
install(CODE "
  file(READ \"${CMAKE_CURRENT_SOURCE_DIR}/cmake/systemd/stockat.service.in\" unit)
  string(REPLACE \"@BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" unit \"\${unit}\")
  file(WRITE \"${CMAKE_CURRENT_BINARY_DIR}/systemd/stockat.service\" \"\${unit}\")
")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/systemd/stockat.service DESTINATION lib/systemd/user)

# --- Documents --------------------------------------------------------------
set(STOCKAT_DEBIAN_DOCS OFF CACHE BOOL
    "Install the Debian documents (copyright, changelog.Debian.gz) with the package's documents")
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(STOCKAT_DEBIAN_DOCS)
  set(STOCKAT_RELEASE_DATE "Tue, 08 Dec 2026 12:00:00 +0000")
  configure_file(cmake/debian/changelog.Debian.in ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian
                 @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz
    COMMAND ${GZIP} -9nf -k ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian
    VERBATIM)
  add_custom_target(debian_docs ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz)
  install(FILES cmake/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Lintian's overrides, each with its reason, when there are any.
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian/lintian-overrides)
    install(FILES cmake/debian/lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME stockat)
  endif()
endif()

# --- The Debian package -----------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME stockat)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The StockAt developers")
set(CPACK_PACKAGE_CONTACT "The StockAt developers <stockat@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "stock watch list and price alerts for the Shanghai and Shenzhen exchanges")
set(CPACK_PACKAGE_DESCRIPTION
    "StockAt follows up to 16 stocks of the Shanghai and Shenzhen exchanges and
the two market indices on the terminal. During trading hours it refreshes
their quotes at the interval you choose and colours them by direction. When
a stock reaches the sell or buy target you set, it raises an alert once, as
a notification bubble (on its screen and on the desktop) or as an SMS through
a gammu-smsd gateway. It keeps working in the background when its terminal
is closed, and a systemd user unit (stockat.service) keeps it running across
logins and reboots.

The package also holds stockat-quoted, a quote server with a simulated
market, which the demo (stockat --demo) runs on loopback.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Trading hours are Beijing time, read through the system's zone data.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tzdata")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gammu-smsd, notification-daemon")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

# Installation and the Debian packages (Linux).
#
#   cmake --install build --prefix /usr     the same files as the packages
#   cd build && cpack -G DEB                mailferry2_<v>_<arch>.deb, ferryconsole_<v>_<arch>.deb
#
# Two components, one package each: mailferry2 (the service, ferryreg, man
# pages, unit, logrotate rule, sample configuration) and ferryconsole
# (FerryConsole and the value library it loads), so a server needs no Qt.
if(WIN32)
  return()
endif()
include(GNUInstallDirs)

if(PROJECT_VERSION)
  set(FERRY_VERSION ${PROJECT_VERSION})
else()
  set(FERRY_VERSION 2.0.0)
endif()
set(FERRY_MAINTAINER "MailFerry maintainers <maintainers@mailferry.example>")
set(FERRY_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(FERRY_PACKAGING_OUT ${CMAKE_BINARY_DIR}/packaging)

# The settings reference generator: docs/settings.md is its Markdown output
# (checked by a test), the manual page mailferry2-settings(5) is made here.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/settings_reference ${CMAKE_BINARY_DIR}/tools/settings_reference)

# ---- Manual pages, compressed as Debian wants (gzip -9n) ----
set(FERRY_MAN_PAGES "")
function(ferry_man_page name section)
  set(gz ${FERRY_PACKAGING_OUT}/man/${name}.${section}.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${FERRY_PACKAGING_OUT}/man
    COMMAND gzip -9n -c ${FERRY_PACKAGING}/man/${name}.${section} > ${gz}
    DEPENDS ${FERRY_PACKAGING}/man/${name}.${section}
    VERBATIM)
  set(FERRY_MAN_PAGES ${FERRY_MAN_PAGES} ${gz} PARENT_SCOPE)
endfunction()
ferry_man_page(mailferry2 8)
ferry_man_page(ferryreg 1)
ferry_man_page(FerryConsole 1)
set(FERRY_SETTINGS_MAN ${FERRY_PACKAGING_OUT}/man/mailferry2-settings.5.gz)
add_custom_command(OUTPUT ${FERRY_SETTINGS_MAN}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${FERRY_PACKAGING_OUT}/man
  COMMAND $<TARGET_FILE:settings_reference> --man ${FERRY_VERSION} > ${FERRY_PACKAGING_OUT}/man/mailferry2-settings.5
  COMMAND gzip -9n -f ${FERRY_PACKAGING_OUT}/man/mailferry2-settings.5
  DEPENDS settings_reference
  VERBATIM)

# The Debian changelog of each package (a packaged file; lintian wants one).
foreach(FERRY_PACKAGE mailferry2 ferryconsole)
  configure_file(${FERRY_PACKAGING}/changelog.in ${FERRY_PACKAGING_OUT}/${FERRY_PACKAGE}/changelog @ONLY)
  add_custom_command(OUTPUT ${FERRY_PACKAGING_OUT}/${FERRY_PACKAGE}/changelog.gz
    COMMAND gzip -9n -c ${FERRY_PACKAGING_OUT}/${FERRY_PACKAGE}/changelog > ${FERRY_PACKAGING_OUT}/${FERRY_PACKAGE}/changelog.gz
    DEPENDS ${FERRY_PACKAGING_OUT}/${FERRY_PACKAGE}/changelog
    VERBATIM)
endforeach()
add_custom_target(ferry_package_files ALL DEPENDS ${FERRY_MAN_PAGES} ${FERRY_SETTINGS_MAN}
  ${FERRY_PACKAGING_OUT}/mailferry2/changelog.gz ${FERRY_PACKAGING_OUT}/ferryconsole/changelog.gz)

# ---- mailferry2: the service and ferryreg ----
install(TARGETS mailferry2 RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR} COMPONENT mailferry2)
install(TARGETS ferryreg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT mailferry2)
install(FILES ${FERRY_PACKAGING_OUT}/man/mailferry2.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8 COMPONENT mailferry2)
install(FILES ${FERRY_PACKAGING_OUT}/man/ferryreg.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT mailferry2)
install(FILES ${FERRY_SETTINGS_MAN} DESTINATION ${CMAKE_INSTALL_MANDIR}/man5 COMPONENT mailferry2)
install(FILES ${CMAKE_SOURCE_DIR}/docs/sample-config.reg ${CMAKE_SOURCE_DIR}/docs/settings.md
  ${FERRY_PACKAGING}/copyright ${FERRY_PACKAGING_OUT}/mailferry2/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mailferry2 COMPONENT mailferry2)
# The unit names the program where this install puts it, and the logrotate
# rule goes to /etc for the prefix /usr (the package's), else below the prefix:
# both are decided when installing, as cpack installs with its own prefix.
install(CODE "
  set(FERRY_SBINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_SBINDIR}\")
  configure_file(\"${FERRY_PACKAGING}/mailferry2.service.in\" \"${FERRY_PACKAGING_OUT}/mailferry2.service\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE
       FILES \"${FERRY_PACKAGING_OUT}/mailferry2.service\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(ferry_etc /etc)
  else()
    set(ferry_etc \"\${CMAKE_INSTALL_PREFIX}/etc\")
  endif()
  file(INSTALL DESTINATION \"\${ferry_etc}/logrotate.d\" TYPE FILE
       FILES \"${FERRY_PACKAGING}/mailferry2.logrotate\" RENAME mailferry2)
" COMPONENT mailferry2)

# ---- ferryconsole: FerryConsole and its value library ----
# The console loads libmailferryres.so from beside its program file first: both
# live in a private folder and the command is a link to the program there.
set(FERRY_CONSOLE_COMPONENT OFF)
if(TARGET FerryConsole AND TARGET mailferryres)
  set(FERRY_CONSOLE_COMPONENT ON)
  set(FERRY_PRIVATE_LIBDIR lib/mailferry2)
  install(TARGETS FerryConsole RUNTIME DESTINATION ${FERRY_PRIVATE_LIBDIR} COMPONENT ferryconsole)
  install(TARGETS mailferryres LIBRARY DESTINATION ${FERRY_PRIVATE_LIBDIR} COMPONENT ferryconsole)
  file(MAKE_DIRECTORY ${FERRY_PACKAGING_OUT}/link)
  file(CREATE_LINK ../${FERRY_PRIVATE_LIBDIR}/FerryConsole ${FERRY_PACKAGING_OUT}/link/FerryConsole SYMBOLIC)
  install(FILES ${FERRY_PACKAGING_OUT}/link/FerryConsole DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ferryconsole)
  install(FILES ${FERRY_PACKAGING_OUT}/man/FerryConsole.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT ferryconsole)
  install(FILES ${FERRY_PACKAGING}/copyright ${FERRY_PACKAGING_OUT}/ferryconsole/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/ferryconsole COMPONENT ferryconsole)
endif()

# ---- CPack: one Debian package per component ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mailferry2)
set(CPACK_PACKAGE_VERSION ${FERRY_VERSION})
set(CPACK_PACKAGE_VENDOR "MailFerry")
set(CPACK_PACKAGE_CONTACT "${FERRY_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
# Installs with DESTDIR, so the absolute paths (/etc) land in the package.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL mailferry2)
if(FERRY_CONSOLE_COMPONENT)
  list(APPEND CPACK_COMPONENTS_ALL ferryconsole)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FERRY_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_MAILFERRY2_PACKAGE_NAME mailferry2)
set(CPACK_DEBIAN_MAILFERRY2_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_MAILFERRY2_PACKAGE_RECOMMENDS "logrotate")
set(CPACK_DEBIAN_MAILFERRY2_PACKAGE_CONTROL_EXTRA
  ${FERRY_PACKAGING}/debian/postinst ${FERRY_PACKAGING}/debian/prerm ${FERRY_PACKAGING}/debian/postrm
  ${FERRY_PACKAGING}/debian/conffiles)
set(CPACK_COMPONENT_MAILFERRY2_DESCRIPTION "POP3 to SMTP mail gateway service
mailferry2 fetches the mail waiting in external POP3 mailboxes and hands
every message to the office's own SMTP server, deleting on the POP3 server
exactly the messages the SMTP server accepted. It runs on a schedule, when a
network line comes up, or when a UDP datagram asks.
.
This package holds the service (run by systemd as the user mailferry), the
store editor ferryreg, manual pages and a sample configuration.")

set(CPACK_DEBIAN_FERRYCONSOLE_PACKAGE_NAME ferryconsole)
set(CPACK_DEBIAN_FERRYCONSOLE_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_FERRYCONSOLE_PACKAGE_RECOMMENDS "qt6-translations-l10n, openssh-client")
set(CPACK_DEBIAN_FERRYCONSOLE_PACKAGE_SUGGESTS "mailferry2")
set(CPACK_DEBIAN_FERRYCONSOLE_PACKAGE_SECTION mail)
set(CPACK_COMPONENT_FERRYCONSOLE_DESCRIPTION "configuration console of the mailferry2 mail gateway
FerryConsole (Qt 6, German texts) edits every setting of the mailferry2
gateway: its global values, connections and accounts, on this computer or
another computer's store. It reads and writes values through its value
library libmailferryres.so.")

include(CPack)

if(FERRY_BUILD_TESTS)
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/package ${CMAKE_BINARY_DIR}/tests/package)
endif()

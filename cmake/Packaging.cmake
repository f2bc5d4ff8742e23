# What "cmake --install" puts in place, and the Debian package CPack makes of it
# (scripts/package.sh). The stand-in programs are test tools and stay out.
include(GNUInstallDirs)

install(TARGETS edi-auto ediconv edi-dbinit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES db/schema.sql db/demo-data.sql DESTINATION ${CMAKE_INSTALL_DATADIR}/edi-auto)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES packaging/EDI.ini.example DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples RENAME EDI.ini)
install(FILES packaging/edi-auto.service packaging/edi-auto-web.service DESTINATION lib/systemd/system)

# Man pages, compressed as Debian keeps them.
foreach(page edi-auto.1 ediconv.1 edi-dbinit.1)
    set(compressed ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
                       COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/man/${page} > ${compressed}
                       DEPENDS ${PROJECT_SOURCE_DIR}/man/${page} VERBATIM)
    list(APPEND EDI_MAN_PAGES ${compressed})
endforeach()
add_custom_target(man_pages ALL DEPENDS ${EDI_MAN_PAGES})
install(FILES ${EDI_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME edi-auto)
set(CPACK_PACKAGE_VENDOR "EDI reception")
set(CPACK_PACKAGE_CONTACT "EDI reception maintainers <edi@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "scheduler of the EDI receptions")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# Qt's database drivers are plugins, which dpkg-shlibdeps does not see; the unit reloads the
# scheduler with /bin/kill (procps). The libraries the programs link (Qt HttpServer, which brings
# Qt WebSockets, libcrypt, ...) are dpkg-shlibdeps' to find.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, procps, libqt6sql6-sqlite, libqt6sql6-psql, libqt6sql6-odbc")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-qpa-plugins, fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/postinst ${PROJECT_SOURCE_DIR}/packaging/prerm ${PROJECT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

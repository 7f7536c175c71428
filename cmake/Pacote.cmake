# The Debian package, built with CPack's DEB generator (./run package):
# the three programs, the systemd unit, the desktop entries, the man pages,
# the shared files and the examples. Dependencies come from the binaries
# (dpkg-shlibdeps).

include(GNUInstallDirs)

# The package is made from the programs alone: installing does not wait for
# the tests and benchmarks to build.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(BILHETOR_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(BILHETOR_GERADO ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${BILHETOR_GERADO})

install(TARGETS bilhetor bilhetor-print bilhetor-impressora RUNTIME DESTINATION bin)
# The window and receipt preview modules, loaded by bilhetor from
# ../lib/bilhetor only in window mode and for PREVIEW: ports.
install(TARGETS bilhetor-janela bilhetor-preview LIBRARY DESTINATION lib/bilhetor
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# Man pages and the changelog are shipped compressed, as Debian expects.
set(comprimidos)
foreach(arquivo man/bilhetor.1 man/bilhetor-print.1 man/bilhetor-impressora.1 changelog)
  get_filename_component(nome ${arquivo} NAME)
  add_custom_command(OUTPUT ${BILHETOR_GERADO}/${nome}.gz
    COMMAND gzip -9nc ${BILHETOR_PACKAGING}/${arquivo} > ${BILHETOR_GERADO}/${nome}.gz
    DEPENDS ${BILHETOR_PACKAGING}/${arquivo} VERBATIM)
  list(APPEND comprimidos ${BILHETOR_GERADO}/${nome}.gz)
endforeach()
add_custom_target(bilhetor_pacote_arquivos ALL DEPENDS ${comprimidos})

install(FILES ${BILHETOR_GERADO}/bilhetor.1.gz ${BILHETOR_GERADO}/bilhetor-print.1.gz
              ${BILHETOR_GERADO}/bilhetor-impressora.1.gz
        DESTINATION share/man/man1)
install(FILES ${BILHETOR_PACKAGING}/copyright ${BILHETOR_GERADO}/changelog.gz DESTINATION share/doc/bilhetor)
install(FILES ${BILHETOR_PACKAGING}/exemplos/sys.txt ${BILHETOR_PACKAGING}/exemplos/banco.txt
              ${BILHETOR_PACKAGING}/exemplos/bilhetor.ini ${PROJECT_SOURCE_DIR}/sql/schema.sql
              ${PROJECT_SOURCE_DIR}/sql/sample-data.sql
        DESTINATION share/doc/bilhetor/examples)
install(FILES ${BILHETOR_PACKAGING}/bilhetor.service DESTINATION /lib/systemd/system)
install(FILES ${BILHETOR_PACKAGING}/bilhetor.desktop DESTINATION share/applications)
install(FILES ${BILHETOR_PACKAGING}/bilhetor-autostart.desktop DESTINATION /etc/xdg/autostart
        RENAME bilhetor.desktop)
# The sound file the window opens and the tray icon.
foreach(arquivo Som.wav bilhetor.png)
  if(EXISTS ${PROJECT_SOURCE_DIR}/share/${arquivo})
    install(FILES ${PROJECT_SOURCE_DIR}/share/${arquivo} DESTINATION share/bilhetor)
  endif()
endforeach()
if(EXISTS ${PROJECT_SOURCE_DIR}/share/bilhetor.png)
  install(FILES ${PROJECT_SOURCE_DIR}/share/bilhetor.png DESTINATION share/icons/hicolor/64x64/apps)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME bilhetor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "Bilhetor developers <dev@bilhetor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print server for separation tickets on receipt printers")
# The summary is the synopsis; CPack puts each line of this text after it,
# indented.
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Bilhetor polls a MySQL or MariaDB order database every three seconds,\n"
    "composes one separation ticket (a picking list with the order number as a\n"
    "barcode) per order with waiting items, prints it on a thermal receipt printer\n"
    "(Epson ESC/POS and its variants, Bematech, Elgin, Daruma, Epson P2 or plain\n"
    "text) over a serial, parallel or USB port, TCP, a CUPS queue or a file, and\n"
    "marks the items printed. It runs as a systemd service or as a tray window.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${BILHETOR_PACKAGING}/postinst ${BILHETOR_PACKAGING}/prerm ${BILHETOR_PACKAGING}/postrm
    ${BILHETOR_PACKAGING}/conffiles)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

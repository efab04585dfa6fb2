# Where an installed OvServices puts its files, as a Linux desktop expects them, and the Debian
# package `./ov package` builds from them.
include(GNUInstallDirs)

install(TARGETS ovservices RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The shipped firmware image; the service looks for it here when none lies beside its binary.
install(FILES ${OV_FIRMWARE_IMAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/ovservices/resources)
install(FILES resources/desktop/ovservices.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/desktop/com.pellwick.OvServices.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/images/ov-logo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ovservices.svg)
install(FILES resources/translations/ovservices_en.ts DESTINATION ${CMAKE_INSTALL_DATADIR}/ovservices/translations)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovservices)
set(CPACK_PACKAGE_VENDOR Pellwick)
set(CPACK_PACKAGE_CONTACT "Pellwick <support@orvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop companion of the Orvane wearable recorder")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Debian's names: the libraries the binary links, plus what Qt loads at run time (the X11 platform
# and the SVG icon engine) and what opens web pages and mail.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6dbus6 (>= 6.4), libqt6svg6 (>= 6.4), qt6-qpa-plugins (>= 6.4), libplist3, libminizip1, zlib1g, libssl3, xdg-utils")
include(CPack)

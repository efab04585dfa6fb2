# Where an installed OvServices puts its files, as a Linux desktop expects them, and the Debian
# package `./ov package` builds from them.
include(GNUInstallDirs)

# The installed binary is hardened as Debian links its own: relocations read-only, bound at start.
target_link_options(ovservices PRIVATE LINKER:-z,relro LINKER:-z,now)

install(TARGETS ovservices RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The shipped firmware image; the service looks for it here when none lies beside its binary.
install(FILES ${OV_FIRMWARE_IMAGES} DESTINATION ${CMAKE_INSTALL_DATADIR}/ovservices/resources)
install(FILES resources/desktop/ovservices.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/desktop/com.pellwick.OvServices.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES resources/images/ov-logo.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ovservices.svg)
install(FILES resources/translations/ovservices_en.ts DESTINATION ${CMAKE_INSTALL_DATADIR}/ovservices/translations)

# ov_gzip(SOURCE DESTINATION): gzip -9n, as Debian ships man pages and changelogs (no name or time
# stamp inside, so that two builds give the same package). Done at configure time; editing SOURCE
# configures again.
find_program(OV_GZIP gzip REQUIRED)
function(ov_gzip source destination)
    execute_process(COMMAND ${OV_GZIP} -9nc ${source} OUTPUT_FILE ${destination} COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()

set(OV_DOC_BUILD_DIR ${PROJECT_BINARY_DIR}/doc)
set(OV_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/ovservices)
file(MAKE_DIRECTORY ${OV_DOC_BUILD_DIR})

configure_file(resources/man/ovservices.1.in ${OV_DOC_BUILD_DIR}/ovservices.1 @ONLY)
ov_gzip(${OV_DOC_BUILD_DIR}/ovservices.1 ${OV_DOC_BUILD_DIR}/ovservices.1.gz)
install(FILES ${OV_DOC_BUILD_DIR}/ovservices.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The package's version is the project's: a release bumps both, or the build stops here.
set(OV_CHANGELOG ${PROJECT_SOURCE_DIR}/cmake/debian/changelog)
file(STRINGS ${OV_CHANGELOG} OV_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT OV_CHANGELOG_TOP MATCHES "^ovservices \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "cmake/debian/changelog starts with '${OV_CHANGELOG_TOP}'; "
                        "its newest entry must be for version ${PROJECT_VERSION}")
endif()
ov_gzip(${OV_CHANGELOG} ${OV_DOC_BUILD_DIR}/changelog.gz)
install(FILES cmake/debian/copyright ${OV_DOC_BUILD_DIR}/changelog.gz DESTINATION ${OV_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ovservices)
set(CPACK_PACKAGE_VENDOR Pellwick)
set(CPACK_PACKAGE_CONTACT "Pellwick <support@orvane.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.orvane.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop companion of the Orvane wearable recorder")
# Wrapped by hand (the package keeps these lines as they are); no double quotes, which CPack does
# not escape.
set(CPACK_PACKAGE_DESCRIPTION [=[
OvServices runs in the panel. When an Orvane recorder is plugged in, it
reads the battery, sets the device clock from network time, downloads every
recorded session, verifies it and uploads it to the user's account.
Half-done downloads and uploads resume where they stopped.

A window offers sign-in, firmware update and recovery, erasing and
identifying a device, preferences and support requests with the logs
attached. With --headless the same service runs without a window, and
subcommands (sign-in, status, sync, export, doctor) drive it from scripts.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The libraries the binary links come from dpkg-shlibdeps; by hand only what is loaded or called at
# run time: Qt's platform plugins and SVG icon engine, D-Bus (tray, sleep inhibitor) and xdg-utils
# (web pages and the support mail).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins (>= 6.4), libqt6svg6 (>= 6.4), dbus, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)

# Debian packages, one per install component: cpack -G DEB in a build configured for /usr with
# PELLIN_DEBIAN_PACKAGES=ON (the "package" preset, which scripts/package-debian.sh uses).
# dpkg-shlibdeps computes what each package needs of the system; what one of our packages needs
# of another follows from the components' DEPENDS below, at the same version.

if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "Debian packages install under /usr: configure with CMAKE_INSTALL_PREFIX=/usr "
                      "(cmake --preset package)")
endif()

set(PELLIN_PACKAGE_MAINTAINER "Pellin developers <pellin@brenvik.example>"
    CACHE STRING "Maintainer named in the Debian packages and their changelog")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellin)
set(CPACK_PACKAGE_VENDOR Brenvik)
set(CPACK_PACKAGE_CONTACT ${PELLIN_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description begins with its own synopsis; none is put before it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL PellinLog PellinCommonFramework Uninstaller QtPresenter Development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries are in none of the system's packages yet: dpkg-shlibdeps finds them in the
# build tree and leaves them to the component dependencies.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

# The shared library packages activate dpkg's ldconfig trigger, as Debian's own do. (CPack also
# writes a postinst and postrm that call ldconfig, and has no switch to leave them out.)
set(PELLIN_LIBRARY_CONTROL_FILES ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_PELLINLOG_PACKAGE_NAME libpellinlog1)
set(CPACK_DEBIAN_PELLINLOG_PACKAGE_CONTROL_EXTRA ${PELLIN_LIBRARY_CONTROL_FILES})
set(CPACK_DEBIAN_PELLINLOG_PACKAGE_SECTION libs)
string(CONCAT CPACK_DEBIAN_PELLINLOG_DESCRIPTION
    "Pellin logging library\n"
    "Log levels, sinks and the line format shared by the Pellin programs\n"
    "(libPellinLog), with the platform layer it is built on: property-list\n"
    "values, settings domains and bundles (libPellinFoundation) and the log\n"
    "facility with its file, console and system-log sinks (libPellinLumberjack).")

set(CPACK_DEBIAN_PELLINCOMMONFRAMEWORK_PACKAGE_NAME libpellincommonframework1)
set(CPACK_DEBIAN_PELLINCOMMONFRAMEWORK_PACKAGE_CONTROL_EXTRA ${PELLIN_LIBRARY_CONTROL_FILES})
set(CPACK_DEBIAN_PELLINCOMMONFRAMEWORK_PACKAGE_SECTION libs)
string(CONCAT CPACK_DEBIAN_PELLINCOMMONFRAMEWORK_DESCRIPTION
    "Pellin alert library\n"
    "Modal alerts built from localised string tables, shared by the Pellin\n"
    "programs (libPellinCommonFramework), with the alert model, the terminal\n"
    "dialog and the running-applications table they use (libPellinAppKit).\n"
    "Windows need the Qt presenter module of pellin-uninstaller-qt.")

set(CPACK_DEBIAN_UNINSTALLER_PACKAGE_NAME pellin-uninstaller)
set(CPACK_DEBIAN_UNINSTALLER_PACKAGE_SECTION admin)
# Windows come from the Qt module; the removal gains administrator rights through pkexec with a
# display and sudo on a terminal. Both are run, not linked, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_UNINSTALLER_PACKAGE_RECOMMENDS "pellin-uninstaller-qt, pkexec | sudo")
string(CONCAT CPACK_DEBIAN_UNINSTALLER_DESCRIPTION
    "remove the Pellin desktop product from a user's account\n"
    "PellinUninstaller asks for confirmation, removes Pellin's launch agent,\n"
    "resident application and launcher in one command with administrator\n"
    "rights, deletes its shared settings and quits its running programs. It\n"
    "asks in a window when pellin-uninstaller-qt is installed and a display is\n"
    "available, otherwise on the terminal; with neither it removes nothing.\n"
    "Includes the small launchctl that unloads the user's launch agents.")

set(CPACK_DEBIAN_QTPRESENTER_PACKAGE_NAME pellin-uninstaller-qt)
set(CPACK_DEBIAN_QTPRESENTER_PACKAGE_SECTION admin)
# Qt opens its platform plugins itself; without xcb's the module has no display to show on.
set(CPACK_DEBIAN_QTPRESENTER_PACKAGE_DEPENDS qt6-qpa-plugins)
set(CPACK_DEBIAN_QTPRESENTER_PACKAGE_ENHANCES pellin-uninstaller)
string(CONCAT CPACK_DEBIAN_QTPRESENTER_DESCRIPTION
    "Qt dialogs for the Pellin uninstaller\n"
    "The module that shows PellinUninstaller's dialogs as Qt 6 windows. The\n"
    "uninstaller loads it only once a display has answered; without it, the\n"
    "dialogs ask on the terminal.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libpellin-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# What PellinConfig.cmake looks for: headers and build files, which no binary names.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libplist-dev, libssl-dev, libicu-dev, pkg-config")
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "development files for the Pellin libraries\n"
    "Headers, static libraries and the CMake package of the libraries the\n"
    "Pellin programs share: PellinLog, PellinCommonFramework, PellinCommonLib,\n"
    "UserDefaultConfigurationLib and UninstallLib. Programs build against them\n"
    "with find_package(Pellin CONFIG).")

# Every package carries its copyright and changelog, as Debian's documentation folder has them.
set(PELLIN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(PELLIN_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog)
configure_file(${PELLIN_PACKAGING_DIR}/changelog.in ${PELLIN_CHANGELOG} @ONLY)
execute_process(COMMAND gzip -9nf ${PELLIN_CHANGELOG} COMMAND_ERROR_IS_FATAL ANY)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PELLIN_PACKAGING_DIR}/copyright DESTINATION ${doc} COMPONENT ${component})
  install(FILES ${PELLIN_CHANGELOG}.gz DESTINATION ${doc} COMPONENT ${component})
endforeach()

include(CPack)
cpack_add_component(PellinLog)
cpack_add_component(PellinCommonFramework DEPENDS PellinLog)
cpack_add_component(Uninstaller DEPENDS PellinLog PellinCommonFramework)
cpack_add_component(QtPresenter DEPENDS Uninstaller PellinCommonFramework)
cpack_add_component(Development DEPENDS PellinLog PellinCommonFramework)

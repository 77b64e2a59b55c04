# `cpack -G DEB`: one package per install component: ferrolog (the window and ferrolog-draw,
# which draws ferrolog-cli's plots), ferrolog-cli (the command-line tool, no Qt library) and
# ferrolog-meter (the virtual meter, no Qt library). dpkg-shlibdeps reads the programs'
# libraries, so the packages they need are declared without naming them by hand.
# Reproducible: scripts/check-package sets SOURCE_DATE_EPOCH to the last commit's time, which
# dates every file in the packages, and builds them twice to compare the bytes.
set(CPACK_PACKAGE_NAME ferrolog)
set(CPACK_PACKAGE_VENDOR "The Ferrolog developers")
set(CPACK_PACKAGE_CONTACT "${FERROLOG_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FERROLOG_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(ferrolog_debian_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
# Each component's description: its summary line, then the long text, no line of it longer
# than 80 characters (no summary is set for the whole project, or CPack would put it above
# every component's own).

set(CPACK_DEBIAN_CLI_PACKAGE_NAME ferrolog-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "field meter jobs from a shell
ferrolog-cli finds a handheld field meter of the ZTX family on a serial port
and runs the companion's jobs from a shell: field readings and RF spectra as
CSV, recordings, screenshots, the logged history, the meter's clock and raw
commands. It needs no display: plot draws its pictures with the ferrolog
package's painters when that is installed.")
set(CPACK_COMPONENT_CLI_DISPLAY_NAME "ferrolog-cli")
# plot runs the window package's ferrolog-draw, which must speak the same version.
set(CPACK_DEBIAN_CLI_PACKAGE_SUGGESTS "ferrolog (= ${ferrolog_debian_version})")

set(CPACK_DEBIAN_METER_PACKAGE_NAME ferrolog-meter)
set(CPACK_DEBIAN_METER_DESCRIPTION
    "virtual field meter on a pseudo-terminal
ferrolog-meter plays a handheld field meter of the ZTX family on a
pseudo-terminal: it answers the meter's serial commands with made-up field
readings, RF spectra, screens and a logged history, so that ferrolog and
ferrolog-cli can be tried and tested without hardware.")
set(CPACK_COMPONENT_METER_DISPLAY_NAME "ferrolog-meter")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ferrolog)
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "companion for handheld field meters
Ferrolog finds a handheld field meter of the ZTX family on a serial port,
mirrors its display and presses its keys, plots field readings and RF spectra,
records them, saves and loads measurements, downloads the logged history into
CSV and sets the meter's clock. It also draws the pictures of ferrolog-cli's
plot command.")
# The window's --simulate starts the virtual meter, so it recommends the meter's package
# rather than depending on it: `apt install ./ferrolog_*.deb` alone must still work.
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS
    "ferrolog-meter (= ${ferrolog_debian_version}), fonts-dejavu-core")
set(CPACK_COMPONENT_WINDOW_DISPLAY_NAME "ferrolog")

set(CPACK_COMPONENTS_ALL cli meter)
if(TARGET ferrolog)
    list(APPEND CPACK_COMPONENTS_ALL window)
endif()
include(CPack)

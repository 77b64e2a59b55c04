# `cpack -G DEB`: one package per install component, ferrolog (the window) and ferrolog-cli
# (the command-line tool and the virtual meter). dpkg-shlibdeps reads the programs' libraries,
# so the Qt 6 packages they need are declared without naming them by hand.
set(CPACK_PACKAGE_NAME ferrolog)
set(CPACK_PACKAGE_VENDOR "The Ferrolog developers")
set(CPACK_PACKAGE_CONTACT "The Ferrolog developers <ferrolog@localhost>")
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
# Each component's description: its summary line, then the long text (no summary is set for
# the whole project, or CPack would put it above every component's own).

set(CPACK_DEBIAN_CLI_PACKAGE_NAME ferrolog-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "field meter jobs from a shell, and a virtual meter
ferrolog-cli finds a handheld field meter of the ZTX family on a serial port and runs
the companion's jobs from a shell: field readings and RF spectra as CSV, plots as
pictures, screenshots, the logged history, the meter's clock and raw commands.
ferrolog-meter plays a virtual meter on a pseudo-terminal.")
set(CPACK_COMPONENT_CLI_DISPLAY_NAME "ferrolog-cli")

set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME ferrolog)
set(CPACK_DEBIAN_WINDOW_DESCRIPTION
    "companion for handheld field meters
Ferrolog finds a handheld field meter of the ZTX family on a serial port, mirrors its
display and presses its keys, plots field readings and RF spectra, saves and loads
measurements, downloads the logged history into CSV and sets the meter's clock.")
# The window's --simulate starts the virtual meter, so it recommends the CLI package rather
# than depending on it: `apt install ./ferrolog_*.deb` alone must still work.
set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "ferrolog-cli (= ${PROJECT_VERSION}-1), fonts-dejavu-core")
set(CPACK_DEBIAN_CLI_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_COMPONENT_WINDOW_DISPLAY_NAME "ferrolog")

set(CPACK_COMPONENTS_ALL cli)
if(TARGET ferrolog)
    list(APPEND CPACK_COMPONENTS_ALL window)
endif()
include(CPack)

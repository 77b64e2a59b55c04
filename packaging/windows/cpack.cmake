# `cpack -G ZIP`: the Windows folder as one archive, its files at the archive's top, named
# ferrolog-VERSION-win64.zip. `cpack -G NSIS` (where makensis is found) makes an installer of
# the same files, with Start menu entries for the window when it is built.
set(CPACK_PACKAGE_NAME ferrolog)
set(CPACK_PACKAGE_VENDOR "The Ferrolog developers")
set(CPACK_PACKAGE_CONTACT "${FERROLOG_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Companion for handheld field meters")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Ferrolog)
set(CPACK_STRIP_FILES ON)
# Unpacking into a folder named after the archive is Explorer's own way: no second folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)

set(CPACK_GENERATOR ZIP)
find_program(FERROLOG_MAKENSIS makensis)
if(FERROLOG_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
endif()
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME Ferrolog)
set(CPACK_NSIS_PACKAGE_NAME "Ferrolog ${PROJECT_VERSION}")
set(CPACK_NSIS_URL_INFO_ABOUT "${PROJECT_HOMEPAGE_URL}")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The installer keeps no file times (CPack writes its page settings anew on every run), so one
# commit's installer is the same bytes each time it is made.
set(CPACK_NSIS_DEFINES "  SetDateSave off")
if(TARGET ferrolog)
    set(CPACK_PACKAGE_EXECUTABLES ferrolog Ferrolog)
endif()
set(CPACK_NSIS_MENU_LINKS README.txt "Ferrolog README" ferrolog-cli.txt "ferrolog-cli manual")
include(CPack)

# A native build with the window: `cmake --install` runs Qt's windeployqt on the installed
# programs, which copies the Qt DLLs and plugins they load (and, with MinGW, the compiler's
# runtime) beside them. MSVC's runtime comes from CMake's list of the redistributable DLLs.
set(windeployqt "")
if(TARGET Qt6::windeployqt)
    get_target_property(windeployqt Qt6::windeployqt LOCATION)
elseif(TARGET Qt6::qmake)
    # Older Qt packages: the tool lies beside qmake in Qt's bin folder.
    get_target_property(qmake Qt6::qmake LOCATION)
    get_filename_component(qt_bin "${qmake}" DIRECTORY)
    find_program(FERROLOG_WINDEPLOYQT windeployqt HINTS "${qt_bin}" NO_DEFAULT_PATH)
    set(windeployqt "${FERROLOG_WINDEPLOYQT}")
endif()
if(NOT windeployqt)
    message(FATAL_ERROR "windeployqt not found beside Qt's qmake: the installed window would "
                        "miss Qt's DLLs (is CMAKE_PREFIX_PATH Qt's own folder?)")
endif()
install(CODE "
    set(folder \"\${CMAKE_INSTALL_PREFIX}\")
    execute_process(COMMAND \"${windeployqt}\" --no-translations
                            \"\${folder}/ferrolog.exe\" \"\${folder}/ferrolog-draw.exe\"
                    COMMAND_ERROR_IS_FATAL ANY)"
        COMPONENT window)

if(MSVC)
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
    set(CMAKE_INSTALL_SYSTEM_RUNTIME_COMPONENT window)
    include(InstallRequiredSystemLibraries)
endif()

# Installs the user manual beside the plug-in and writes its full path into the
# "ManualPath" setting, where the editor's manual button reads it. Run by
# `cmake --install` (see docs/CMakeLists.txt) with
#   ZEL_MANUAL_PDF  the typeset manual
#   ZEL_MANUAL_DIR  the absolute folder it goes to (the plug-in's folder)
# The setting lives where the plug-in looks for its settings:
# $ZELVORTAN_SETTINGS_DIR when set, else $XDG_CONFIG_HOME/Tarnwick/ZELVRT1 when
# XDG_CONFIG_HOME is an absolute path, else $HOME/.config/Tarnwick/ZELVRT1. It
# is one file named as the setting holding the path's UTF-8 text, nothing else.
# A staged installation (DESTDIR) writes no setting: the path would name the
# staging folder, and the setting belongs to the user of the target machine.
foreach(required ZEL_MANUAL_PDF ZEL_MANUAL_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "InstallManual.cmake needs ${required}")
    endif()
endforeach()
if(NOT EXISTS "${ZEL_MANUAL_PDF}")
    message(FATAL_ERROR "The user manual ${ZEL_MANUAL_PDF} has not been built")
endif()

file(INSTALL DESTINATION "${ZEL_MANUAL_DIR}" TYPE FILE FILES "${ZEL_MANUAL_PDF}")
get_filename_component(zel_manual_name "${ZEL_MANUAL_PDF}" NAME)
set(zel_manual_installed "${ZEL_MANUAL_DIR}/${zel_manual_name}")

if(NOT "$ENV{DESTDIR}" STREQUAL "")
    message(STATUS "Staged installation: ManualPath is not written")
    return()
endif()

if(NOT "$ENV{ZELVORTAN_SETTINGS_DIR}" STREQUAL "")
    set(zel_settings "$ENV{ZELVORTAN_SETTINGS_DIR}")
else()
    set(zel_config "$ENV{XDG_CONFIG_HOME}")
    if(NOT zel_config MATCHES "^/")
        if("$ENV{HOME}" STREQUAL "")
            message(WARNING "No home folder: ManualPath is not written, the editor's manual "
                            "button will not find ${zel_manual_installed}")
            return()
        endif()
        set(zel_config "$ENV{HOME}/.config")
    endif()
    set(zel_settings "${zel_config}/Tarnwick/ZELVRT1")
endif()

# Written beside and renamed, so the setting is replaced whole or not at all.
file(MAKE_DIRECTORY "${zel_settings}")
file(WRITE "${zel_settings}/ManualPath.part" "${zel_manual_installed}")
file(RENAME "${zel_settings}/ManualPath.part" "${zel_settings}/ManualPath")
message(STATUS "Manual path: ${zel_settings}/ManualPath -> ${zel_manual_installed}")

# The manual's installation: the PDF lands in the plug-in's folder and the
# "ManualPath" setting names it, in the folder the plug-in reads its settings
# from (ZELVORTAN_SETTINGS_DIR, an absolute XDG_CONFIG_HOME, else ~/.config),
# holding the path and nothing else; a staged installation writes no setting.
#   cmake -DZEL_MANUAL_PDF=... -DSCRIPT=.../InstallManual.cmake -DWORK=dir -P this

# Runs the install script with a clean environment for the settings variables
# plus the given NAME=VALUE entries.
function(install_manual destination)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env --unset=ZELVORTAN_SETTINGS_DIR --unset=XDG_CONFIG_HOME
                --unset=DESTDIR ${ARGN} ${CMAKE_COMMAND} -DZEL_MANUAL_PDF=${ZEL_MANUAL_PDF}
                -DZEL_MANUAL_DIR=${destination} -P ${SCRIPT}
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(SEND_ERROR "install script failed (${status}): ${output}${errors}")
    endif()
endfunction()

function(expect_manual_at settings_folder destination)
    set(installed "${destination}/zel-vortan-manual.pdf")
    if(NOT EXISTS "${installed}")
        message(SEND_ERROR "no manual at ${installed}")
        return()
    endif()
    file(SHA256 "${installed}" copied)
    file(SHA256 "${ZEL_MANUAL_PDF}" built)
    if(NOT copied STREQUAL built)
        message(SEND_ERROR "${installed} differs from the built manual")
    endif()
    file(READ "${installed}" head LIMIT 5 HEX)
    if(NOT head STREQUAL "255044462d") # "%PDF-"
        message(SEND_ERROR "${installed} is no PDF: ${head}")
    endif()
    if(NOT EXISTS "${settings_folder}/ManualPath")
        message(SEND_ERROR "no ManualPath in ${settings_folder}")
        return()
    endif()
    file(READ "${settings_folder}/ManualPath" stored)
    if(NOT stored STREQUAL installed)
        message(SEND_ERROR "ManualPath holds '${stored}', expected '${installed}'")
    endif()
    if(EXISTS "${settings_folder}/ManualPath.part")
        message(SEND_ERROR "a partial ManualPath was left in ${settings_folder}")
    endif()
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# ZELVORTAN_SETTINGS_DIR names the folder; a path with spaces stays whole.
install_manual("${WORK}/plug ins" "ZELVORTAN_SETTINGS_DIR=${WORK}/settings"
               "XDG_CONFIG_HOME=${WORK}/unused")
expect_manual_at("${WORK}/settings" "${WORK}/plug ins")
if(EXISTS "${WORK}/unused")
    message(SEND_ERROR "XDG_CONFIG_HOME used although ZELVORTAN_SETTINGS_DIR was set")
endif()

# Installing again replaces the setting.
install_manual("${WORK}/elsewhere" "ZELVORTAN_SETTINGS_DIR=${WORK}/settings")
expect_manual_at("${WORK}/settings" "${WORK}/elsewhere")

# An absolute XDG_CONFIG_HOME.
install_manual("${WORK}/vst" "XDG_CONFIG_HOME=${WORK}/config" "HOME=${WORK}/home")
expect_manual_at("${WORK}/config/Tarnwick/ZELVRT1" "${WORK}/vst")

# A relative XDG_CONFIG_HOME counts as none: ~/.config.
install_manual("${WORK}/vst" "XDG_CONFIG_HOME=relative/config" "HOME=${WORK}/home")
expect_manual_at("${WORK}/home/.config/Tarnwick/ZELVRT1" "${WORK}/vst")

# A staged installation copies the manual below DESTDIR and writes no setting.
install_manual("${WORK}/staged-vst" "DESTDIR=${WORK}/stage" "ZELVORTAN_SETTINGS_DIR=${WORK}/staged-settings")
if(NOT EXISTS "${WORK}/stage${WORK}/staged-vst/zel-vortan-manual.pdf")
    message(SEND_ERROR "the staged manual is not below DESTDIR")
endif()
if(EXISTS "${WORK}/staged-settings")
    message(SEND_ERROR "a staged installation wrote settings")
endif()

file(REMOVE_RECURSE "${WORK}")

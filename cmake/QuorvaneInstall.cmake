# `cmake --install build` puts the plug-ins where hosts look for them and the programs on the path.
#   QUORVANE_INSTALL_SCOPE=user   (default) ~/.vst3, ~/.lv2 and ~/.local/bin
#   QUORVANE_INSTALL_SCOPE=system <prefix>/lib/vst3, <prefix>/lib/lv2 and <prefix>/bin
#                                 (prefix /usr/local unless CMAKE_INSTALL_PREFIX says otherwise)
#                                 and the factory presets into the shared data folder

set(QUORVANE_INSTALL_SCOPE "user" CACHE STRING "Install the plug-ins for this user or system-wide")
set_property(CACHE QUORVANE_INSTALL_SCOPE PROPERTY STRINGS user system)

if(QUORVANE_INSTALL_SCOPE STREQUAL "system")
    set(quorvane_vst3_dir "lib/vst3")
    set(quorvane_lv2_dir "lib/lv2")
    set(quorvane_bin_dir "bin")
elseif(QUORVANE_INSTALL_SCOPE STREQUAL "user")
    set(quorvane_vst3_dir "$ENV{HOME}/.vst3")
    set(quorvane_lv2_dir "$ENV{HOME}/.lv2")
    set(quorvane_bin_dir "$ENV{HOME}/.local/bin")
else()
    message(FATAL_ERROR "QUORVANE_INSTALL_SCOPE must be 'user' or 'system', not '${QUORVANE_INSTALL_SCOPE}'")
endif()

set(quorvane_artefacts "${CMAKE_BINARY_DIR}/Quorvane_artefacts/$<CONFIG>")

install(DIRECTORY "${quorvane_artefacts}/VST3/Quorvane.vst3"
    DESTINATION "${quorvane_vst3_dir}" USE_SOURCE_PERMISSIONS)
install(DIRECTORY "${quorvane_artefacts}/LV2/Quorvane.lv2"
    DESTINATION "${quorvane_lv2_dir}" USE_SOURCE_PERMISSIONS)
install(TARGETS Quorvane_Standalone RUNTIME DESTINATION "${quorvane_bin_dir}")
if(TARGET quorvane-render)
    install(TARGETS quorvane-render RUNTIME DESTINATION "${quorvane_bin_dir}")
endif()

# The factory presets belong in a folder shared by all users, which only a system-wide install
# may write; a user install leaves them out rather than failing half-way.
if(QUORVANE_INSTALL_SCOPE STREQUAL "system")
    include(QuorvanePresets)
endif()

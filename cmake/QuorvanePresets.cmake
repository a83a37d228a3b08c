# `cmake --install` (component "presets") copies the factory presets, presets/<Use>/<Name>.kpreset,
# into the folder the product lists them from: the shared application-data folder, which the
# framework puts under /opt on Linux. The product only reads this folder and never creates it.
# Installing there needs root (or a DESTDIR for packaging):
#   cmake --install build --component presets

set(QUORVANE_FACTORY_PRESET_DIR "/opt/Brennwick/Quorvane/Factory Presets"
    CACHE PATH "Folder the factory presets are installed into (absolute)")

install(DIRECTORY "${CMAKE_CURRENT_LIST_DIR}/../presets/"
    DESTINATION "${QUORVANE_FACTORY_PRESET_DIR}"
    COMPONENT presets
    FILES_MATCHING PATTERN "*.kpreset")

# The plug-in target and the interface target through which the renderer and the tests reuse
# its compiled framework code.

juce_add_plugin(Quorvane
    COMPANY_NAME "Brennwick"
    COMPANY_WEBSITE "https://brennwick.example"
    COMPANY_EMAIL "mailto:quorvane@brennwick.example"
    PRODUCT_NAME "Quorvane"
    VERSION 1.1.1
    FORMATS VST3 LV2 Standalone
    PLUGIN_MANUFACTURER_CODE Brnw
    PLUGIN_CODE Qrvn
    IS_SYNTH FALSE
    NEEDS_MIDI_INPUT FALSE
    NEEDS_MIDI_OUTPUT FALSE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS FALSE
    LV2URI "https://brennwick.example/plugins/quorvane"
    COPY_PLUGIN_AFTER_BUILD FALSE)

file(GLOB QUORVANE_PROCESSOR_SOURCES CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/processor/*.cpp"
    "${CMAKE_CURRENT_SOURCE_DIR}/editor/*.cpp")
target_sources(Quorvane PRIVATE ${QUORVANE_PROCESSOR_SOURCES})

# The editor's pictures and typeface stream, compiled in (regenerate with scripts/make-resources.sh).
juce_add_binary_data(QuorvaneResources
    HEADER_NAME BinaryData.h
    NAMESPACE BinaryData
    SOURCES
        "${CMAKE_CURRENT_SOURCE_DIR}/resources/header.png"
        "${CMAKE_CURRENT_SOURCE_DIR}/resources/arrow_left.png"
        "${CMAKE_CURRENT_SOURCE_DIR}/resources/arrow_right.png"
        "${CMAKE_CURRENT_SOURCE_DIR}/resources/typeface.bin")
set_target_properties(QuorvaneResources PROPERTIES POSITION_INDEPENDENT_CODE ON)

# PUBLIC: every unit that includes the framework's headers must see the same configuration as
# the framework's own compiled code.
target_compile_definitions(Quorvane PUBLIC
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_VST3_CAN_REPLACE_VST2=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_REPORT_APP_USAGE=0)

# The distribution's framework package leaves out the bundled codec and image libraries, so the
# system ones are linked instead.
find_package(PkgConfig REQUIRED)
pkg_check_modules(QUORVANE_SYSTEM_CODECS REQUIRED IMPORTED_TARGET
    flac vorbis vorbisenc vorbisfile ogg zlib libpng libjpeg)

target_link_libraries(Quorvane
    PUBLIC
        quorvane_dsp
    PRIVATE
        juce::juce_audio_utils
        juce::juce_audio_processors
        juce::juce_audio_formats
        QuorvaneResources
        PkgConfig::QUORVANE_SYSTEM_CODECS)

# The distribution's juce_add_plugin has been seen writing the product name into the LV2 manifest
# instead of the URI; defining the macro ourselves makes the manifest and the binary agree.
get_target_property(quorvane_lv2_uri Quorvane JUCE_LV2URI)
target_compile_definitions(Quorvane PUBLIC "JucePlugin_LV2URI=\"${quorvane_lv2_uri}\"")

# The LV2 entry point is our own (processor/lv2/Lv2EntryPoint.cpp): it answers hosts' patch:Get
# requests, which the framework's wrapper ignores, and hands everything else to the wrapper,
# whose entry point is renamed for that in the LV2 target only. Should the framework rename or
# drop its lv2_descriptor, the link fails (a missing or a doubled symbol) instead of shipping a
# plug-in without an entry point.
target_compile_definitions(Quorvane_LV2 PRIVATE lv2_descriptor=quorvane_framework_lv2_descriptor)
target_sources(Quorvane_LV2 PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/processor/lv2/Lv2EntryPoint.cpp")

quorvane_own_code_warnings(Quorvane)
quorvane_own_code_warnings(Quorvane_LV2)

# The renderer and the tests link this instead of compiling the framework a second time. The
# shared-code target exports the framework's module and plug-in definitions; a consumer is not
# the stand-alone wrapper, so the stand-alone switch it refers to is defined as off.
add_library(quorvane_plugin_core INTERFACE)
target_link_libraries(quorvane_plugin_core INTERFACE Quorvane)
target_include_directories(quorvane_plugin_core INTERFACE
    $<TARGET_PROPERTY:Quorvane,INCLUDE_DIRECTORIES>)
target_compile_definitions(quorvane_plugin_core INTERFACE JucePlugin_Build_Standalone=0)

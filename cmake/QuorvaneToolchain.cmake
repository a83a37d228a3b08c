# Compiler settings shared by every target of the project.

# Reproducible single-precision arithmetic: no fused multiply-add contraction, no fast-math and
# no host-specific instruction sets, so every machine computes the same samples.
add_compile_options(-ffp-contract=off)
# The kernels built for the wider vector unit take eight-lane vectors by value inside functions
# that are always inlined; GCC's note that such a call would change the ABI never applies.
add_compile_options($<$<CXX_COMPILER_ID:GNU>:-Wno-psabi>)

# ccache, with paths made relative to the source tree so that separate build directories (the
# scripts' build/ and each developer's own) share their cache hits.
find_program(QUORVANE_CCACHE ccache)
if(QUORVANE_CCACHE)
    set(quorvane_launcher "${CMAKE_COMMAND}" -E env "CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}" "${QUORVANE_CCACHE}")
    set(CMAKE_C_COMPILER_LAUNCHER ${quorvane_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${quorvane_launcher})
    message(STATUS "Using ccache: ${QUORVANE_CCACHE}")
endif()

# The project's own code compiles without a single warning; warnings there are errors, so a new
# one stops the build rather than scrolling past.
option(QUORVANE_WARNINGS_AS_ERRORS "Treat warnings in the project's own code as errors" ON)
set(QUORVANE_STRICT_WARNINGS -Wall -Wextra)
if(QUORVANE_WARNINGS_AS_ERRORS)
    list(APPEND QUORVANE_STRICT_WARNINGS -Werror)
endif()

# The framework-based code of our own (processor, editor, renderer and their tests) is held to
# the same warnings. The framework's module sources compile inside the same targets, so the
# warnings go on the target's own source files only, and those see the framework's headers as
# system headers (a directory given both ways is searched as a system one): their warnings are
# the framework's, not ours. The module sources' own commands stay as they were.
function(quorvane_own_code_warnings target)
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    set(own)
    foreach(source IN LISTS sources)
        if(source MATCHES "^\\$<")
            continue()
        endif()
        get_filename_component(path "${source}" ABSOLUTE BASE_DIR "${source_dir}")
        string(FIND "${path}" "${PROJECT_SOURCE_DIR}/" in_project)
        string(FIND "${path}" "${PROJECT_BINARY_DIR}/" in_build)
        if(in_project EQUAL 0 AND NOT in_build EQUAL 0 AND path MATCHES "\\.cpp$")
            list(APPEND own "${path}")
        endif()
    endforeach()
    # The processor's parameter accessors take the typed index and hide the framework's
    # deprecated int-indexed virtuals on purpose (clang's -Wall and GCC 13's warn about it).
    set(options ${QUORVANE_STRICT_WARNINGS} -Wno-overloaded-virtual)
    if(JUCE_MODULES_DIR)
        # The modules and the plug-in format headers the framework bundles (our LV2 entry point
        # includes the LV2 ones).
        set(format_types "${JUCE_MODULES_DIR}/juce_audio_processors/format_types")
        foreach(dir "${JUCE_MODULES_DIR}" "${format_types}/LV2_SDK" "${format_types}/LV2_SDK/lv2" "${format_types}/VST3_SDK")
            list(APPEND options "-isystem${dir}")
        endforeach()
    endif()
    if(own)
        set_source_files_properties(${own} TARGET_DIRECTORY ${target} PROPERTIES COMPILE_OPTIONS "${options}")
    endif()
endfunction()

# Compiler settings shared by every target of the project.

# Reproducible single-precision arithmetic: no fused multiply-add contraction, no fast-math and
# no host-specific instruction sets, so every machine computes the same samples.
add_compile_options(-ffp-contract=off)

# ccache, with paths made relative to the source tree so that separate build directories (the
# scripts' build/ and each developer's own) share their cache hits.
find_program(QUORVANE_CCACHE ccache)
if(QUORVANE_CCACHE)
    set(quorvane_launcher "${CMAKE_COMMAND}" -E env "CCACHE_BASEDIR=${CMAKE_SOURCE_DIR}" "${QUORVANE_CCACHE}")
    set(CMAKE_C_COMPILER_LAUNCHER ${quorvane_launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${quorvane_launcher})
    message(STATUS "Using ccache: ${QUORVANE_CCACHE}")
endif()

# The project's own framework-free code (engine, modes and their tests) compiles without a single
# warning; warnings there are errors, so a new one stops the build rather than scrolling past.
option(QUORVANE_WARNINGS_AS_ERRORS "Treat warnings in the engine, the modes and their tests as errors" ON)
set(QUORVANE_STRICT_WARNINGS -Wall -Wextra)
if(QUORVANE_WARNINGS_AS_ERRORS)
    list(APPEND QUORVANE_STRICT_WARNINGS -Werror)
endif()

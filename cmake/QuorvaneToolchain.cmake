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

#!/usr/bin/env bash
# Configures (Release, Ninja) and builds into build/ (or $BUILD_DIR); arguments name targets,
# none builds everything.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
jobs="${JOBS:-$(nproc)}"

configure=(cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release)
# The generator can only be chosen for a fresh build directory.
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    configure+=(-G Ninja)
fi
"${configure[@]}"

build=(cmake --build "$build_dir" --parallel "$jobs")
for target in "$@"; do
    build+=(--target "$target")
done
"${build[@]}"

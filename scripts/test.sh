#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test; exits non-zero on failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"

bash "$root/scripts/setup.sh"
BUILD_DIR="$build_dir" bash "$root/scripts/build.sh"

ctest_cmd=(ctest --test-dir "$build_dir" --output-on-failure --no-tests=error)

# Some tests open windows (the editor, the hosted plug-ins): give them a virtual display.
if [[ -z "${DISPLAY:-}" ]]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "${ctest_cmd[@]}"
else
    "${ctest_cmd[@]}"
fi

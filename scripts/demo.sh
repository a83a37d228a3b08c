#!/usr/bin/env bash
# Installs what is missing, builds the renderer and renders its built-in demo through the
# reverb into out/demo.wav.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"

bash "$root/scripts/setup.sh"
BUILD_DIR="$build_dir" bash "$root/scripts/build.sh" quorvane-render

renderer="$build_dir/cli/quorvane-render"
if [[ ! -x "$renderer" ]]; then
    renderer="$(find "$build_dir" -type f -name quorvane-render -perm -u+x | head -n 1)"
fi
if [[ -z "$renderer" ]]; then
    echo "demo: quorvane-render was not built" >&2
    exit 1
fi

mkdir -p "$root/out"
"$renderer" "$root/out/demo.wav"
echo "demo: wrote $root/out/demo.wav"

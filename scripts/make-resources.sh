#!/usr/bin/env bash
# Regenerates the editor's embedded typeface stream and pictures in resources/ from Debian's
# fonts-lato (Lato Semibold, SIL Open Font License 1.1; its licence is resources/LICENSE-Lato.txt).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
out="${1:-$root/resources}"
font=/usr/share/fonts/truetype/lato/Lato-Semibold.ttf

[[ -f "$font" ]] || bash "$root/scripts/setup.sh"
BUILD_DIR="$build_dir" bash "$root/scripts/build.sh" quorvane-make-resources >/dev/null
"$build_dir/tests/editor/quorvane-make-resources" "$font" "$out"

#!/usr/bin/env bash
# Starts the stand-alone app, takes a screenshot of its window and checks that the window shows
# the editor: the background, the knob panel, the header logotype and the active LATE page button
# at their places. Usage: editor-screenshot.sh OUTPUT.png [STANDALONE_BINARY]
# Without a display it runs itself under a virtual one. The README's screenshot comes from here.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$1"
app="${2:-${BUILD_DIR:-$root/build}/Quorvane_artefacts/Release/Standalone/Quorvane}"

if [[ -z "${DISPLAY:-}" ]]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

[[ -x "$app" ]] || { echo "no stand-alone app at $app" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

# The app keeps its settings under $HOME: a throw-away one leaves the user's alone.
home="$(mktemp -d)"
HOME="$home" "$app" >/dev/null 2>&1 &
pid=$!
cleanup() { kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$home"; }
trap cleanup EXIT

window=""
for _ in $(seq 1 120); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/"Quorvane": \("Quorvane"/ { print $1; exit }')
    [[ -n "$window" ]] && break
    kill -0 "$pid" 2>/dev/null || { echo "the app ended before showing a window" >&2; exit 1; }
    sleep 0.25
done
[[ -n "$window" ]] || { echo "no Quorvane window appeared" >&2; exit 1; }
sleep 2 # first paint

import -window "$window" "$out"

read -r width height < <(identify -format '%w %h\n' "$out")
# The editor fills the bottom of the window inside a thin frame; the title bar and the app's
# notice bar sit above it.
ox=$(( (width - 735) / 2 ))
oy=$(( height - 500 - ox ))
(( ox >= 0 && oy >= 0 )) || { echo "window ${width}x${height} is smaller than the editor" >&2; exit 1; }

failures=0
rgb() { convert "$out" -format "%[fx:int(255*p{$1,$2}.r)] %[fx:int(255*p{$1,$2}.g)] %[fx:int(255*p{$1,$2}.b)]\n" info:; }
expect() { # name x y r g b (editor coordinates, tolerance 3)
    local name=$1 x=$(( ox + $2 )) y=$(( oy + $3 )) r g b
    read -r r g b < <(rgb "$x" "$y")
    if (( ${r#-} - $4 > 3 || $4 - r > 3 || g - $5 > 3 || $5 - g > 3 || b - $6 > 3 || $6 - b > 3 )); then
        echo "FAIL $name at $2,$3: $r $g $b, expected $4 $5 $6" >&2
        failures=$(( failures + 1 ))
    else
        echo "ok   $name"
    fi
}

expect background 5 5 70 70 70
expect background-between-faders-and-panel 370 250 70 70 70
expect knob-panel 545 137 52 52 52
expect mix-fader-track 45 300 190 5 5
expect knob-body 425 205 121 121 121

read -r r g b < <(rgb $(( ox + 560 )) $(( oy + 110 )))
if (( r > 200 && g < 80 && b < 80 )); then echo "ok   late-page-button-red"; else echo "FAIL late page button: $r $g $b" >&2; failures=$(( failures + 1 )); fi

# The logotype: a good share of white and light grey pixels inside the header area.
bright=$(convert "$out" -crop "679x52+$(( ox + 26 ))+$(( oy + 15 ))" -colorspace Gray -threshold 70% -format '%[fx:mean]' info:)
if awk -v m="$bright" 'BEGIN { exit !(m > 0.05) }'; then echo "ok   header-logotype ($bright)"; else echo "FAIL header logotype: bright share $bright" >&2; failures=$(( failures + 1 )); fi

echo "screenshot: $out"
exit $(( failures > 0 ))

#!/usr/bin/env bash
# Regenerates the factory presets, presets/<Use>/<Name>.kpreset, from the table below. Each
# document is written by the built renderer's --save-preset, i.e. by the product itself, starting
# from the default settings. Adding a line adds a preset; the whole set is replaced, so a line
# removed here removes its file.
#
#   scripts/make-factory-presets.sh [path/to/quorvane-render]
#
# The renderer defaults to $BUILD_DIR/cli/quorvane-render (BUILD_DIR defaults to build/, as for
# scripts/build.sh); build it first with `scripts/build.sh quorvane-render`.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
render="${1:-${BUILD_DIR:-$root/build}/cli/quorvane-render}"
presets="$root/presets"

if [[ ! -x "$render" ]]; then
    echo "make-factory-presets: no renderer at '$render'; run scripts/build.sh quorvane-render first" >&2
    exit 2
fi

# Use | Name | settings as quorvane-render options, in physical units (see quorvane-render --list).
# Every preset names its mode; values not given keep the parameter's default.
table=$(cat <<'EOF'
Drums    | Tight Drum Room    | --mode large-room --set mix=30 --set decay=0.6 --set predelay=2 --set HighCut=12000 --set earlyLateMix=35 --set lateSize=0.25 --set earlySize=12 --set earlyCross=0.2 --set RTBassMultiply=0.9 --set RTXover=400 --set RTHighMultiply=0.7 --set RTHighXover=7000 --set lateModDepth=0.2 --set diffusion=0.85
Drums    | Big Drum Room      | --mode large-room --set mix=25 --set decay=1.4 --set predelay=8 --set HighCut=10000 --set earlyLateMix=45 --set lateSize=0.7 --set earlySize=40 --set earlyCross=0.3 --set RTBassMultiply=1.1 --set RTXover=300 --set RTHighMultiply=0.6 --set RTHighXover=6000 --set lateModDepth=0.3
Rooms    | Small Studio Room  | --mode large-room --set decay=0.45 --set predelay=0 --set HighCut=10000 --set earlyLateMix=30 --set lateSize=0.15 --set earlySize=8 --set RTHighMultiply=0.6 --set RTHighXover=6000 --set lateModDepth=0.2
Rooms    | Live Room          | --mode large-room --set decay=1.2 --set predelay=10 --set HighCut=9000 --set earlyLateMix=50 --set lateSize=0.5 --set earlySize=25 --set earlyCross=0.2 --set RTHighMultiply=0.6 --set RTHighXover=6000 --set lateModDepth=0.35
Vocals   | Vocal Room         | --mode large-room --set decay=1.6 --set predelay=25 --set HighCut=6000 --set earlyLateMix=60 --set lateSize=0.6 --set earlySize=30 --set earlySend=0.4 --set RTBassMultiply=0.8 --set RTXover=250 --set RTHighMultiply=0.4 --set RTHighXover=5000 --set lateModRate=0.6 --set lateModDepth=0.45
Drums    | Medium Drum Room   | --mode medium-room --set mix=30 --set decay=0.9 --set predelay=4 --set HighCut=11000 --set earlyLateMix=40 --set lateSize=0.45 --set earlySize=20 --set earlyCross=0.25 --set RTXover=350 --set RTHighMultiply=0.7 --set RTHighXover=7000 --set lateModDepth=0.25
Vocals   | Warm Vocal Room    | --mode medium-room --set decay=1.3 --set predelay=20 --set HighCut=5500 --set earlyLateMix=55 --set lateSize=0.5 --set earlySize=25 --set earlySend=0.3 --set RTBassMultiply=1.1 --set RTXover=300 --set RTHighMultiply=0.45 --set RTHighXover=4500 --set lateModDepth=0.4
Drums    | Bright Snare Room  | --mode bright-room --set mix=25 --set decay=1.1 --set predelay=6 --set HighCut=14000 --set earlyLateMix=50 --set lateSize=0.4 --set earlySize=15 --set RTHighMultiply=0.85 --set RTHighXover=9000 --set lateModDepth=0.3
Vocals   | Bright Vocal Room  | --mode bright-room --set decay=1.8 --set predelay=30 --set HighCut=12000 --set earlyLateMix=65 --set lateSize=0.55 --set earlySize=30 --set earlySend=0.35 --set RTBassMultiply=0.8 --set RTXover=400 --set RTHighMultiply=0.75 --set RTHighXover=8000 --set lateModDepth=0.5
Vocals   | Vocal Chamber      | --mode large-chamber --set decay=2.2 --set predelay=20 --set HighCut=8000 --set earlyLateMix=60 --set lateSize=0.6 --set earlySize=35 --set earlySend=0.4 --set RTBassMultiply=0.9 --set RTXover=300 --set RTHighMultiply=0.5 --set RTHighXover=6000 --set lateModDepth=0.4
Instruments | Strings Chamber | --mode large-chamber --set decay=3.2 --set predelay=35 --set HighCut=7000 --set earlyLateMix=70 --set lateSize=0.85 --set earlySize=60 --set earlySend=0.5 --set RTBassMultiply=1.15 --set RTXover=250 --set RTHighMultiply=0.45 --set RTHighXover=5000 --set lateModRate=0.4 --set lateModDepth=0.5
Rooms    | Dark Wood Room     | --mode dark-room --set decay=1.1 --set predelay=8 --set HighCut=6000 --set earlyLateMix=45 --set lateSize=0.45 --set earlySize=22 --set earlyCross=0.2 --set RTXover=400 --set RTHighMultiply=0.5 --set RTHighXover=5000 --set lateModDepth=0.3
Drums    | Dark Drum Room     | --mode dark-room --set mix=30 --set decay=0.8 --set predelay=3 --set HighCut=7000 --set earlyLateMix=40 --set lateSize=0.35 --set earlySize=15 --set RTBassMultiply=1.2 --set RTXover=250 --set RTHighMultiply=0.6 --set RTHighXover=6000 --set lateModDepth=0.2
Vocals   | Dark Vocal Chamber | --mode dark-chamber --set decay=2.4 --set predelay=25 --set HighCut=6500 --set earlyLateMix=60 --set lateSize=0.55 --set earlySize=35 --set earlySend=0.4 --set RTBassMultiply=0.9 --set RTXover=300 --set RTHighMultiply=0.5 --set RTHighXover=5000 --set lateModDepth=0.4
Instruments | Piano Chamber   | --mode dark-chamber --set decay=2.8 --set predelay=15 --set HighCut=7500 --set earlyLateMix=65 --set lateSize=0.7 --set earlySize=45 --set earlySend=0.45 --set RTBassMultiply=1.1 --set RTXover=300 --set RTHighMultiply=0.55 --set RTHighXover=6000 --set lateModRate=0.4 --set lateModDepth=0.35
Ambience | Dark Space Pad     | --mode dark-space --set decay=9 --set predelay=50 --set HighCut=5000 --set earlyLateMix=85 --set lateSize=0.9 --set earlySize=90 --set earlySend=0.6 --set RTBassMultiply=1.3 --set RTXover=300 --set RTHighMultiply=0.35 --set RTHighXover=4000 --set lateModRate=0.3 --set lateModDepth=0.7 --set earlyModRate=0.3 --set earlyModDepth=0.3
Instruments | Guitar Space    | --mode dark-space --set decay=3.5 --set predelay=30 --set HighCut=6000 --set earlyLateMix=70 --set lateSize=0.6 --set earlySize=50 --set earlySend=0.4 --set RTBassMultiply=0.8 --set RTXover=350 --set RTHighMultiply=0.5 --set RTHighXover=5000 --set lateModRate=0.5 --set lateModDepth=0.5
Ambience | Endless Corridor   | --mode nostromo --set decay=12 --set predelay=60 --set HighCut=4500 --set earlyLateMix=90 --set lateSize=0.8 --set earlySize=120 --set earlySend=0.6 --set lateCross=0.4 --set RTBassMultiply=1.2 --set RTXover=250 --set RTHighMultiply=0.3 --set RTHighXover=3500 --set lateModRate=0.25 --set lateModDepth=0.8 --set earlyModRate=0.2 --set earlyModDepth=0.4
Instruments | Synth Pad Rings | --mode nostromo --set decay=5 --set predelay=40 --set HighCut=7000 --set earlyLateMix=80 --set lateSize=0.5 --set earlySize=70 --set earlySend=0.5 --set lateCross=0.7 --set RTHighMultiply=0.45 --set RTHighXover=5000 --set lateModRate=0.6 --set lateModDepth=0.6
Ambience | Wide Stereo Room   | --mode narcissus --set decay=2.5 --set predelay=20 --set HighCut=7000 --set earlyLateMix=70 --set lateSize=0.5 --set earlySize=40 --set earlySend=0.4 --set lateCross=0.15 --set RTHighMultiply=0.5 --set RTHighXover=5000 --set lateModRate=0.5 --set lateModDepth=0.4
Instruments | Wide Keys       | --mode narcissus --set decay=1.8 --set predelay=12 --set HighCut=8000 --set earlyLateMix=60 --set lateSize=0.4 --set earlySize=30 --set earlySend=0.3 --set lateCross=0.3 --set RTBassMultiply=0.9 --set RTXover=300 --set RTHighMultiply=0.55 --set RTHighXover=6000 --set lateModDepth=0.35
Instruments | Orchestral Hall | --mode sulaco --set decay=2.8 --set predelay=28 --set HighCut=7000 --set earlyLateMix=70 --set lateSize=0.6 --set earlySize=60 --set earlySend=0.5 --set RTBassMultiply=1.2 --set RTXover=250 --set RTHighMultiply=0.45 --set RTHighXover=5000 --set lateModRate=0.4 --set lateModDepth=0.4
Vocals   | Ballad Hall        | --mode sulaco --set decay=3.2 --set predelay=45 --set HighCut=6500 --set earlyLateMix=75 --set lateSize=0.7 --set earlySize=50 --set earlySend=0.5 --set RTBassMultiply=0.9 --set RTXover=300 --set RTHighMultiply=0.4 --set RTHighXover=5000 --set lateModRate=0.5 --set lateModDepth=0.5
Ambience | Deep Cavern        | --mode lv426 --set mix=45 --set decay=15 --set predelay=80 --set HighCut=4000 --set earlyLateMix=70 --set lateSize=0.9 --set earlySize=150 --set earlySend=0.7 --set RTBassMultiply=1.5 --set RTXover=200 --set RTHighMultiply=0.3 --set RTHighXover=3000 --set lateModRate=0.2 --set lateModDepth=0.6
Instruments | Drone Cavern    | --mode lv426 --set mix=45 --set decay=6 --set predelay=30 --set HighCut=5500 --set earlyLateMix=65 --set lateSize=0.6 --set earlySize=80 --set earlySend=0.6 --set RTBassMultiply=1.2 --set RTXover=250 --set RTHighMultiply=0.4 --set RTHighXover=4000 --set lateModRate=0.3 --set lateModDepth=0.5
Drums    | Dense Drum Room    | --mode dense-room --set mix=30 --set decay=1.0 --set predelay=4 --set HighCut=9000 --set earlyLateMix=45 --set lateSize=0.4 --set earlySize=18 --set earlyCross=0.25 --set RTBassMultiply=1.1 --set RTXover=300 --set RTHighMultiply=0.6 --set RTHighXover=6000 --set lateModDepth=0.25
Rooms    | Dense Small Room   | --mode dense-room --set decay=0.7 --set predelay=2 --set HighCut=8000 --set earlyLateMix=40 --set lateSize=0.2 --set earlySize=10 --set RTHighMultiply=0.55 --set RTHighXover=6000 --set lateModDepth=0.2
Ambience | Long Dark Ambience | --mode large-room --set decay=8 --set predelay=40 --set HighCut=4000 --set earlyLateMix=85 --set lateSize=1 --set earlySize=80 --set earlySend=0.5 --set RTBassMultiply=1.2 --set RTXover=300 --set RTHighMultiply=0.2 --set RTHighXover=3000 --set lateModRate=0.3 --set lateModDepth=0.8 --set earlyModRate=0.25 --set earlyModDepth=0.3
EOF
)

trim() {
    local s="$1"
    s="${s#"${s%%[![:space:]]*}"}"
    printf '%s' "${s%"${s##*[![:space:]]}"}"
}

# Everything is written into a fresh folder first: a mistake in the table leaves presets/ as it was.
staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT

count=0
while IFS='|' read -r use name options; do
    use="$(trim "$use")"
    name="$(trim "$name")"
    [[ -z "$use" || "$use" == \#* ]] && continue
    read -ra args <<< "$options"
    mkdir -p "$staging/$use"
    "$render" "${args[@]}" --quiet --save-preset "$staging/$use/$name.kpreset"
    count=$((count + 1))
done <<< "$table"

mkdir -p "$presets"
find "$presets" -mindepth 2 -maxdepth 2 -type f -iname '*.kpreset' -delete
find "$presets" -mindepth 1 -maxdepth 1 -type d -empty -delete
cp -R "$staging/." "$presets/"
echo "make-factory-presets: wrote $count presets into $presets"

#!/usr/bin/env bash
# Instructions per stereo frame inside the built VST3 and LV2, by host block size: the hosted
# plug-in (the framework's own hosting code, as in the host tests) processes noise at 48 kHz in
# Large Room with its defaults, under callgrind, and the inclusive count of the plug-in's entry
# point (the VST3 component's process, the LV2 run callback) is taken for two lengths of audio;
# their difference over the difference in frames cancels loading and preparing.
#
#   scripts/measure-plugin-cost.sh                   block sizes 1 64 256 4096, both formats
#   BLOCKS="64 256" FORMATS=LV2 scripts/measure-plugin-cost.sh
#
# Build first: scripts/build.sh quorvane-host-tests
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
host_tests="$build_dir/tests/host/quorvane-host-tests"
blocks="${BLOCKS:-1 64 256 4096}"
formats="${FORMATS:-VST3 LV2}"
short_frames=24576
long_frames=73728

fail() {
    echo "measure-plugin-cost: $*" >&2
    exit 1
}

[[ -x "$host_tests" ]] || fail "$host_tests is missing; build it first: BUILD_DIR=$build_dir scripts/build.sh quorvane-host-tests"
for tool in valgrind callgrind_annotate xvfb-run; do
    command -v "$tool" > /dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-plugin-cost.XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home"

# The inclusive instruction count of the format's entry point in one run.
entry_cost() {
    local format=$1 block=$2 frames=$3 out="$work/callgrind.out"
    local entry
    case "$format" in
        VST3) entry='juce::JuceVST3Component::process(Steinberg::Vst::ProcessData&)' ;;
        LV2) entry='(anonymous namespace)::run(void*, unsigned int)' ;;
        *) fail "unknown format '$format' (VST3 or LV2)" ;;
    esac
    HOME="$work/home" QUORVANE_COST_FRAMES=$frames QUORVANE_COST_BLOCK=$block \
        xvfb-run -a valgrind --tool=callgrind --callgrind-out-file="$out" "$host_tests" \
        --gtest_also_run_disabled_tests --gtest_filter="Formats/PluginCost.DISABLED_ProcessesNoiseInHostBlocks/$format" \
        > "$work/run.log" 2>&1 || { cat "$work/run.log" >&2; fail "the $format run at block size $block failed"; }
    local count
    count="$(callgrind_annotate --inclusive=yes "$out" 2>/dev/null | awk -v e="$entry" 'index($0, ":" e " [") { gsub(",", "", $1); print $1; exit }')"
    [[ -n "$count" ]] || fail "no $entry in the $format profile"
    echo "$count"
}

echo "Measuring the hosted plug-ins (callgrind, 48000 Hz, Large Room, defaults)" >&2
if [[ "${QUORVANE_VECTOR_UNIT:-}" == baseline ]]; then
    echo "Vector unit: the x86-64 baseline (QUORVANE_VECTOR_UNIT=baseline)" >&2
elif grep -qw avx2 /proc/cpuinfo 2>/dev/null; then
    echo "Vector unit: AVX2 (QUORVANE_VECTOR_UNIT=baseline measures the baseline)" >&2
fi

echo
echo "| format | host block | instructions per stereo frame | ratio to blocks of 256 |"
echo "|---|---:|---:|---:|"
for format in $formats; do
    declare -A per_frame=()
    for block in $blocks 256; do
        [[ -n "${per_frame[$block]+set}" ]] && continue
        echo "  $format, blocks of $block" >&2
        short="$(entry_cost "$format" "$block" "$short_frames")"
        long="$(entry_cost "$format" "$block" "$long_frames")"
        per_frame[$block]="$(awk -v a="$short" -v b="$long" -v f=$(( long_frames - short_frames )) 'BEGIN { printf "%.0f", (b - a) / f }')"
    done
    for block in $blocks; do
        ratio="$(awk -v a="${per_frame[$block]}" -v b="${per_frame[256]}" 'BEGIN { printf "%.2f", a / b }')"
        printf '| %s | %d | %s | %s |\n' "$format" "$block" "${per_frame[$block]}" "$ratio"
    done
    unset per_frame
done

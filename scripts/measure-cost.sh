#!/usr/bin/env bash
# Machine-independent cost of every reverb mode: instructions per stereo frame of the renderer
# under callgrind, and the memory one engine instance holds.
#
# Instructions per frame: two renders of the built-in demo phrase per mode, 48 kHz, 256-sample
# blocks, with a 1 s and a 3 s tail. The difference of the two instruction totals over the
# difference in frames cancels start-up, argument parsing and file set-up, and keeps everything a
# frame of audio costs in a render, the WAV output included.
#
# Memory: bench/quorvane-footprint builds one engine, prepares it and prints the bytes it holds;
# under valgrind's heap profiler the peak of doing so shows whether building an instance ever
# holds more than the instance keeps.
#
#   scripts/measure-cost.sh               every mode (about five minutes)
#   MODES="0 4" scripts/measure-cost.sh   only these modes
#   BUILD_DIR=build-x scripts/measure-cost.sh
#
# Build first: scripts/build.sh quorvane-render quorvane-footprint
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
render="$build_dir/cli/quorvane-render"
footprint="$build_dir/bench/quorvane-footprint"

rate=48000
block_size=256
short_tail=1
long_tail=3
footprint_rates=(44100 48000 96000 192000)

fail() {
    echo "measure-cost: $*" >&2
    exit 1
}

for program in "$render" "$footprint"; do
    [[ -x "$program" ]] || fail "$program is missing; build it first: BUILD_DIR=$build_dir scripts/build.sh quorvane-render quorvane-footprint"
done
for tool in valgrind callgrind_annotate; do
    command -v "$tool" > /dev/null || fail "$tool is not installed (Debian package: valgrind)"
done

# Mode numbers and names as the renderer lists them ("   0  Large Room" under "reverb modes").
declare -A mode_names=()
while read -r number name; do
    mode_names[$number]="$name"
done < <("$render" --list | awk '/^reverb modes/ { in_modes = 1; next } in_modes && /^[[:space:]]*$/ { exit }
                                 in_modes { sub(/^[[:space:]]+/, ""); print }')
(( ${#mode_names[@]} > 0 )) || fail "could not read the mode list from $render --list"

modes="${MODES:-$(printf '%s\n' "${!mode_names[@]}" | sort -n | tr '\n' ' ')}"
for mode in $modes; do
    [[ -n "${mode_names[$mode]+set}" ]] || fail "unknown mode '$mode' in MODES (the renderer has 0..$(( ${#mode_names[@]} - 1 )))"
done

work="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-cost.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# The instruction total of a callgrind output file ("summary:" line, or "totals:" in older formats).
instruction_total() {
    local total
    total="$(awk '/^summary:/ { print $2; found = 1; exit } /^totals:/ { t = $2 } END { if (! found && t != "") print t }' "$1")"
    [[ "$total" =~ ^[0-9]+$ ]] || total="$(callgrind_annotate "$1" 2> /dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }')"
    [[ "$total" =~ ^[0-9]+$ ]] || fail "no instruction total in $1"
    echo "$total"
}

# Renders the demo phrase under callgrind; prints "<instructions> <output bytes>".
render_cost() {
    local mode="$1" seconds="$2"
    local out="$work/render-$mode-$seconds.wav" profile="$work/callgrind-$mode-$seconds.out" log="$work/valgrind-$mode-$seconds.log"
    if ! valgrind --tool=callgrind --callgrind-out-file="$profile" --log-file="$log" \
        "$render" --mode "$mode" --rate "$rate" --block-size "$block_size" --tail "$seconds" --quiet "$out" > /dev/null; then
        tail -n 20 "$log" >&2 || true
        fail "the render of mode $mode with a $seconds s tail failed under callgrind"
    fi
    echo "$(instruction_total "$profile") $(stat -c %s "$out")"
    rm -f "$out" "$profile"
}

# Peak live heap ("At t-gmax") and everything allocated ("Total") while one engine is built and
# prepared, from valgrind's heap profiler; prints "<peak bytes> <total bytes>".
heap_profile() {
    local log="$work/dhat.log"
    valgrind --tool=dhat --dhat-out-file="$work/dhat.out" --log-file="$log" "$footprint" "$@" > /dev/null \
        || { tail -n 20 "$log" >&2 || true; fail "quorvane-footprint $* failed under valgrind"; }
    local peak total
    peak="$(awk -F'[:]' '/At t-gmax:/ { gsub(/[^0-9 ]/, "", $2); split($2, f, " "); print f[1]; exit }' "$log" | tr -d ' ')"
    total="$(awk -F'[:]' '/Total:/ { gsub(/[^0-9 ]/, "", $2); split($2, f, " "); print f[1]; exit }' "$log" | tr -d ' ')"
    [[ "$peak" =~ ^[0-9]+$ && "$total" =~ ^[0-9]+$ ]] || fail "no heap figures in the valgrind log of quorvane-footprint"
    echo "$peak $total"
}

# Thousands separated by commas, for reading.
grouped() { sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta' <<< "$1"; }
mib() { awk -v b="$1" 'BEGIN { printf "%.2f MiB", b / 1048576 }'; }

modes="$(echo $modes)"
echo "Measuring modes $modes (callgrind, $rate Hz, blocks of $block_size, tails of $short_tail s and $long_tail s)" >&2
# The kernels' vector unit: AVX2 where the processor (as valgrind presents it) has it, unless the
# environment asks for the baseline.
if [[ "${QUORVANE_VECTOR_UNIT:-}" == baseline ]]; then
    echo "Vector unit: the x86-64 baseline (QUORVANE_VECTOR_UNIT=baseline)" >&2
elif grep -qw avx2 /proc/cpuinfo 2>/dev/null; then
    echo "Vector unit: AVX2 (QUORVANE_VECTOR_UNIT=baseline measures the baseline)" >&2
else
    echo "Vector unit: the x86-64 baseline (this processor has no AVX2)" >&2
fi

declare -A per_frame=()
for mode in $modes; do
    echo "  mode $mode, ${mode_names[$mode]}" >&2
    # Plain substitutions, not process substitutions, so that a failure stops the script.
    short="$(render_cost "$mode" "$short_tail")"
    long="$(render_cost "$mode" "$long_tail")"
    read -r short_ir short_bytes <<< "$short"
    read -r long_ir long_bytes <<< "$long"
    # Both files have the same header and 32-bit float stereo frames of 8 bytes.
    frames=$(( (long_bytes - short_bytes) / 8 ))
    (( frames > 0 )) || fail "the renders of mode $mode differ by $frames frames"
    echo "    $short_ir and $long_ir instructions, $frames frames apart" >&2
    # One decimal: a mode near its limit shows on which side of it it lies.
    per_frame[$mode]="$(awk -v a="$short_ir" -v b="$long_ir" -v f="$frames" 'BEGIN { printf "%.1f", (b - a) / f }')"
done

echo
echo "| mode | name | instructions per stereo frame | ratio to Large Room | bytes per instance |"
echo "|---:|---|---:|---:|---:|"
for mode in $modes; do
    ratio="-"
    if [[ -n "${per_frame[0]+set}" ]]; then
        ratio="$(awk -v m="${per_frame[$mode]}" -v l="${per_frame[0]}" 'BEGIN { printf "%.2f", m / l }')"
    fi
    bytes="$("$footprint" "$rate" "$mode")"
    printf '| %d | %s | %s | %s | %s |\n' "$mode" "${mode_names[$mode]}" "$(grouped "${per_frame[$mode]}")" "$ratio" "$(grouped "$bytes")"
done

echo
echo "Bytes one engine holds, prepared for each host rate:"
for r in "${footprint_rates[@]}"; do
    bytes="$("$footprint" "$r")"
    printf '  %6d Hz  %13s bytes  (%s)\n' "$r" "$(grouped "$bytes")" "$(mib "$bytes")"
done

heap="$(heap_profile "$rate")"
read -r peak total <<< "$heap"
echo
echo "Building and preparing one engine at $rate Hz (valgrind heap profiler):"
printf '  peak heap   %13s bytes  (%s)\n' "$(grouped "$peak")" "$(mib "$peak")"
printf '  allocated   %13s bytes  (%s, everything allocated on the way)\n' "$(grouped "$total")" "$(mib "$total")"

valgrind --tool=callgrind --callgrind-out-file="$work/callgrind-footprint.out" --log-file="$work/valgrind-footprint.log" \
    "$footprint" "$rate" > /dev/null || fail "quorvane-footprint $rate failed under callgrind"
printf '  instructions %12s  (the whole program, its start-up included)\n' \
    "$(grouped "$(instruction_total "$work/callgrind-footprint.out")")"

#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each for a bounded time over a copy of its seed corpus:
#   scripts/fuzz.sh [SECONDS] [state|audio ...]   (default 30 s, every fuzzer)
# state: the saved-state and preset parsers (tests/fuzz/corpus);
# audio: the renderer's input files, WAV, AIFF and FLAC (tests/fuzz/corpus-audio).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-30}"
shift || true
fuzzers=("$@")
[[ ${#fuzzers[@]} -gt 0 ]] || fuzzers=(state audio)

targets=()
for f in "${fuzzers[@]}"; do
    case "$f" in
        state) targets+=(quorvane-state-fuzzer) ;;
        audio) targets+=(quorvane-audio-file-fuzzer) ;;
        *) echo "fuzz: unknown fuzzer '$f' (state or audio)" >&2; exit 2 ;;
    esac
done

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root/tests/fuzz" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" > /dev/null
cmake --build "$build_dir" -j "${JOBS:-2}" --target "${targets[@]}"

# Work on copies of the seed corpora so runs never write into the repository.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
for f in "${fuzzers[@]}"; do
    case "$f" in
        state) binary=quorvane-state-fuzzer; corpus=corpus; max_len=4096 ;;
        audio) binary=quorvane-audio-file-fuzzer; corpus=corpus-audio; max_len=8192 ;;
    esac
    mkdir "$work/$f"
    cp "$root/tests/fuzz/$corpus"/* "$work/$f"/
    # A single input that takes seconds is a hang as far as a renderer's user is concerned.
    # A fixed seed (FUZZ_SEED, default 1) keeps the bounded runs of the test suite repeatable; inputs
    # a run finds go into the corpus once mended, so later runs start from them.
    "$build_dir/$binary" -seed="${FUZZ_SEED:-1}" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 "$work/$f"
    echo "fuzz ($f): ${seconds} s without a crash"
done

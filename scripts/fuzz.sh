#!/usr/bin/env bash
# Builds the state and preset parser fuzzer with clang and runs it for a bounded time.
#   scripts/fuzz.sh [SECONDS]   (default 30)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-30}"

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root/tests/fuzz" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" > /dev/null
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}"

# Work on a copy of the seed corpus so runs never write into the repository.
corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
cp "$root"/tests/fuzz/corpus/* "$corpus"/
"$build_dir/quorvane-state-fuzzer" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus"
echo "fuzz: ${seconds} s without a crash"

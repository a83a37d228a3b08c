#!/usr/bin/env bash
# Builds the processor's thread stress test with one sanitizer (clang) and runs it for a bounded
# time; any sanitizer report fails the run.
#   scripts/stress.sh thread|address [SECONDS]   (default 10)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sanitizer="${1:?usage: stress.sh thread|address [SECONDS]}"
seconds="${2:-10}"
case "$sanitizer" in
    thread) default_dir="$root/build-tsan" ;;
    address) default_dir="$root/build-asan" ;;
    *) echo "stress: unknown sanitizer '$sanitizer' (thread or address)" >&2; exit 2 ;;
esac
build_dir="${STRESS_BUILD_DIR:-$default_dir}"

launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$root/tests/sanitizers" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUORVANE_SANITIZER="$sanitizer" \
    "${launcher[@]}" > /dev/null
cmake --build "$build_dir" -j "${JOBS:-2}"

# The framework keeps its data under $HOME: keep the run out of the user's folders.
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
export HOME="$home"
export QUORVANE_STRESS_SECONDS="$seconds"
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
"$build_dir/quorvane-stress"
echo "stress ($sanitizer): ${seconds} s without a report"

#!/usr/bin/env bash
# From nothing to a tested build on Debian 12: installs the packages, builds, and runs the
# whole suite, then the unit tests under AddressSanitizer/UBSan and the threaded capture
# code under ThreadSanitizer. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
bash scripts/install-deps.sh

build() {  # build <dir> [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$jobs"
}

mkdir -p build
echo "== build"
build build/release
echo "== tests"
ctest --test-dir build/release --output-on-failure --timeout 300 -j"$jobs"

echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
build build/asan -DKG_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure --timeout 300 -L unit -j"$jobs"

echo "== threaded capture code under ThreadSanitizer"
build build/tsan -DKG_SANITIZE=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build/tsan --output-on-failure --timeout 300 -L tsan -j"$jobs" --no-tests=ignore

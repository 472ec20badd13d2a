#!/usr/bin/env bash
# From nothing to a tested build on Debian 12: installs the packages, builds, and runs the
# whole suite, then the unit tests under AddressSanitizer/UBSan and the threaded capture
# code under ThreadSanitizer, then fuzzes what parses input. Exits non-zero on the first
# failure.
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

echo "== fuzzing what parses input (libFuzzer with AddressSanitizer/UBSan, ${KG_FUZZ_SECONDS:=60} s a target)"
fuzz_targets=(region_arg record_options pid_file)
cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DKG_WITH_GUI=OFF -DKG_SANITIZE=address,undefined,fuzzer-no-link > build/fuzz.configure.log 2>&1 \
  || { cat build/fuzz.configure.log; exit 1; }
cmake --build build/fuzz -j"$jobs" --target "${fuzz_targets[@]/%/_fuzz}"
for target in "${fuzz_targets[@]}"; do
  # New inputs go to the build's own corpus; the seeds in the repository are only read.
  mkdir -p "build/fuzz/corpus-$target"
  log="build/fuzz/$target.log"
  if ! "build/fuzz/tests/fuzz/${target}_fuzz" -max_total_time="$KG_FUZZ_SECONDS" -print_final_stats=1 -artifact_prefix=build/fuzz/ \
       "build/fuzz/corpus-$target" "tests/fuzz/corpus/$target" > "$log" 2>&1; then
    tail -n 80 "$log"
    echo "fuzzing $target found a fault; the input is named in $log"
    exit 1
  fi
  echo "$target: $(grep -o 'number_of_executed_units: [0-9]*' "$log" | tail -1 | cut -d' ' -f2) inputs, no fault"
done

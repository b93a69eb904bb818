#!/usr/bin/env bash
# One command for the test suite: install, build with warnings as errors,
# check formatting, and run every test through CTest; then the same suite on a
# sanitizer build, which also holds the fuzz targets, then those. Fails when
# no test ran.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/format-check.sh
# Line tables (-g1) rather than full debug information: failures and
# sanitizer reports still name the function, file and line, and the three
# builds of this script compile about a third faster.
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
       "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")
BUILD_DIR=${BUILD_DIR:-build-test} scripts/build.sh -DTM_WERROR=ON "${flags[@]}"
build_dir=${BUILD_DIR:-build-test}
export QT_QPA_PLATFORM=offscreen
# Tests run on the simulated bench in instant timing unless a test asks otherwise.
export GPIB_SIM_INSTANT=1
log=$(mktemp)
set +e
ctest --test-dir "$build_dir" --output-on-failure --parallel "${JOBS:-2}" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
set -e
if grep -q 'No tests were found' "$log" || ! grep -Eq 'tests passed|tests failed' "$log"; then
  echo "test.sh: no test ran" >&2
  exit 1
fi
[ "$rc" -eq 0 ] || exit "$rc"
# "N tests failed out of M" from CTest's own summary, for the closing line.
total=$(grep -Eo 'tests failed out of [0-9]+' "$log" | grep -Eo '[0-9]+$')

# The whole project again with AddressSanitizer and UndefinedBehaviorSanitizer,
# and the whole suite on it: any finding stops its test, so it fails. This
# build is clang's, with the fuzzer's coverage in every library, so that the
# same build holds the libFuzzer targets too (one sanitizer build instead of
# two), and a second compiler's warnings watch the code.
asan_dir=${ASAN_BUILD_DIR:-build-asan}
# A sanitizer build left from before, configured with another compiler,
# cannot become clang's: it starts afresh.
if [ -f "$asan_dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang' "$asan_dir/CMakeCache.txt"; then
  rm -rf "$asan_dir"
fi
CC=clang CXX=clang++ BUILD_DIR=$asan_dir scripts/build.sh -DTM_SANITIZE=ON -DTM_FUZZ=ON \
  -DTM_WERROR=ON "${flags[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
set +e
ctest --test-dir "$asan_dir" --output-on-failure --parallel "${JOBS:-2}" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
set -e
if ! grep -Eq 'tests passed|tests failed' "$log"; then
  echo "test.sh: no test ran under the sanitizers" >&2
  exit 1
fi
[ "$rc" -eq 0 ] || exit "$rc"

# Every fuzz target for a bounded time (FUZZ_SECONDS each, 30 by default),
# from the sanitizer build.
FUZZ_BUILD_DIR=$asan_dir scripts/fuzz.sh "${FUZZ_SECONDS:-30}"

# Every stage above stops the script on a failure, so reaching here means all
# tests passed in both builds and no fuzz target found anything.
echo "summary: $total passed, 0 failed"

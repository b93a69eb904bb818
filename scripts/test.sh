#!/usr/bin/env bash
# One command for the test suite: install, build with warnings as errors,
# check formatting, and run every test through CTest. Fails when no test ran.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/format-check.sh
BUILD_DIR=${BUILD_DIR:-build-test} scripts/build.sh -DTM_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
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
exit "$rc"

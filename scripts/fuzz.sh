#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz (or $FUZZ_BUILD_DIR,
# which may be a build configured with -DTM_FUZZ=ON already, as test.sh's
# sanitizer build is) and runs each for a bounded time, starting from its
# seed corpus under fuzz/corpus/. Fails on any crash, hang, leak or sanitizer
# report.
#
#   scripts/fuzz.sh            # 30 s each
#   scripts/fuzz.sh 600        # ten minutes each
#   scripts/fuzz.sh 3600 fuzz_bench_loader   # one target for an hour
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(fuzz_numeric_value fuzz_device_address fuzz_status_report
                               fuzz_bench_loader fuzz_instrument_parser fuzz_board_map
                               fuzz_gateway_rpc fuzz_gateway_identity fuzz_read_tracker)
build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build_dir" "${generator[@]}" -DTM_FUZZ=ON \
    -DTM_BUILD_GUI=OFF -DTM_BUILD_TESTS=OFF -DTM_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
fi
cmake --build "$build_dir" --parallel "${JOBS:-2}" --target "${targets[@]}"

export GPIB_SIM_INSTANT=1
# Findings and new inputs go to a scratch folder; the committed seeds stay as
# they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# One target: its findings go to fuzz/findings, and a file says it failed.
fuzz_one() {
  local target=$1
  local seeds=fuzz/corpus/${target#fuzz_}
  local log="$work/$target.log"
  mkdir -p "$work/$target"
  if ! "$build_dir/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/$target-" \
      "$work/$target" "$seeds" >"$log" 2>&1; then
    touch "$work/$target.failed"
  fi
}
# The targets run side by side, as many at once as there are jobs (each
# fuzzer is one process on one core), each for its full time.
jobs_at_once=${JOBS:-2}
running=0
for target in "${targets[@]}"; do
  echo "fuzz.sh: $target for ${seconds}s"
  fuzz_one "$target" &
  running=$((running + 1))
  if ((running >= jobs_at_once)); then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true
status=0
for target in "${targets[@]}"; do
  log="$work/$target.log"
  if [ -e "$work/$target.failed" ]; then
    echo "fuzz.sh: $target found a problem:" >&2
    tail -n 60 "$log" >&2
    mkdir -p fuzz/findings
    cp "$work/$target"-* fuzz/findings/ 2>/dev/null || true
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | sed "s/^/  $target /"
done
exit "$status"

#!/usr/bin/env bash
# Builds the benchmarks into ./build-bench (RelWithDebInfo, -O2) and runs every
# one of them, printing one table: figure, ours, reference, ratio, goal.
# Every figure is a ratio measured side by side in the same run (medians of
# interleaved repetitions), so a busy machine slows both sides alike.
#
#   scripts/bench.sh                 # the table
#   STARTUP_RUNS=21 scripts/bench.sh # more alternating start-up runs (default 11)
#   scripts/bench.sh --callgrind     # also instructions per transaction (valgrind)
#   PEERS_DIR=/work/peers scripts/bench.sh  # the adapter figures against pyvisa-py's
#                                    # Prologix backend checked out there (bench/README.md)
#
# Google Benchmark's details go to build-bench/bench-details.txt. Exits 1 when
# a goal was missed.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build-bench}
callgrind=0
[ "${1:-}" = "--callgrind" ] && callgrind=1

generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g -DNDEBUG" -DTM_BUILD_BENCH=ON -DTM_BUILD_TESTS=OFF \
  >/dev/null
cmake --build "$build_dir" --parallel "${JOBS:-2}" \
  --target tarvel-morrow tm-gpib tm_bench empty_window text_window startup_probe instruction_counts \
  adapter_bench tm-adapter-emulator tm-gateway-emulator gateway_bench linuxgpib_bench tm-gateway \
  gateway_server_bench

bin=$build_dir/bin
export QT_QPA_PLATFORM=offscreen
status=0
echo
"$bin/tm_bench" 2>"$build_dir/bench-details.txt" || status=1
"$bin/startup_probe" "$bin/tarvel-morrow" "$bin/empty_window" "$bin/text_window" \
  "${STARTUP_RUNS:-11}" || status=1
"$bin/adapter_bench" || status=1
"$bin/gateway_bench" || status=1
"$bin/gateway_server_bench" || status=1
"$bin/linuxgpib_bench" || status=1

if ((callgrind)); then
  command -v valgrind >/dev/null || { echo "bench.sh: --callgrind needs valgrind" >&2; exit 2; }
  echo
  echo "instructions per transaction (callgrind, 10000 repetitions each)"
  for scenario in direct wrappers bare handler tick; do
    out=$(mktemp)
    valgrind --tool=callgrind --toggle-collect='*::repeat*' --callgrind-out-file="$out" \
      "$bin/instruction_counts" "$scenario" 10000 >/dev/null 2>&1 || status=1
    total=$(callgrind_annotate "$out" 2>/dev/null | awk '/PROGRAM TOTALS/ {gsub(",", "", $1); print $1}')
    printf '  %-10s %8d\n' "$scenario" "$((${total:-0} / 10000))"
    rm -f "$out"
  done
fi
exit "$status"

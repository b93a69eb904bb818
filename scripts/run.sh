#!/usr/bin/env bash
# One command for a newcomer: install, build what running needs, and start the
# program. Without a GPIB driver on the machine it runs on the bundled
# simulated bench; GPIB_SIM_BENCH=my-bench.yaml names a bench file of your own.
#
# Only the program, its bundled driver, its help pages, the emulated adapter
# and gateway, the adapter check, the gateway service and tm-boards are built:
# not the tests and not the benchmarks (scripts/test.sh and scripts/bench.sh
# build those).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build_dir=${BUILD_DIR:-build}
generator=()
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  command -v ninja >/dev/null && generator=(-G Ninja)
  cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
wanted=(tarvel-morrow tm-gpib tm_help tm-adapter-emulator tm-adapter-check tm-gateway-emulator
        tm-gateway tm-boards)
known=$(cmake --build "$build_dir" --target help)
targets=()
for t in "${wanted[@]}"; do
  grep -Eq "(^|[ .])$t(:| |$)" <<<"$known" && targets+=("$t")
done
cmake --build "$build_dir" --parallel "${JOBS:-2}" --target "${targets[@]}"
exe=$build_dir/bin/tarvel-morrow
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the window on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$exe" "$@"
fi
exec "$exe" "$@"

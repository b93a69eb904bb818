#!/usr/bin/env bash
# One command for a newcomer: install, build, and start the program.
# Without a GPIB driver on the machine it runs on the bundled simulated bench;
# GPIB_SIM_BENCH=my-bench.yaml names a bench file of your own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
exe=${BUILD_DIR:-build}/bin/tarvel-morrow
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the window on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$exe" "$@"
fi
exec "$exe" "$@"

#!/usr/bin/env bash
# Installs what is missing, builds vesk and the simulator, and runs vesk on a
# simulated Pocket PC: in a window where a display is available, otherwise
# the demo tour with its screenshots. Arguments go to vesk-sim.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target vesk-sim
exec build/tools/vesk-sim/vesk-sim "$@"

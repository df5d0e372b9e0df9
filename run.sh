#!/usr/bin/env bash
# Installs what running needs, builds vesk and vesk-sim, and runs vesk on a
# simulated Pocket PC: in a window where a display is available, otherwise
# the demo tour with its screenshots. Arguments go to vesk-sim.
#
# It shares build/default with the default preset; a first configure here
# leaves the tests out (they need the test group of scripts/deps.sh), and
# `cmake --preset default` brings them back.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh run
if [ -f build/default/CMakeCache.txt ]; then
  cmake -S . -B build/default >/dev/null
else
  cmake --preset default -DVESK_BUILD_TESTS=OFF -DVESK_BUILD_BENCH=OFF >/dev/null
fi
cmake --build build/default -j"$(nproc)" --target vesk-sim
exec build/default/tools/vesk-sim/vesk-sim "$@"

#!/usr/bin/env bash
# The main job: sets up, builds and installs vela, then runs the packing
# benchmark.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

bash "$root/scripts/build.sh"
"$root/build/wheel/benchmarks/benchPacking" --benchmark_counters_tabular=true "$@"

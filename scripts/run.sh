#!/usr/bin/env bash
# The main job: sets up, builds and installs vela, then runs one whole sync
# round between two peers in one process (python -m vela.usd.sync.round).
# Arguments are passed on to it (--show-layer, --wire FILE). It exits
# non-zero if the receiving peer's layer differs from the sender's.
#
# The benchmarks have their own script: scripts/bench.sh.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"

bash "$root/scripts/build.sh"
cd "$root"
"$venv/bin/python" -m vela.usd.sync.round "$@"
